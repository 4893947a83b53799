#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tables/Dataset.h"
#include "tables/DbfExtent.h"
#include "tables/DbfFormat.h"
#include "tables/FieldDef.h"
#include "tables/FileIo.h"
#include "tables/OrderedIndex.h"
#include "tables/RecordStore.h"

namespace tz::tables {

// What changed in a table, as told to every dataset open on it.
struct TableChange {
    // FieldSet: one field was given one value on many rows at once (Table::setField); `rec`
    // is then the field's number. DeletedMany: many rows were deleted at once (removeMany).
    enum class Kind { Appended, Updated, Deleted, Reloaded, FieldSet, DeletedMany };
    Kind kind;
    std::uint32_t rec = 0;
    const char* oldRecord = nullptr;  // Updated: the bytes before the change
};

class TableClient {
  public:
    virtual ~TableClient() = default;
    virtual void tableChanged(const TableChange& change) = 0;
};

// Lets the production-index module follow tables. Every member is optional.
struct IndexFileHooks {
    // Tag names of the production index beside `dbf` (e.g. X.MDX beside X.DBF), empty when
    // there is none or it cannot be read.
    std::function<std::vector<std::string>(const std::filesystem::path& dbf)> tagNames;
    // A table was opened (before anything is written to it). Must not throw.
    std::function<void(const class Table& table)> opened;
    // A table was just created empty at `dbf` with these fields and indexes.
    std::function<void(const std::filesystem::path& dbf, const std::vector<FieldDef>& fields,
                       const std::vector<std::string>& indexes)>
        created;
    // Rows of the table reached its file (after each write-through and after a flush).
    std::function<void(const class Table& table)> written;
    // A change was made (in memory, and on disk when written through), before the datasets
    // are told. Must not throw.
    std::function<void(const class Table& table, const TableChange& change)> changed;
    // The table is closing, after its last flush. Must not throw.
    std::function<void(const class Table& table)> closed;
};
void setIndexFileHooks(IndexFileHooks hooks);
const IndexFileHooks& indexFileHooks();

// One open table file, shared by every Dataset over that file in this process. Holds all
// records in memory, the orders of its indexes, the file and its advisory lock.
class Table {
  public:
    // The Table for an existing file (found on disk), opened or shared, with the client
    // attached in `mode`. Throws EngineError (not a table, held by another program …).
    static std::shared_ptr<Table> attach(const std::filesystem::path& file, OpenMode mode,
                                         TableClient* client);
    // Detaches a client; the lock follows the strongest remaining mode. When the last client
    // goes, batched changes are written and the file is closed. Throws when writing fails
    // (the client is detached anyway).
    void detach(TableClient* client);
    // True when this process has the file open.
    static bool isOpen(const std::filesystem::path& file);
    // A table this process changed in the folder it holds (holdFolder) is kept in memory for
    // a while after it closes, so that opening it again (the next step of a job) neither reads
    // nor sorts it again, as long as the file is as it was left: same file, size and times.
    // This drops what is kept of `file` (it is being made anew or removed).
    static void forget(const std::filesystem::path& file);
    // The rows not marked deleted of a table kept in memory whose file is still as it was left,
    // without reading the file; nothing when none is kept or the file changed.
    static std::optional<std::uint32_t> keptLiveRows(const std::filesystem::path& file);
    // What is kept of a closed table (Table.cpp).
    struct Kept;

    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    const std::filesystem::path& path() const { return path_; }
    const std::string& name() const { return name_; }
    const std::vector<FieldDef>& fields() const { return layout_.fields; }
    int fieldOffset(int field) const { return layout_.offsets[static_cast<std::size_t>(field)]; }
    int recordLength() const { return static_cast<int>(layout_.recordLength); }
    int fieldIndex(std::string_view name) const;
    OpenMode lockMode() const { return lockMode_; }
    bool writable() const { return io_.writable(); }

    // Physical records (live and deleted).
    std::uint32_t slots() const { return count_; }
    bool live(std::uint32_t rec) const { return rec < count_ && record(rec)[0] != dbf::kDeleted; }
    // Records marked deleted; with none, the physical order's position p holds record p.
    std::uint32_t deletedCount() const { return deleted_; }
    const char* record(std::uint32_t rec) const { return store_.at(rec); }
    // Record count as it is in the file right now (for tests and the index module).
    std::uint32_t recordsOnDisk() const { return diskCount_; }

    // Orders: 0 is the physical order; the others are the table's indexes. An index is sorted
    // when it is first asked for (order()), not when the table is opened: a table read in
    // physical order sorts nothing. Until then changes pass it by.
    int orderCount() const { return static_cast<int>(orders_.size()); }
    // The order of the index of that name (letter case ignored), or -1.
    int findOrder(std::string_view indexName) const;
    const OrderedIndex& order(int o) const {
        Order& ord = *orders_[static_cast<std::size_t>(o)];
        if (!ord.built) build(ord);
        return *ord.index;
    }
    bool orderBuilt(int o) const { return orders_[static_cast<std::size_t>(o)]->built; }
    // Calls `use` with order o sorted: the order itself when it is built, else a copy sorted for
    // the call (the production index reads every order once; the datasets may never need some
    // of them). A large table open in a dataset keeps the copy as its order, built (the step
    // that wrote the table reads it in its indexes next); otherwise only the copy's record
    // numbers stay, four bytes a row, so that a dataset selecting the order before the data
    // change (or after the table is kept and taken up again) needs no sort.
    void withOrder(int o, const std::function<void(const OrderedIndex&)>& use) const;
    int orderField(int o) const { return orders_[static_cast<std::size_t>(o)]->field; }
    const std::string& orderName(int o) const { return orders_[static_cast<std::size_t>(o)]->name; }
    std::vector<std::string> indexNames() const;
    // Numeric keys are compared by value; this is the key value of a record for the order.
    OrderedIndex::Key keyFor(int o, std::string_view value) const;

