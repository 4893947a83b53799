#include "tables/Table.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <system_error>

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

std::map<std::string, std::vector<std::string>>& remembered() {
    static std::map<std::string, std::vector<std::string>> r;
    return r;
}

IndexFileHooks& hooks() {
    static IndexFileHooks h = mdx::productionIndexHooks();
    return h;
}

std::string keyOf(const fs::path& file) {
    std::error_code ec;
    fs::path c = fs::weakly_canonical(file, ec);
    return (ec ? fs::absolute(file) : c).string();
}

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
    return "La tabla " + file.string() + " está siendo usada por otro programa";
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

// Writes `rows` (whole records) as records `at` onwards and counts them, in an order that lets
// every reader see the same live rows at every moment, even when the process dies between two
// writes: first the rows marked deleted with the end mark after them (a reader that goes by the
// end mark rather than the count skips them), then the count, then the rows' own deletion
// flags. When the count cannot be written, the bytes after the counted records are put back.
// Throws EngineError; `counted` tells whether the header counts the rows by then.
void appendRows(FileIo& io, const dbf::Layout& layout, std::uint32_t at,
                const std::vector<char>& rows, bool& counted) {
    counted = false;
    const std::size_t rl = layout.recordLength;
    const std::size_t n = rows.size() / rl;
    const std::uint64_t offset = layout.headerLength + std::uint64_t(at) * rl;
    const std::uint64_t oldSize = io.size();
    std::string old;
    if (oldSize > offset) {
        old.resize(
            static_cast<std::size_t>(std::min<std::uint64_t>(oldSize - offset, rows.size() + 1)));
        old.resize(io.readAt(old.data(), old.size(), offset));
    }
    std::vector<char> staged(rows);
    for (std::size_t r = 0; r < n; ++r) staged[r * rl] = dbf::kDeleted;
    staged.push_back(static_cast<char>(dbf::kEndOfFile));
    unsigned char stamp[7];
    dbf::headerStamp(stamp, at + static_cast<std::uint32_t>(n));
    try {
        io.writeAt(staged.data(), staged.size(), offset);
        io.writeAt(stamp, sizeof stamp, 1);
    } catch (...) {
        try {
            if (!old.empty()) io.writeAt(old.data(), old.size(), offset);
            if (oldSize < offset + staged.size()) io.truncate(oldSize);
        } catch (const EngineError&) {
            // The first error is the one to report; the rows stay marked deleted.
        }
        throw;
    }
    counted = true;
    bool allLive = true;
    for (std::size_t r = 0; r < n; ++r) allLive = allLive && rows[r * rl] == dbf::kLive;
    if (allLive && n == 1) {
        io.writeAt(&rows[0], 1, offset);
    } else {
        io.writeAt(rows.data(), rows.size(), offset);
    }
}

}  // namespace

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
                throw EngineError("La tabla " + t->path_.string() +
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
    return t;
}

Table::Table(fs::path file, bool mustWrite) : path_(std::move(file)) {
    name_ = path_.stem().string();
    try {
        io_ = FileIo(path_, FileIo::Access::ReadWrite);
    } catch (const EngineError&) {
        if (mustWrite) throw;
        io_ = FileIo(path_, FileIo::Access::Read);
    }
}

Table::~Table() {
    try {
        flush();
    } catch (...) {
        // Nothing can be reported from here; what was written before stays readable.
    }
    if (hooks().closed) hooks().closed(*this);
    io_.close();
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
    }
    lockMode_ = wanted;
}

void Table::load() {
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

    auto phys = std::make_unique<Order>();
    phys->index =
        std::make_unique<OrderedIndex>(OrderedIndex::Kind::Physical, &store_, 0, 0, nullptr);
    orders_.push_back(std::move(phys));
    std::vector<std::uint32_t> liveRecs;
    liveRecs.reserve(count_);
    for (std::uint32_t r = 0; r < count_; ++r) {
        if (live(r)) liveRecs.push_back(r);
    }
    orders_[0]->index->rebuild(liveRecs);

    // Index names: the production index file, else what this process created, else the
    // catalogue layout of that file name.
    std::vector<std::string> names;
    if (hooks().tagNames) names = hooks().tagNames(path_);
    if (names.empty()) {
        if (auto it = remembered().find(key_); it != remembered().end()) names = it->second;
    }
    if (names.empty()) {
        std::string file = upper(path_.filename().string());
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
    std::vector<std::uint32_t> liveRecs;
    if (numeric) o->numbers.resize(count_);
    for (std::uint32_t r = 0; r < count_; ++r) {
        if (numeric) setNumber(*o, r);
        if (live(r)) liveRecs.push_back(r);
    }
    o->index->rebuild(std::move(liveRecs));
    orders_.push_back(std::move(o));
}

void Table::setNumber(Order& o, std::uint32_t rec) {
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
        for (auto& o : orders_) {
            setNumber(*o, r);
            if (live(r)) o->index->insert(r);
        }
    }
    ++structureVersion_;
    ++dataVersion_;
    notify({TableChange::Kind::Reloaded, first, nullptr});
}

