#include "tables/MdxMaintenance.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <memory>
#include <unordered_map>

#include "platform/System.h"
#include "tables/Catalogue.h"
#include "tables/DbfFormat.h"
#include "tables/EngineError.h"
#include "tables/FileIo.h"
#include "tables/MdxStorage.h"
#include "tables/Paths.h"

namespace tz::tables::mdx {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kFlagByte = 28;
constexpr std::size_t kFieldFlagByte = 31;
// Appends in one session after which the index is rebuilt once when the rows are written,
// instead of entry by entry (for a table written through; see onChanged for batched ones).
constexpr std::uint32_t kBulkAppends = 2000;

std::string upper(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// NAME.MDX with the extension in the letter case of the table's (".dbf" gives ".mdx").
fs::path ownIndexFile(const fs::path& dbf) {
    std::string ext = platform::utf8(dbf.extension());
    bool lower =
        !ext.empty() && ext.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ") == std::string::npos;
    fs::path m = dbf;
    m.replace_extension(lower ? ".mdx" : ".MDX");
    return m;
}

// A tag and the field it is made from.
struct Binding {
    std::size_t field;
    std::size_t offset;
    std::size_t width;
    KeyType type;
};

// The key of a record for a tag; numeric keys are made in `scratch`.
const unsigned char* keyOf(const Binding& b, const char* record, NumericKey& scratch) {
    const char* field = record + b.offset;
    if (b.type == KeyType::Character) return reinterpret_cast<const unsigned char*>(field);
    scratch = numericKey(std::string_view(field, b.width));
    return scratch.data();
}

// Writes header byte 28 and the descriptors' byte 31 where they differ from what is wanted.
void setFlags(FileIo& io, const std::vector<bool>& indexed, bool on) {
    std::size_t n = indexed.size();
    std::string head(32 + 32 * n, '\0');
    head.resize(io.readAt(head.data(), head.size(), 0));
    if (head.size() < 32 + 32 * n) return;
    char want = on ? 1 : 0;
    if (head[kFlagByte] != want) io.writeAt(&want, 1, kFlagByte);
    for (std::size_t i = 0; i < n; ++i) {
        char f = on && indexed[i] ? 1 : 0;
        std::size_t at = 32 + 32 * i + kFieldFlagByte;
        if (head[at] != f) io.writeAt(&f, 1, at);
    }
}

// A dBase III/IV table, whose byte 28 means a production index (FoxPro gives it other uses).
bool isDbaseTable(unsigned char version) { return (version & 0x07) == 3 && version != 0xFB; }

// Writes a whole index file beside the table in one step (a temporary file renamed over the
// old one), so a failure leaves the old file as it was and no reader finds half an index.
void writeWhole(const MdxIndex& index, const fs::path& mdx) {
    if (const std::error_code e = replaceFile(mdx, index.image())) {
        throw EngineError(systemError("No se puede escribir el índice", mdx, e), e);
    }
}

// What is kept for a table that changes in this process.
struct State {
    fs::path dbf;
    fs::path mdx;
    bool dbase = false;    // a dBase III/IV table (byte 28 means a production index)
    bool managed = false;  // a dBase table with at least one tag
    std::vector<Binding> bindings;
    std::vector<bool> indexed;  // per field
    std::unique_ptr<MdxIndex> index;
    std::unique_ptr<MdxFile> file;  // the index file open for in-place writes
    // The table file, held open until the table closes: closing a descriptor would drop the
    // record locks the engine holds on the same file.
    std::unique_ptr<FileIo> dbfIo;
    std::uint64_t version = 0;  // Table::dataVersion() the tree reflects
    bool wholePending = true;   // the file is to be written whole
    std::uint32_t appends = 0;  // rows appended since the tree was built
    bool deferred = false;      // a bulk load: the tree is rebuilt when the rows are written
    bool flagsOn = false;       // byte 28 is known to be 1
};

std::unordered_map<const Table*, State>& states() {
    static std::unordered_map<const Table*, State> s;
    return s;
}

// The state of a table that closed with its index on disk, kept (by the table's file) for
// the next time the table changes in this process: the index is then taken up as it is
// instead of being built and written again, when neither file changed in between.
struct Closed {
    State state;
    FileStamp dbf, mdx;
};
std::unordered_map<std::string, Closed>& closedStates() {
    static std::unordered_map<std::string, Closed> c;
    return c;
}

// Kept states whose files were found unchanged when their table opened again, waiting for its
// first change (by then that change may be on disk already).
std::unordered_map<const Table*, Closed>& adoptable() {
    static std::unordered_map<const Table*, Closed> a;
    return a;
}

// A table opened: its kept state, if both files are as it left them.
void onOpened(const Table& t) {
    adoptable().erase(&t);
    auto& closed = closedStates();
    auto it = closed.find(t.path().string());
    if (it == closed.end()) return;
    Closed c = std::move(it->second);
    closed.erase(it);
    if (fileStamp(t.path()) != c.dbf || fileStamp(c.state.mdx) != c.mdx) return;
    adoptable()[&t] = std::move(c);
}

// Takes up the kept state of a table that opened again unchanged; false when there is none.
bool adopt(State& s, const Table& t) {
    auto it = adoptable().find(&t);
    if (it == adoptable().end()) return false;
    State kept = std::move(it->second.state);
    adoptable().erase(it);
    try {
        kept.file = std::make_unique<MdxFile>(kept.mdx);
        kept.dbfIo = std::make_unique<FileIo>(t.path(), FileIo::Access::ReadWrite);
    } catch (const std::exception&) {
        return false;  // built again from the rows
    }
    s = std::move(kept);
    return true;
}

// Builds the state of a table from its records (the change being reported included).
void rebuild(State& s, const Table& t) {
    s.dbf = t.path();
    s.mdx = indexFileFor(t.path());
    s.file.reset();
    s.index.reset();
    s.bindings.clear();
    s.wholePending = true;
    s.appends = 0;
    s.deferred = false;
    s.version = t.dataVersion();
    s.indexed.assign(t.fields().size(), false);
    s.managed = false;
    if (!s.dbfIo || s.dbfIo->path() != t.path()) {
        s.dbfIo = std::make_unique<FileIo>(t.path(), FileIo::Access::ReadWrite);
    }
    unsigned char head[30] = {};
    s.dbase = s.dbfIo->readAt(head, sizeof head, 0) == sizeof head && isDbaseTable(head[0]);
    if (!s.dbase) return;
    std::vector<TagSpec> specs;
    for (int o = 1; o < t.orderCount(); ++o) {
        auto field = static_cast<std::size_t>(t.orderField(o));
        auto spec = tagFor(t.fields()[field]);
        if (!spec) continue;
        spec->name = dbf::fieldKey(t.orderName(o));
        specs.push_back(*spec);
        s.bindings.push_back({field,
                              static_cast<std::size_t>(t.fieldOffset(static_cast<int>(field))),
                              static_cast<std::size_t>(t.fields()[field].width), spec->type});
        s.indexed[field] = true;
    }
    s.managed = !specs.empty();
    if (!s.managed) return;
    // The index carries the table's own language driver, whatever program wrote the table.
    s.index = std::make_unique<MdxIndex>(platform::utf8(t.path().stem()), specs, today(), head[29]);
    // Every record, deleted ones included. With none deleted, the engine's order of the
    // index already is the order of the tag (the builder checks it); else the builder sorts.
    std::uint32_t n = t.slots();
    std::vector<std::uint32_t> recnos(n);
    NumericKey scratch;
    std::size_t b = 0;
    for (int o = 1; o < t.orderCount() && b < s.bindings.size(); ++o) {
        if (static_cast<std::size_t>(t.orderField(o)) != s.bindings[b].field) continue;
        const Binding& bind = s.bindings[b];
        const std::size_t kl = static_cast<std::size_t>(specs[b].keyLength);
        std::string keys;
        t.withOrder(o, [&](const OrderedIndex& order) {
            const bool ordered = order.size() == static_cast<int>(n);
            // In the engine's order the keys come from its entries, one after the other; else
            // from the records.
            if (ordered && bind.type == KeyType::Character &&
                static_cast<std::size_t>(order.keyWidth()) == kl &&
                order.keysInOrder(recnos, keys)) {
                return;
            }
            if (ordered) {
                order.recordsInOrder(recnos);
            } else {
                recnos.resize(n);
                for (std::uint32_t p = 0; p < n; ++p) recnos[p] = p;
            }
            keys.assign(std::size_t(n) * kl, '\0');
            for (std::uint32_t p = 0; p < n; ++p) {
                std::memcpy(keys.data() + std::size_t(p) * kl,
                            keyOf(bind, t.record(recnos[p]), scratch), kl);
            }
        });
        for (auto& r : recnos) ++r;
        s.index->build(static_cast<int>(b), keys, recnos);
        ++b;
    }
}

// Applies one change to the tree; false when the tree disagrees with it.
bool apply(State& s, const Table& t, const TableChange& c) {
    NumericKey a, b;
    auto recno = c.rec + 1;
    for (std::size_t i = 0; i < s.bindings.size(); ++i) {
        const Binding& bind = s.bindings[i];
        int tag = static_cast<int>(i);
        switch (c.kind) {
            case TableChange::Kind::Appended:
                s.index->insert(tag, keyOf(bind, t.record(c.rec), a), recno);
                break;
            case TableChange::Kind::Updated: {
                if (!c.oldRecord) return false;
                const unsigned char* before = keyOf(bind, c.oldRecord, a);
                const unsigned char* now = keyOf(bind, t.record(c.rec), b);
                std::size_t kl = bind.type == KeyType::Numeric ? kNumericKeyLength : bind.width;
                if (std::memcmp(before, now, kl) == 0) break;
                if (!s.index->erase(tag, before, recno)) return false;
                s.index->insert(tag, now, recno);
                break;
            }
            case TableChange::Kind::Deleted:
            case TableChange::Kind::DeletedMany:
                // Deleted records keep their keys until the table is packed.
                break;
            case TableChange::Kind::FieldSet:
                // Many rows at once: only a tag over that field needs building again.
                if (bind.field == c.rec) return false;
                break;
            case TableChange::Kind::Reloaded:
                return false;
        }
    }
    return true;
}

// Puts the tree on disk: whole the first time, then the changed blocks. A failure clears
// byte 28, so nobody trusts the file, and leaves the whole file to be written next time.
void persist(State& s) {
    if (!s.managed || !s.index) return;
    try {
        if (s.wholePending || !s.file) {
            s.file.reset();
            writeWhole(*s.index, s.mdx);
            s.index->forgetChanges();
            s.file = std::make_unique<MdxFile>(s.mdx);
            s.wholePending = false;
        } else if (s.index->hasChanges()) {
            s.index->writeChanges(*s.file);
        }
        if (!s.flagsOn) {
            setFlags(*s.dbfIo, s.indexed, true);
            s.flagsOn = true;
        }
    } catch (const std::exception&) {
        s.wholePending = true;
        s.file.reset();
        s.flagsOn = false;
        try {
            setFlags(*s.dbfIo, s.indexed, false);
        } catch (const std::exception&) {
            // Nothing more can be done: the rows themselves are stored.
        }
    }
}

void onChanged(const Table& t, const TableChange& c) {
    try {
        if (!t.writable()) return;
        auto& all = states();
        auto it = all.find(&t);
        // The same table at that address (its path as spelt, compared as a string: a change
        // reported per row of a bulk load comes here), and the next change of what was seen.
        const bool fresh = it == all.end() || it->second.dbf.native() != t.path().native() ||
                           t.dataVersion() != it->second.version + 1;
        State& s = it != all.end() ? it->second : all[&t];
        if (!fresh && s.deferred) {
            s.version = t.dataVersion();
            return;
        }
        if (fresh) {
            // The first change since the table opened: its index as this process left it, if
            // nobody touched either file since, else one built from the records.
            if (!(it == all.end() && t.dataVersion() == 1 &&
                  c.kind != TableChange::Kind::Reloaded && adopt(s, t) && apply(s, t, c))) {
                rebuild(s, t);
            }
            s.version = t.dataVersion();
        } else if (s.managed) {
            if (!apply(s, t, c)) rebuild(s, t);
            s.version = t.dataVersion();
        } else {
            s.version = t.dataVersion();
        }
        if (!s.managed) {
            // No tag we can keep: a production index claimed by the header would go stale.
            if (fresh && s.dbase) setFlags(*s.dbfIo, s.indexed, false);
            return;
        }
        // A batched table's index reaches its file only with the rows: past a few hundred
        // appends (an eighth of a larger table) one build then costs less than the upkeep.
        const std::uint32_t bulk =
            t.batching() ? std::max<std::uint32_t>(256, t.slots() / 8) : kBulkAppends;
        if (c.kind == TableChange::Kind::Appended && ++s.appends > bulk) {
            // A bulk load: building the tree once from the rows costs far less than keeping
            // it entry by entry. A shared table's header stops claiming the index until then.
            s.deferred = true;
            s.index.reset();
            s.file.reset();
            if (t.lockMode() != OpenMode::Exclusive) {
                s.flagsOn = false;
                setFlags(*s.dbfIo, s.indexed, false);
            }
            return;
        }
        // Written through: the index follows at once. Batched: when the rows are written.
        if (!t.batching()) persist(s);
    } catch (const std::exception&) {
        // The change itself is stored; the index is rebuilt at the next one.
        states().erase(&t);
    }
}

// After a bulk load the tree is built again from the rows, now on disk.
void catchUp(State& s, const Table& t) {
    try {
        if (s.deferred) rebuild(s, t);
    } catch (const std::exception&) {
        return;  // byte 28 stays cleared
    }
    persist(s);
}

void onWritten(const Table& t) {
    auto it = states().find(&t);
    if (it == states().end()) return;
    // A table written through after each post, before the change is reported: a deferred
    // tree waits for the table to close.
    if (it->second.deferred && !t.batching()) return;
    catchUp(it->second, t);
}

void onClosed(const Table& t) {
    if (auto a = adoptable().find(&t); a != adoptable().end()) {
        // Opened and closed again without a change: kept as it was, for the files as they were.
        closedStates()[t.path().string()] = std::move(a->second);
        adoptable().erase(a);
    }
    auto it = states().find(&t);
    if (it == states().end()) return;
    State& s = it->second;
    catchUp(s, t);
    // Kept for a reopening when the index is on disk whole and current.
    if (s.managed && s.index && s.file && !s.deferred && !s.wholePending && s.flagsOn &&
        !s.index->hasChanges() && s.version == t.dataVersion()) {
        // No file stays open while the table is closed (on Windows an open file cannot be
        // replaced or deleted): the index file opens again when the state is taken up.
        s.dbfIo.reset();
        s.file.reset();
        Closed c{std::move(s), fileStamp(t.path()), {}};
        c.mdx = fileStamp(c.state.mdx);
        closedStates()[t.path().string()] = std::move(c);
    }
    states().erase(it);
}

void onCreated(const fs::path& dbf, const std::vector<FieldDef>& fields,
               const std::vector<std::string>& indexes) {
    closedStates().erase(dbf.string());
    std::vector<TagSpec> specs;
    std::vector<bool> indexed(fields.size(), false);
    for (const auto& name : indexes) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (dbf::fieldKey(fields[i].name) != dbf::fieldKey(name) || indexed[i]) continue;
            if (auto spec = tagFor(fields[i])) {
                spec->name = dbf::fieldKey(name);
                specs.push_back(*spec);
                indexed[i] = true;
            }
        }
    }
    if (specs.empty()) return;
    // A new table's index takes the letter case of the table's name; a stale index in any
    // other case goes (on Windows they would all be the same file).
    fs::path mdx = ownIndexFile(dbf);
    std::error_code ec;
    for (fs::directory_iterator it(mdx.parent_path(), ec), end; !ec && it != end;
         it.increment(ec)) {
        const fs::path& p = it->path();
        if (p != mdx &&
            upper(platform::utf8(p.filename())) == upper(platform::utf8(mdx.filename()))) {
            std::error_code ignored;
            fs::remove(p, ignored);
        }
    }
    try {
        MdxIndex index(platform::utf8(dbf.stem()), specs, today(), dbf::kLanguageId);
        writeWhole(index, mdx);
        FileIo io(dbf, FileIo::Access::ReadWrite);
        setFlags(io, indexed, true);
    } catch (const std::exception& e) {
        throw EngineError("No se puede crear el índice " + platform::utf8(mdx) + ": " + e.what());
    }
}

}  // namespace

