#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
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
    enum class Kind { Appended, Updated, Deleted, Reloaded };
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
    const char* record(std::uint32_t rec) const { return store_.at(rec); }
    // Record count as it is in the file right now (for tests and the index module).
    std::uint32_t recordsOnDisk() const { return diskCount_; }

    // Orders: 0 is the physical order; the others are the table's indexes.
    int orderCount() const { return static_cast<int>(orders_.size()); }
    // The order of the index of that name (letter case ignored), or -1.
    int findOrder(std::string_view indexName) const;
    const OrderedIndex& order(int o) const { return *orders_[static_cast<std::size_t>(o)]->index; }
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
    // Writes batched changes now.
    void flush();

    // Bumped on every change that can alter which records are where in an order.
    std::uint64_t structureVersion() const { return structureVersion_; }
    // Bumped on every change at all.
    std::uint64_t dataVersion() const { return dataVersion_; }

  private:
    struct Order {
        std::string name;
        int field = -1;
        std::vector<double> numbers;
        std::unique_ptr<OrderedIndex> index;
    };
    struct Client {
        TableClient* client;
        OpenMode mode;
    };

    Table(std::filesystem::path file, bool canWrite);
    void load();
    void addOrder(const std::string& name, int field);
    void setNumber(Order& o, std::uint32_t rec);
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
    bool batching() const { return lockMode_ == OpenMode::Exclusive; }

    std::filesystem::path path_;
    std::string key_;
    std::string name_;
    FileIo io_;
    dbf::Layout layout_;
    RecordStore store_;
    std::uint32_t count_ = 0;
    std::uint32_t diskCount_ = 0;  // records the header on disk counts
    dbf::Extent extent_;           // the file as measured at opening (and after settle)
    std::vector<std::unique_ptr<Order>> orders_;
    std::vector<Client> clients_;
    OpenMode lockMode_ = OpenMode::ReadOnly;
    bool locked_ = false;
    std::vector<std::uint32_t> dirty_;  // exclusive: records below diskCount_ to rewrite
    std::vector<bool> isDirty_;
    std::uint64_t structureVersion_ = 0;
    std::uint64_t dataVersion_ = 0;
};

// Index names a table created in this process was given, keyed by its file (used when
// opening the table later and no index file tells them).
void rememberIndexes(const std::filesystem::path& file, const std::vector<std::string>& indexes);

}  // namespace tz::tables
