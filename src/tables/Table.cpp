#include "tables/Table.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <system_error>

#include "platform/Error.h"
#include "platform/File.h"
#include "platform/System.h"
#include "tables/Catalogue.h"
#include "tables/EngineError.h"
#include "tables/MdxMaintenance.h"

namespace tz::tables {
namespace {

namespace fs = std::filesystem;

std::map<std::string, std::weak_ptr<Table>>& registry() {
    static std::map<std::string, std::weak_ptr<Table>> r;
    return r;
}

// Closed tables kept for their next opening: at most this many, holding at most this much.
constexpr std::size_t kKeptTables = 4;
constexpr std::uint64_t kKeptBytes = 64ull << 20;

std::map<std::string, std::vector<std::string>>& remembered() {
    static std::map<std::string, std::vector<std::string>> r;
    return r;
}

IndexFileHooks& hooks() {
    static IndexFileHooks h = mdx::productionIndexHooks();
    return h;
}

// One key per file however its path is spelt (t.dbf, T.DBF, through a link …).
std::string keyOf(const fs::path& file) { return platform::fileKey(file); }

std::string upper(std::string_view s) {
    std::string r(s);
    for (auto& c : r) {
        if (static_cast<unsigned char>(c) < 0x80) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    return r;
}

int rank(OpenMode m) {
    switch (m) {
        case OpenMode::ReadOnly:
            return 0;
        case OpenMode::Shared:
            return 1;
        case OpenMode::Exclusive:
            return 2;
    }
    return 0;
}

std::string busy(const fs::path& file) {
    return "La tabla " + shown(file) + " está siendo usada por otro programa";
}

// dBase programs lock the whole table by the byte at this offset (with the append byte after
// it), and record n (1-based) by the byte at this offset minus n.
constexpr std::uint64_t kLockBase = 0xEFFFFFFEULL;

// What a write of record `rec` (0-based) locks besides the append byte: the record's own bytes
// and its lock byte, either of which another program may hold while it edits the record, and
// the table's lock byte for reading, which a program that holds the table locked keeps.
std::vector<FileIo::Range> recordRanges(const dbf::Layout& l, std::uint32_t rec) {
    return {{l.headerLength + std::uint64_t(rec) * l.recordLength, l.recordLength, false},
            {kLockBase - (std::uint64_t(rec) + 1), 1, false},
            {kLockBase, 1, true}};
}

// The write locks of one write, taken for as long as it lives.
class WriteLock {
  public:
    explicit WriteLock(FileIo& io, const std::vector<FileIo::Range>& ranges = {}) : io_(io) {
        io_.lockForWrite(ranges);
    }
    ~WriteLock() { io_.unlockForWrite(); }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

  private:
    FileIo& io_;
};

// The records first ≤ rec < end of a store as pieces of one gathered write.
std::vector<FileIo::Piece> piecesOf(const RecordStore& store, std::uint32_t first,
                                    std::uint32_t end) {
    std::vector<FileIo::Piece> pieces;
    const std::size_t rl = store.recordLength();
    store.runs(first, end, [&](std::uint32_t, const char* bytes, std::uint32_t n) {
        pieces.push_back({bytes, std::size_t(n) * rl});
    });
    return pieces;
}

// Writes records `at` ≤ rec < `end` of `store` (whole records; those whose flag is not live
// are deleted ones and stay so) after the `at` the file counts, and counts them, in an order
// that lets every reader see the same live rows at every moment, even when the process dies
// between two writes: first the rows marked deleted with the end mark after them (a reader
// that goes by the end mark rather than the count skips them), then the count, then the rows'
// own deletion flags. `before` is the file as measured under the write lock. When the count
// cannot be written, the bytes after the counted records are put back. Throws EngineError;
// `counted` tells whether the header counts the rows by then. The store's flags are as they
// were whatever happens.
void appendRows(FileIo& io, const dbf::Layout& layout, RecordStore& store, std::uint32_t at,
                std::uint32_t end, const dbf::Extent& before, bool& counted) {
    counted = false;
    const std::size_t rl = layout.recordLength;
    const std::uint32_t n = end - at;
    const std::uint64_t offset = layout.headerLength + std::uint64_t(at) * rl;
    const std::uint64_t bytes = std::uint64_t(n) * rl;
    // What lies where the rows go: nothing or the end mark in a tidy file (known without
    // reading it), else read back for restoring.
    const std::uint64_t oldSize = before.size;
    std::string old;
    if (oldSize > offset) {
        if (before.tidy(layout) && oldSize == offset + 1) {
            old.assign(1, static_cast<char>(dbf::kEndOfFile));
        } else {
            old.resize(
                static_cast<std::size_t>(std::min<std::uint64_t>(oldSize - offset, bytes + 1)));
            old.resize(io.readAt(old.data(), old.size(), offset));
        }
    }
    // The rows as stored, with every flag set to deleted for the first write.
    std::vector<std::uint32_t> liveRows;
    liveRows.reserve(n);
    for (std::uint32_t r = at; r < end; ++r) {
        char* flag = store.at(r);
        if (*flag == dbf::kLive) {
            liveRows.push_back(r);
            *flag = dbf::kDeleted;
        }
    }
    auto restoreFlags = [&]() {
        for (std::uint32_t r : liveRows) *store.at(r) = dbf::kLive;
    };
    const char eof = static_cast<char>(dbf::kEndOfFile);
    std::vector<FileIo::Piece> pieces = piecesOf(store, at, end);
    unsigned char stamp[7];
    dbf::headerStamp(stamp, end);
    try {
        pieces.push_back({&eof, 1});
        io.writeGathered(pieces, offset);
        pieces.pop_back();
        restoreFlags();
        liveRows.shrink_to_fit();
        io.writeAt(stamp, sizeof stamp, 1);
    } catch (...) {
        restoreFlags();
        try {
            if (!old.empty()) io.writeAt(old.data(), old.size(), offset);
            if (oldSize < offset + bytes + 1) io.truncate(oldSize);
        } catch (const EngineError&) {
            // The first error is the one to report; the rows stay marked deleted.
        }
        throw;
    }
    counted = true;
    if (liveRows.empty()) return;
    if (n == 1) {
        io.writeAt(store.at(at), 1, offset);
    } else {
        io.writeGathered(pieces, offset);
    }
}

// Ranges of records first ≤ rec < end for a write in place: their bytes, their lock bytes
// (see recordRanges) and the table's lock byte for reading.
std::vector<FileIo::Range> spanRanges(const dbf::Layout& l, std::uint32_t first,
                                      std::uint32_t end) {
    return {{l.headerLength + std::uint64_t(first) * l.recordLength,
             std::uint64_t(end - first) * l.recordLength, false},
            {kLockBase - std::uint64_t(end), std::uint64_t(end - first), false},
            {kLockBase, 1, true}};
}

}  // namespace

struct Table::Kept {
    FileStamp stamp;
    dbf::Layout layout;
    RecordStore store;
    std::uint32_t deleted = 0;
    std::vector<std::unique_ptr<Order>> orders;
    std::uint64_t bytes = 0;
    std::uint64_t serial = 0;  // the oldest goes first
};

namespace {
std::map<std::string, std::unique_ptr<Table::Kept>>& keptTables() {
    static std::map<std::string, std::unique_ptr<Table::Kept>> k;
    return k;
}
}  // namespace

void Table::forget(const fs::path& file) { keptTables().erase(keyOf(file)); }

std::optional<std::uint32_t> Table::keptLiveRows(const fs::path& file) {
    const auto it = keptTables().find(keyOf(file));
    if (it == keptTables().end() || fileStamp(file) != it->second->stamp) return std::nullopt;
    const Kept& k = *it->second;
    return k.store.count() - std::min(k.deleted, k.store.count());
}

void Table::keep(Table& t) {
    auto& kept = keptTables();
    kept.erase(t.key_);
    // Only a table whose memory is its file, that this process changed (so the next step of
    // the job is likely to read it again), in the folder the job holds (no other copy of the
    // tool writes there meanwhile; the file's stamp tells of any other program).
    if (t.dataVersion_ == 0 || !t.dirty_.empty() || t.count_ != t.diskCount_ || !t.io_.writable() ||
        !holdsFolder(t.path_.parent_path())) {
        return;
    }
    auto k = std::make_unique<Kept>();
    k->stamp = fileStamp(t.path_);
    if (k->stamp.inode == 0) return;
    k->bytes = std::uint64_t(t.count_) * t.layout_.recordLength;
    if (k->bytes > kKeptBytes) return;
    static std::uint64_t serial = 0;
    k->serial = ++serial;
    k->layout = t.layout_;
    k->store = std::move(t.store_);
    k->deleted = t.deleted_;
    k->orders = std::move(t.orders_);
    // Sorted record lists stay good with the records they were sorted from.
    for (auto& o : k->orders) {
        if (o->sortedFor == t.dataVersion_) {
            o->sortedFor = kKeptVersion;
        } else {
            o->sorted = {};
            o->sortedFor = kNoVersion;
        }
    }
    kept[t.key_] = std::move(k);
    // Within the limits: the oldest go.
    for (;;) {
        std::uint64_t total = 0;
        auto oldest = kept.end();
        for (auto it = kept.begin(); it != kept.end(); ++it) {
            total += it->second->bytes;
            if (oldest == kept.end() || it->second->serial < oldest->second->serial) oldest = it;
        }
        if (kept.size() <= kKeptTables && total <= kKeptBytes) break;
        kept.erase(oldest);
    }
}

bool Table::adoptKept() {
    auto& kept = keptTables();
    auto it = kept.find(key_);
    if (it == kept.end()) return false;
    std::unique_ptr<Kept> k = std::move(it->second);
    kept.erase(it);
    if (fileStamp(path_) != k->stamp || io_.size() != k->stamp.size) return false;
    dbf::Layout now = dbf::readLayout(io_, path_);
    if (now.headerLength != k->layout.headerLength || now.recordLength != k->layout.recordLength ||
        now.fields.size() != k->layout.fields.size()) {
        return false;
    }
    layout_ = std::move(now);
    extent_ = dbf::measure(io_, layout_);
    if (extent_.usable() != k->store.count()) return false;
    store_ = std::move(k->store);
    count_ = store_.count();
    diskCount_ = count_;
    isDirty_.assign(count_, false);
    deleted_ = k->deleted;
    orders_ = std::move(k->orders);
    for (auto& o : orders_) {
        o->index->setRecords(&store_);
        if (o->sortedFor == kKeptVersion) o->sortedFor = dataVersion_;
    }
    return true;
}

void setIndexFileHooks(IndexFileHooks h) { hooks() = std::move(h); }
const IndexFileHooks& indexFileHooks() { return hooks(); }

void rememberIndexes(const fs::path& file, const std::vector<std::string>& indexes) {
    remembered()[keyOf(file)] = indexes;
}

bool Table::isOpen(const fs::path& file) {
    auto it = registry().find(keyOf(file));
    return it != registry().end() && !it->second.expired();
}

std::shared_ptr<Table> Table::attach(const fs::path& file, OpenMode mode, TableClient* client) {
    std::string key = keyOf(file);
    auto& reg = registry();
    if (auto it = reg.find(key); it != reg.end()) {
        if (auto t = it->second.lock()) {
            if (mode != OpenMode::ReadOnly && !t->io_.writable()) {
                throw EngineError("La tabla " + platform::utf8(t->path_) +
                                  " no se puede abrir para escritura");
            }
            t->clients_.push_back({client, mode});
            try {
                t->applyLock(t->strongestMode());
            } catch (...) {
                t->clients_.pop_back();
                throw;
            }
            return t;
        }
    }
    std::shared_ptr<Table> t(new Table(file, mode != OpenMode::ReadOnly));
    t->key_ = key;
    t->clients_.push_back({client, mode});
    t->applyLock(mode);
    t->load();
    reg[key] = t;
    if (hooks().opened) hooks().opened(*t);
    return t;
}

Table::Table(fs::path file, bool mustWrite) : path_(std::move(file)) {
    name_ = platform::utf8(path_.stem());
    std::error_code failure;
    io_ = FileIo(path_, FileIo::Access::ReadWrite, failure);
    if (!failure) return;
    // Another program that keeps others from writing (a Windows share mode) holds the table.
    if (mustWrite && platform::isBusy(failure)) throw EngineError(busy(path_));
    if (mustWrite) io_ = FileIo(path_, FileIo::Access::ReadWrite);  // throws with the reason
    io_ = FileIo(path_, FileIo::Access::Read);
}

Table::~Table() {
    try {
        flush();
    } catch (...) {
        // Nothing can be reported from here; what was written before stays readable.
    }
    if (hooks().closed) hooks().closed(*this);
    io_.close();
    keep(*this);
    auto& reg = registry();
    if (auto it = reg.find(key_); it != reg.end() && it->second.expired()) reg.erase(it);
}

void Table::detach(TableClient* client) {
    auto it = std::find_if(clients_.begin(), clients_.end(),
                           [&](const Client& c) { return c.client == client; });
    if (it == clients_.end()) return;
    clients_.erase(it);
    if (clients_.empty()) {
        flush();
        return;
    }
    applyLock(strongestMode());
}

OpenMode Table::strongestMode() const {
    OpenMode m = OpenMode::ReadOnly;
    for (const auto& c : clients_) {
        if (rank(c.mode) > rank(m)) m = c.mode;
    }
    return m;
}

void Table::applyLock(OpenMode wanted) {
    bool wantEx = wanted == OpenMode::Exclusive;
    if (!locked_) {
        if (!io_.tryLock(wantEx)) throw EngineError(busy(path_));
        locked_ = true;
        lockMode_ = wanted;
        return;
    }
    bool haveEx = lockMode_ == OpenMode::Exclusive;
    if (wantEx && !haveEx) {
        if (!io_.tryLock(true)) {
            // The conversion may have dropped the shared lock: take it back.
            if (!io_.tryLock(false)) locked_ = false;
            throw EngineError(busy(path_));
        }
        lockMode_ = wanted;
        takeForeignAppends(dbf::measure(io_, layout_));
        extent_ = dbf::measure(io_, layout_);  // from now on nobody else changes the file
        return;
    }
    if (!wantEx && haveEx) {
        flush();
        if (!io_.tryLock(false)) locked_ = false;
        if (batched_) {
            // The whole-file lock held the append byte too; a batch goes on holding it.
            try {
                io_.holdAppending();
            } catch (const EngineError&) {
                batched_ = false;  // everything is written: posts go through from here
            }
        }
    }
    lockMode_ = wanted;
}

void Table::load() {
    if (adoptKept()) return;
    layout_ = dbf::readLayout(io_, path_);
    extent_ = dbf::measure(io_, layout_);
    const std::uint32_t usable = extent_.usable();
    store_.reset(layout_.recordLength);
    {
        // In pieces of about a megabyte; a short read keeps the whole records it got.
        const std::size_t rl = layout_.recordLength;
        const auto per = static_cast<std::uint32_t>(std::max<std::size_t>(1, (1 << 20) / rl));
        std::vector<char> piece;
        for (std::uint32_t r = 0; r < usable;) {
            std::uint32_t want = std::min(per, usable - r);
            piece.resize(std::size_t(want) * rl);
            std::size_t got = io_.readAt(piece.data(), piece.size(),
                                         layout_.headerLength + std::uint64_t(r) * rl);
            auto n = static_cast<std::uint32_t>(got / rl);
            store_.append(piece.data(), n);
            r += n;
            if (n < want) break;
        }
    }
    count_ = store_.count();
    diskCount_ = count_;
    isDirty_.assign(count_, false);
    deleted_ = 0;
    for (std::uint32_t r = 0; r < count_; ++r) deleted_ += record(r)[0] == dbf::kDeleted;

    auto phys = std::make_unique<Order>();
    phys->index =
        std::make_unique<OrderedIndex>(OrderedIndex::Kind::Physical, &store_, 0, 0, nullptr);
    orders_.push_back(std::move(phys));
    build(*orders_[0]);

    // Index names: the production index file, else what this process created, else the
    // catalogue layout of that file name.
    std::vector<std::string> names;
    if (hooks().tagNames) names = hooks().tagNames(path_);
    if (names.empty()) {
        if (auto it = remembered().find(key_); it != remembered().end()) names = it->second;
    }
    if (names.empty()) {
        std::string file = upper(platform::utf8(path_.filename()));
        for (const auto* l : catalogue::all()) {
            if (upper(l->fileName) == file) names = l->indexes;
        }
    }
    for (const auto& n : names) {
        int f = fieldIndex(n);
        if (f >= 0 && findOrder(n) < 0) addOrder(upper(n), f);
    }
}

void Table::addOrder(const std::string& name, int field) {
    auto o = std::make_unique<Order>();
    o->name = name;
    o->field = field;
    const auto& f = layout_.fields[static_cast<std::size_t>(field)];
    bool numeric = dbf::isNumericType(f.type);
    o->index = std::make_unique<OrderedIndex>(
        numeric ? OrderedIndex::Kind::Number : OrderedIndex::Kind::Bytes, &store_,
        fieldOffset(field), f.width, &o->numbers);
    orders_.push_back(std::move(o));
}

void Table::build(Order& o) const {
    const bool numeric = o.index->kind() == OrderedIndex::Kind::Number;
    if (o.sortedFor == dataVersion_) {
        // Sorted by withOrder since the last change: rebuild finds it in order.
        if (numeric) {
            o.numbers.resize(count_);
            for (std::uint32_t r = 0; r < count_; ++r) setNumber(o, r);
        }
        o.index->rebuild(std::move(o.sorted));
        o.sorted = {};
        o.sortedFor = kNoVersion;
        o.built = true;
        return;
    }
    o.sorted = {};
    o.sortedFor = kNoVersion;
    if (numeric) o.numbers.resize(count_);
    std::vector<std::uint32_t> liveRecs;
    liveRecs.reserve(count_ - std::min(deleted_, count_));
    for (std::uint32_t r = 0; r < count_; ++r) {
        if (numeric) setNumber(o, r);
        if (live(r)) liveRecs.push_back(r);
    }
    o.index->rebuild(std::move(liveRecs));
    o.built = true;
}

void Table::withOrder(int o, const std::function<void(const OrderedIndex&)>& use) const {
    const Order& ord = *orders_[static_cast<std::size_t>(o)];
    if (ord.built) {
        use(*ord.index);
        return;
    }
    Order copy;
    copy.name = ord.name;
    copy.field = ord.field;
    copy.index = std::make_unique<OrderedIndex>(ord.index->kind(), &store_, ord.index->keyOffset(),
                                                ord.index->keyWidth(), &copy.numbers);
    build(copy);
    use(*copy.index);
    // Worth keeping while the table stays open, or is kept in memory once closed.
    if (clients_.empty() && !holdsFolder(path_.parent_path())) return;
    Order& kept = *orders_[static_cast<std::size_t>(o)];
    if (clients_.empty() || copy.index->size() < kKeepBuiltFrom ||
        copy.index->kind() == OrderedIndex::Kind::Number) {
        copy.index->recordsInOrder(kept.sorted);
        kept.sortedFor = dataVersion_;
        return;
    }
    // A large table open in a dataset keeps the sorted order itself: the step that wrote the
    // table reads it in its indexes next, and placing its entries again would be the work done
    // twice. A small one keeps the records only, so that the rows a step goes on to add are not
    // kept in order one by one. (A number order's keys live beside the copy: it keeps the
    // records.)
    kept.index->takeEntries(*copy.index);
    kept.sorted = {};
    kept.sortedFor = kNoVersion;
    kept.built = true;
}

void Table::setNumber(Order& o, std::uint32_t rec) const {
    if (o.index->kind() != OrderedIndex::Kind::Number) return;
    if (o.numbers.size() <= rec) o.numbers.resize(rec + 1);
    const auto& f = layout_.fields[static_cast<std::size_t>(o.field)];
    o.numbers[rec] = dbf::decodeNumber(f, record(rec) + fieldOffset(o.field)).value_or(0.0);
}

namespace {
// Equal once their ASCII letters are upper case (as upper() and dbf::fieldKey compare them),
// without building either text: a field is looked up by name at every read.
bool sameUpper(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x == y) continue;
        if (x >= 0x80 || y >= 0x80 || std::toupper(x) != std::toupper(y)) return false;
    }
    return true;
}
}  // namespace