    // Changes. Each is written through in shared mode and batched when held exclusively;
    // every attached client is told. Throw EngineError when the file cannot be written (the
    // table stays as it was), and before anything changes when rows lie on disk beyond the
    // header's count (the table is damaged: see DbfExtent.h). A table whose count is too high
    // or whose file ends in part of a record gets its true count and end with the first write.
    std::uint32_t append(const char* bytes);
    void update(std::uint32_t rec, const char* bytes);
    void remove(std::uint32_t rec);
    // Gives field `field` the stored bytes `value` (its width) on each of `recs` (live records),
    // as update() would one by one, with one notification. Returns how many rows changed.
    std::uint32_t setField(const std::vector<std::uint32_t>& recs, int field, const char* value);
    // Deletes each of `recs`, as remove() would one by one, with one notification.
    void removeMany(const std::vector<std::uint32_t>& recs);
    // Writes batched changes now. Throws EngineError; what was not written stays batched and is
    // written by the next flush (or lost when the table closes first).
    void flush();

    // Write batches. Between beginBatch() and the matching endBatch() (they nest) a table
    // opened shared keeps its changes in memory, as a table held exclusively does, when this
    // process holds the folder it lies in (holdFolder: a job is running, so no other copy of
    // the tool writes there). Meanwhile it holds the append byte that dBase writers lock while
    // they append, so no other program's row can come between the ones batched, and another
    // program reading the file sees the table as it was before the batch. endBatch() writes
    // everything in a few large writes, in the same crash-safe order as one row (new rows
    // marked deleted, then the count, then their flags), and lets go of the append byte; a
    // reader then sees every row, and the header always counts exactly the rows on disk.
    // Elsewhere (a table held exclusively, a folder not held) a batch changes nothing.
    // beginBatch throws EngineError when the append byte stays locked by another program or
    // the table is damaged; endBatch throws when writing fails, and the table then stays
    // batched until a flush succeeds or it closes.
    void beginBatch();
    void endBatch();
    // Changes are kept in memory rather than written through (held exclusively, or batched).
    bool batching() const { return lockMode_ == OpenMode::Exclusive || batched_; }

    // Bumped on every change that can alter which records are where in an order.
    std::uint64_t structureVersion() const { return structureVersion_; }
    // Bumped on every change at all.
    std::uint64_t dataVersion() const { return dataVersion_; }

  private:
    struct Order {
        std::string name;
        int field = -1;
        bool built = false;
        std::vector<double> numbers;
        std::unique_ptr<OrderedIndex> index;
        // The live records in this order as withOrder last sorted them, while the data is as
        // it was then (sortedFor == dataVersion_): building the order then sorts nothing.
        std::vector<std::uint32_t> sorted;
        std::uint64_t sortedFor = kNoVersion;
    };
    static constexpr std::uint64_t kNoVersion = ~std::uint64_t{0};
    static constexpr std::uint64_t kKeptVersion = kNoVersion - 1;  // sorted, and kept with it
    // Entries from which withOrder keeps the order it sorted built (see there).
    static constexpr int kKeepBuiltFrom = 4096;
    struct Client {
        TableClient* client;
        OpenMode mode;
    };

    static void keep(Table& t);
    // Takes up what was kept of this file when the file is still as it was; false otherwise.
    bool adoptKept();

    Table(std::filesystem::path file, bool canWrite);
    void load();
    void addOrder(const std::string& name, int field);
    // Sorts an order from the live records (const: an order is built when first read).
    void build(Order& o) const;
    void setNumber(Order& o, std::uint32_t rec) const;
    void markDirty(std::uint32_t rec);
    // Writes the rows changed in place, then the new ones (flush).
    void writeDirty();
    void writeNew();
    void applyLock(OpenMode wanted);
    OpenMode strongestMode() const;
    void notify(const TableChange& change);
    // Shared mode: records another program appended since we last looked.
    void takeForeignAppends(const dbf::Extent& now);
    void writeStamp();
    void writtenHook();
    // Shared: the file as it is now, under the write lock; throws when it is damaged.
    dbf::Extent checkBeforeWrite();
    // Held exclusively: throws when the table was damaged when it was opened.
    void refuseIfDamaged() const;
    // Brings the header's count and the file's end in line with the records (`ours` of them
    // being this table's), when they are not. A failure is left for the next write.
    void settle(std::uint32_t ours) noexcept;

    std::filesystem::path path_;
    std::string key_;
    std::string name_;
    FileIo io_;
    dbf::Layout layout_;
    RecordStore store_;
    std::uint32_t count_ = 0;
    std::uint32_t diskCount_ = 0;  // records the header on disk counts
    dbf::Extent extent_;           // the file as measured at opening (and after settle)
    std::uint32_t deleted_ = 0;    // records marked deleted
    std::vector<std::unique_ptr<Order>> orders_;
    std::vector<Client> clients_;
    OpenMode lockMode_ = OpenMode::ReadOnly;
    bool locked_ = false;
    std::vector<std::uint32_t> dirty_;  // batched: records below diskCount_ to rewrite
    std::vector<bool> isDirty_;
    int batchDepth_ = 0;
    bool batched_ = false;  // shared, and batching (see beginBatch)
    std::uint64_t structureVersion_ = 0;
    std::uint64_t dataVersion_ = 0;
};

// Index names a table created in this process was given, keyed by its file (used when
// opening the table later and no index file tells them).
void rememberIndexes(const std::filesystem::path& file, const std::vector<std::string>& indexes);

}  // namespace tz::tables