std::optional<TagSpec> tagFor(const FieldDef& field) {
    TagSpec s;
    s.name = dbf::fieldKey(field.name);
    switch (field.type) {
        case FieldType::Character:
            if (field.width < 1 || field.width > kMaxCharacterKey) return std::nullopt;
            s.type = KeyType::Character;
            s.keyLength = field.width;
            return s;
        case FieldType::Numeric:
        case FieldType::Float:
            s.type = KeyType::Numeric;
            s.keyLength = kNumericKeyLength;
            return s;
        default:
            return std::nullopt;
    }
}

fs::path indexFileFor(const fs::path& dbf) { return findExisting(ownIndexFile(dbf)); }

std::vector<std::string> readTagNames(const fs::path& mdx) {
    std::ifstream in(mdx, std::ios::binary);
    if (!in) return {};
    std::string head(kHeaderPages * kPageSize, '\0');
    if (!in.read(head.data(), static_cast<std::streamsize>(head.size()))) return {};
    auto u = [&](const std::string& s, std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(s[i]));
    };
    if ((u(head, 0) != 2 && u(head, 0) != 3) || u(head, 26) != 32) return {};
    std::uint32_t used = u(head, 28) | u(head, 29) << 8;
    if (used > static_cast<std::uint32_t>(kMaxTags)) return {};
    std::vector<std::string> names;
    for (std::uint32_t i = 0; i < used; ++i) {
        std::size_t e = 544 + 32 * i;
        std::uint32_t page =
            u(head, e) | u(head, e + 1) << 8 | u(head, e + 2) << 16 | u(head, e + 3) << 24;
        std::string name = head.substr(e + 4, 11);
        name.resize(std::strlen(name.c_str()));
        std::string tagHead(256, '\0');
        in.seekg(static_cast<std::streamoff>(std::uint64_t(page) * kPageSize));
        if (!in.read(tagHead.data(), static_cast<std::streamsize>(tagHead.size()))) return {};
        std::string expr = tagHead.substr(24, 220);
        expr.resize(std::strlen(expr.c_str()));
        while (!expr.empty() && expr.back() == ' ') expr.pop_back();
        while (!expr.empty() && expr.front() == ' ') expr.erase(0, 1);
        if (!name.empty() && upper(expr) == upper(name)) names.push_back(upper(name));
    }
    return names;
}

IndexFileHooks productionIndexHooks() {
    IndexFileHooks h;
    h.tagNames = [](const fs::path& dbf) {
        // Tag names hold at most 10 characters; the catalogue spells some indexes longer
        // ("PROF_DIA_SES"), and that is the name the steps use.
        std::vector<std::string> names = readTagNames(indexFileFor(dbf));
        std::string file = upper(platform::utf8(dbf.filename()));
        for (const auto* l : catalogue::all()) {
            if (upper(l->fileName) != file) continue;
            for (auto& n : names) {
                for (const auto& i : l->indexes) {
                    if (dbf::fieldKey(i) == n) n = i;
                }
            }
        }
        return names;
    };
    h.created = onCreated;
    h.opened = onOpened;
    h.written = onWritten;
    h.changed = onChanged;
    h.closed = onClosed;
    return h;
}

}  // namespace tz::tables::mdx