int Table::fieldIndex(std::string_view name) const {
    // Names other programs wrote may be 11 characters long: try the exact name first, then
    // the first 10 characters of both.
    for (std::size_t i = 0; i < layout_.fields.size(); ++i) {
        if (sameUpper(layout_.fields[i].name, name)) return static_cast<int>(i);
    }
    std::string_view k = name.substr(0, 10);
    for (std::size_t i = 0; i < layout_.fields.size(); ++i) {
        if (sameUpper(std::string_view(layout_.fields[i].name).substr(0, 10), k)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int Table::findOrder(std::string_view indexName) const {
    std::string k = dbf::fieldKey(indexName);
    for (std::size_t i = 1; i < orders_.size(); ++i) {
        if (dbf::fieldKey(orders_[i]->name) == k) return static_cast<int>(i);
    }
    return -1;
}

std::vector<std::string> Table::indexNames() const {
    std::vector<std::string> r;
    for (std::size_t i = 1; i < orders_.size(); ++i) r.push_back(orders_[i]->name);
    return r;
}

OrderedIndex::Key Table::keyFor(int o, std::string_view value) const {
    OrderedIndex::Key k;
    const auto& ord = *orders_[static_cast<std::size_t>(o)];
    if (ord.field < 0) return k;
    const auto& f = layout_.fields[static_cast<std::size_t>(ord.field)];
    if (ord.index->kind() == OrderedIndex::Kind::Number) {
        k.number = dbf::parseNumber(value).value_or(0.0);
    } else {
        k.bytes.assign(static_cast<std::size_t>(f.width), ' ');
        if (!value.empty())
            std::memcpy(k.bytes.data(), value.data(), std::min<std::size_t>(value.size(), f.width));
    }
    return k;
}

void Table::notify(const TableChange& change) {
    if (hooks().changed) hooks().changed(*this, change);
    if (clients_.size() == 1) {
        clients_.front().client->tableChanged(change);
        return;
    }
    auto copy = clients_;
    for (const auto& c : copy) c.client->tableChanged(change);
}

void Table::writeStamp() {
    unsigned char stamp[7];
    dbf::headerStamp(stamp, diskCount_);
    io_.writeAt(stamp, sizeof stamp, 1);
}

void Table::writtenHook() {
    if (hooks().written) hooks().written(*this);
}

dbf::Extent Table::checkBeforeWrite() {
    dbf::Extent e = dbf::measure(io_, layout_);
    if (e.liveBeyond > 0) throw EngineError(dbf::damageText(path_, e));
    return e;
}

void Table::refuseIfDamaged() const {
    if (extent_.liveBeyond > 0) throw EngineError(dbf::damageText(path_, extent_));
}

void Table::settle(std::uint32_t ours) noexcept {
    try {
        dbf::Extent now = dbf::measure(io_, layout_);
        if (!now.tidy(layout_)) {
            // Past the records counted now, none is a row (the check before the write found
            // none that is not marked deleted); a count too high keeps the whole records.
            const std::uint32_t keep = std::max(ours, std::min(now.headerCount, now.whole));
            dbf::settleEnd(io_, layout_, keep, now);
            now = dbf::measure(io_, layout_);
        }
        extent_ = now;
    } catch (const EngineError&) {
        // The change itself is stored; the next write settles the end again.
    }
}

void Table::takeForeignAppends(const dbf::Extent& now) {
    const std::uint32_t onDisk = now.usable();
    if (onDisk <= count_) return;
    std::size_t rl = layout_.recordLength;
    std::vector<char> extra((onDisk - count_) * rl);
    std::size_t got =
        io_.readAt(extra.data(), extra.size(), layout_.headerLength + std::uint64_t(count_) * rl);
    auto n = static_cast<std::uint32_t>(got / rl);
    if (n == 0) return;
    store_.append(extra.data(), n);
    std::uint32_t first = count_;
    count_ += n;
    diskCount_ = std::max(diskCount_, count_);
    isDirty_.resize(count_, false);
    for (std::uint32_t r = first; r < count_; ++r) {
        if (!live(r)) ++deleted_;
        for (auto& o : orders_) {
            if (!o->built) continue;
            setNumber(*o, r);
            if (live(r)) o->index->insert(r);
        }
    }
    ++structureVersion_;
    ++dataVersion_;
    notify({TableChange::Kind::Reloaded, first, nullptr});
}

void Table::markDirty(std::uint32_t rec) {
    if (rec < diskCount_ && !isDirty_[rec]) {
        isDirty_[rec] = true;
        dirty_.push_back(rec);
    }
}

std::uint32_t Table::append(const char* bytes) {
    const std::size_t rl = layout_.recordLength;
    std::uint32_t rec;
    char* row;
    if (!batching()) {
        WriteLock lock(io_);
        const dbf::Extent before = checkBeforeWrite();
        takeForeignAppends(before);
        rec = count_;
        // Into the store first (one record past the count): written from there.
        row = store_.append();
        std::memcpy(row, bytes, rl);
        row[0] = dbf::kLive;
        bool counted = false;
        try {
            appendRows(io_, layout_, store_, rec, rec + 1, before, counted);
        } catch (...) {
            if (!counted) {
                store_.removeLast();
                throw;
            }
            // Counted, still marked deleted on disk: so it is here, a deleted record.
            row[0] = dbf::kDeleted;
            count_ = rec + 1;
            diskCount_ = rec + 1;
            isDirty_.push_back(false);
            ++deleted_;
            for (auto& o : orders_) {
                if (o->built) setNumber(*o, rec);
            }
            ++structureVersion_;
            ++dataVersion_;
            throw;
        }
        diskCount_ = rec + 1;
        if (!before.tidy(layout_)) settle(rec + 1);
    } else {
        refuseIfDamaged();
        rec = count_;
        row = store_.append();
        std::memcpy(row, bytes, rl);
        row[0] = dbf::kLive;
    }
    count_ = rec + 1;
    isDirty_.push_back(false);
    for (auto& o : orders_) {
        if (!o->built) continue;
        setNumber(*o, rec);
        o->index->insert(rec);
    }
    ++structureVersion_;
    ++dataVersion_;
    if (!batching()) writtenHook();
    notify({TableChange::Kind::Appended, rec, nullptr});
    return rec;
}

void Table::update(std::uint32_t rec, const char* bytes) {
    if (!live(rec)) {
        throw EngineError("El registro " + std::to_string(rec + 1) + " de la tabla " + name_ +
                          " ha sido borrado");
    }
    const std::size_t rl = layout_.recordLength;
    char* stored = store_.at(rec);
    // Byte 0 is the live flag on both sides (checked above; the new one is made live).
    if (std::memcmp(stored + 1, bytes + 1, rl - 1) == 0) return;
    if (!batching()) {
        WriteLock lock(io_, recordRanges(layout_, rec));
        const dbf::Extent before = checkBeforeWrite();
        io_.writeGathered({{&dbf::kLive, 1}, {bytes + 1, rl - 1}},
                          layout_.headerLength + std::uint64_t(rec) * rl);
        if (!before.tidy(layout_)) settle(count_);
    } else {
        refuseIfDamaged();
        markDirty(rec);
    }
    // The bytes before the change, for the datasets (on the stack for the usual lengths).
    char few[512];
    std::vector<char> many;
    char* old = few;
    if (rl > sizeof few) {
        many.resize(rl);
        old = many.data();
    }
    std::memcpy(old, stored, rl);
    Order* moved[16];
    std::vector<Order*> more;
    std::size_t nMoved = 0;
    for (std::size_t i = 1; i < orders_.size(); ++i) {
        auto& o = *orders_[i];
        if (!o.built) continue;
        int off = fieldOffset(o.field);
        int w = layout_.fields[static_cast<std::size_t>(o.field)].width;
        if (std::memcmp(stored + off, bytes + off, static_cast<std::size_t>(w)) != 0) {
            o.index->erase(rec);
            if (nMoved < 16) {
                moved[nMoved++] = &o;
            } else {
                more.push_back(&o);
            }
        }
    }
    std::memcpy(stored + 1, bytes + 1, rl - 1);
    for (std::size_t i = 0; i < nMoved; ++i) {
        setNumber(*moved[i], rec);
        moved[i]->index->insert(rec);
    }
    for (auto* o : more) {
        setNumber(*o, rec);
        o->index->insert(rec);
    }
    if (nMoved > 0) ++structureVersion_;
    ++dataVersion_;
    if (!batching()) writtenHook();
    notify({TableChange::Kind::Updated, rec, old});
}

void Table::remove(std::uint32_t rec) {
    if (!live(rec)) return;
    const std::size_t rl = layout_.recordLength;
    if (!batching()) {
        WriteLock lock(io_, recordRanges(layout_, rec));
        const dbf::Extent before = checkBeforeWrite();
        const char flag = dbf::kDeleted;
        io_.writeAt(&flag, 1, layout_.headerLength + std::uint64_t(rec) * rl);
        if (!before.tidy(layout_)) settle(count_);
    } else {
        refuseIfDamaged();
        markDirty(rec);
    }
    for (auto& o : orders_) {
        if (o->built) o->index->erase(rec);
    }
    store_.at(rec)[0] = dbf::kDeleted;
    ++deleted_;
    ++structureVersion_;
    ++dataVersion_;
    if (!batching()) writtenHook();
    notify({TableChange::Kind::Deleted, rec, nullptr});
}

std::uint32_t Table::setField(const std::vector<std::uint32_t>& recs, int field,
                              const char* value) {
    const auto& f = layout_.fields[static_cast<std::size_t>(field)];
    const auto off = static_cast<std::size_t>(fieldOffset(field));
    const auto w = static_cast<std::size_t>(f.width);
    std::vector<std::uint32_t> changed;
    for (std::uint32_t rec : recs) {
        if (live(rec) && std::memcmp(record(rec) + off, value, w) != 0) changed.push_back(rec);
    }
    if (changed.empty()) return 0;
    if (!batching()) {
        // Written through one row at a time, as the posts would be.
        std::vector<char> row(layout_.recordLength);
        for (std::uint32_t rec : changed) {
            std::memcpy(row.data(), record(rec), row.size());
            std::memcpy(row.data() + off, value, w);
            update(rec, row.data());
        }
        return static_cast<std::uint32_t>(changed.size());
    }
    refuseIfDamaged();
    std::vector<Order*> keyed;
    for (std::size_t i = 1; i < orders_.size(); ++i) {
        if (orders_[i]->built && orders_[i]->field == field) keyed.push_back(orders_[i].get());
    }
    for (std::uint32_t rec : changed) {
        markDirty(rec);
        for (auto* o : keyed) o->index->erase(rec);
        std::memcpy(store_.at(rec) + off, value, w);
        for (auto* o : keyed) {
            setNumber(*o, rec);
            o->index->insert(rec);
        }
    }
    if (!keyed.empty()) ++structureVersion_;
    ++dataVersion_;
    notify({TableChange::Kind::FieldSet, static_cast<std::uint32_t>(field), nullptr});
    return static_cast<std::uint32_t>(changed.size());
}

void Table::removeMany(const std::vector<std::uint32_t>& recs) {
    if (!batching()) {
        for (std::uint32_t rec : recs) remove(rec);
        return;
    }
    refuseIfDamaged();
    bool any = false;
    for (std::uint32_t rec : recs) {
        if (!live(rec)) continue;
        any = true;
        markDirty(rec);
        for (auto& o : orders_) {
            if (o->built) o->index->erase(rec);
        }
        store_.at(rec)[0] = dbf::kDeleted;
        ++deleted_;
    }
    if (!any) return;
    ++structureVersion_;
    ++dataVersion_;
    notify({TableChange::Kind::DeletedMany, 0, nullptr});
}

void Table::writeDirty() {
    const std::size_t rl = layout_.recordLength;
    std::sort(dirty_.begin(), dirty_.end());
    // Each run of consecutive changed rows in one gathered write, under the locks of its
    // records (a table held exclusively has the whole file locked already); the rows written
    // are forgotten as they go, so a failure leaves only the rest to write.
    std::size_t i = 0;
    try {
        while (i < dirty_.size()) {
            const std::uint32_t r = dirty_[i];
            std::uint32_t end = r + 1;
            std::size_t j = i + 1;
            while (j < dirty_.size() && dirty_[j] == end) {
                ++end;
                ++j;
            }
            const auto pieces = piecesOf(store_, r, end);
            const std::uint64_t at = layout_.headerLength + std::uint64_t(r) * rl;
            if (lockMode_ == OpenMode::Exclusive) {
                io_.writeGathered(pieces, at);
            } else {
                WriteLock lock(io_, spanRanges(layout_, r, end));
                io_.writeGathered(pieces, at);
            }
            for (std::uint32_t k = r; k < end; ++k) isDirty_[k] = false;
            i = j;
        }
    } catch (...) {
        dirty_.erase(dirty_.begin(), dirty_.begin() + static_cast<std::ptrdiff_t>(i));
        throw;
    }
    dirty_.clear();
}

void Table::writeNew() {
    if (count_ <= diskCount_) return;
    bool counted = false;
    try {
        if (lockMode_ == OpenMode::Exclusive) {
            appendRows(io_, layout_, store_, diskCount_, count_, dbf::measure(io_, layout_),
                       counted);
        } else {
            WriteLock lock(io_);
            appendRows(io_, layout_, store_, diskCount_, count_, checkBeforeWrite(), counted);
        }
    } catch (...) {
        if (counted) {
            // Counted but still marked deleted on disk: written again by the next flush.
            for (std::uint32_t r = diskCount_; r < count_; ++r) {
                isDirty_[r] = true;
                dirty_.push_back(r);
            }
            diskCount_ = count_;
        }
        throw;
    }
    diskCount_ = count_;
}

void Table::flush() {
    if (!io_.isOpen() || (dirty_.empty() && count_ == diskCount_)) return;
    // Rows in place first, then the new rows and the end mark, and the count last, so the
    // header never counts a row that is not on disk.
    writeDirty();
    writeNew();
    if (!extent_.tidy(layout_)) settle(count_);
    writtenHook();
}

void Table::beginBatch() {
    if (batchDepth_++ > 0 || batched_ || lockMode_ != OpenMode::Shared) return;
    if (!holdsFolder(path_.parent_path())) return;
    try {
        io_.holdAppending();
        // From now on no other writer appends: the file as it is now is the one written to.
        const dbf::Extent now = checkBeforeWrite();
        takeForeignAppends(now);
        extent_ = now;
    } catch (...) {
        io_.releaseAppending();
        --batchDepth_;
        throw;
    }
    batched_ = true;
}

void Table::endBatch() {
    if (batchDepth_ == 0 || --batchDepth_ > 0 || !batched_) return;
    flush();  // throws: the table stays batched, its changes kept for the next flush
    batched_ = false;
    // Held exclusively meanwhile, the whole-file lock covers the append byte.
    if (lockMode_ != OpenMode::Exclusive) io_.releaseAppending();
}

}  // namespace tz::tables