std::uint32_t Table::append(const char* bytes) {
    std::size_t rl = layout_.recordLength;
    std::uint32_t rec;
    if (!batching()) {
        io_.lockForWrite();
        try {
            const dbf::Extent before = checkBeforeWrite();
            takeForeignAppends(before);
            rec = count_;
            std::vector<char> buf(bytes, bytes + rl);
            buf[0] = dbf::kLive;
            bool counted = false;
            appendRows(io_, layout_, rec, buf, counted);
            diskCount_ = rec + 1;
            if (!before.tidy(layout_)) settle(rec + 1);
        } catch (...) {
            io_.unlockForWrite();
            throw;
        }
        io_.unlockForWrite();
    } else {
        refuseIfDamaged();
        rec = count_;
    }
    char* row = store_.append();
    std::memcpy(row, bytes, rl);
    row[0] = dbf::kLive;
    count_ = rec + 1;
    isDirty_.push_back(false);
    for (auto& o : orders_) {
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
    std::size_t rl = layout_.recordLength;
    std::vector<char> old(record(rec), record(rec) + rl);
    std::vector<char> now(bytes, bytes + rl);
    now[0] = dbf::kLive;
    if (old == now) return;
    if (!batching()) {
        io_.lockForWrite(recordRanges(layout_, rec));
        try {
            const dbf::Extent before = checkBeforeWrite();
            io_.writeAt(now.data(), rl, layout_.headerLength + std::uint64_t(rec) * rl);
            if (!before.tidy(layout_)) settle(count_);
        } catch (...) {
            io_.unlockForWrite();
            throw;
        }
        io_.unlockForWrite();
    } else {
        refuseIfDamaged();
        if (rec < diskCount_ && !isDirty_[rec]) {
            isDirty_[rec] = true;
            dirty_.push_back(rec);
        }
    }
    std::vector<Order*> moved;
    for (std::size_t i = 1; i < orders_.size(); ++i) {
        auto& o = *orders_[i];
        int off = fieldOffset(o.field);
        int w = layout_.fields[static_cast<std::size_t>(o.field)].width;
        if (std::memcmp(old.data() + off, now.data() + off, static_cast<std::size_t>(w)) != 0) {
            o.index->erase(rec);
            moved.push_back(&o);
        }
    }
    std::memcpy(store_.at(rec), now.data(), rl);
    for (auto* o : moved) {
        setNumber(*o, rec);
        o->index->insert(rec);
    }
    if (!moved.empty()) ++structureVersion_;
    ++dataVersion_;
    if (!batching()) writtenHook();
    notify({TableChange::Kind::Updated, rec, old.data()});
}

void Table::remove(std::uint32_t rec) {
    if (!live(rec)) return;
    std::size_t rl = layout_.recordLength;
    if (!batching()) {
        io_.lockForWrite(recordRanges(layout_, rec));
        try {
            const dbf::Extent before = checkBeforeWrite();
            char flag = dbf::kDeleted;
            io_.writeAt(&flag, 1, layout_.headerLength + std::uint64_t(rec) * rl);
            if (!before.tidy(layout_)) settle(count_);
        } catch (...) {
            io_.unlockForWrite();
            throw;
        }
        io_.unlockForWrite();
    } else {
        refuseIfDamaged();
        if (rec < diskCount_ && !isDirty_[rec]) {
            isDirty_[rec] = true;
            dirty_.push_back(rec);
        }
    }
    for (auto& o : orders_) o->index->erase(rec);
    store_.at(rec)[0] = dbf::kDeleted;
    ++structureVersion_;
    ++dataVersion_;
    if (!batching()) writtenHook();
    notify({TableChange::Kind::Deleted, rec, nullptr});
}

void Table::flush() {
    if (!io_.isOpen() || (dirty_.empty() && count_ == diskCount_)) return;
    std::size_t rl = layout_.recordLength;
    std::sort(dirty_.begin(), dirty_.end());
    // Rows in place first, then the new rows and the end mark, and the count last, so the
    // header never counts a row that is not on disk.
    // Each run of consecutive changed rows in one write per block of the store; the rows
    // written are forgotten as they go, so a failure leaves only the rest to write.
    std::size_t i = 0;
    try {
        while (i < dirty_.size()) {
            std::uint32_t r = dirty_[i];
            std::uint32_t end = r + 1;
            std::size_t j = i + 1;
            while (j < dirty_.size() && dirty_[j] == end) {
                ++end;
                ++j;
            }
            store_.runs(r, end, [&](std::uint32_t at, const char* bytes, std::uint32_t n) {
                io_.writeAt(bytes, std::size_t(n) * rl,
                            layout_.headerLength + std::uint64_t(at) * rl);
            });
            for (std::uint32_t k = r; k < end; ++k) isDirty_[k] = false;
            i = j;
        }
    } catch (...) {
        dirty_.erase(dirty_.begin(), dirty_.begin() + static_cast<std::ptrdiff_t>(i));
        throw;
    }
    dirty_.clear();
    if (count_ > diskCount_) {
        std::vector<char> buf;
        buf.reserve(std::size_t(count_ - diskCount_) * rl);
        store_.runs(diskCount_, count_, [&](std::uint32_t, const char* bytes, std::uint32_t n) {
            buf.insert(buf.end(), bytes, bytes + std::size_t(n) * rl);
        });
        bool counted = false;
        try {
            appendRows(io_, layout_, diskCount_, buf, counted);
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
    if (!extent_.tidy(layout_)) settle(count_);
    writtenHook();
}

}  // namespace tz::tables
