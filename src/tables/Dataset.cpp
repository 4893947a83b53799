#include "tables/Dataset.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/System.h"
#include "tables/DbfFormat.h"
#include "tables/Paths.h"
#include "tables/Table.h"

namespace tz::tables {
namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

std::string_view trimSpaces(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// memcpy for the short values of most fields, without a library call per value: fixed-size
// copies, which the compiler turns into plain moves, overlapping where the length is between.
inline void copyBytes(char* dst, const char* src, std::size_t n) {
    if (n >= 8 && n <= 16) {
        std::memcpy(dst, src, 8);
        std::memcpy(dst + n - 8, src + n - 8, 8);
    } else if (n >= 4 && n < 8) {
        std::memcpy(dst, src, 4);
        std::memcpy(dst + n - 4, src + n - 4, 4);
    } else if (n > 16) {
        std::memcpy(dst, src, n);
    } else {
        for (std::size_t i = 0; i < n; ++i) dst[i] = src[i];
    }
}

void blankRecord(const Table& t, std::vector<char>& buf) {
    buf.assign(static_cast<std::size_t>(t.recordLength()), ' ');
    const auto& fs = t.fields();
    for (std::size_t i = 0; i < fs.size(); ++i) {
        if (fs[i].type == FieldType::BinaryInt) {
            std::memset(buf.data() + t.fieldOffset(static_cast<int>(i)), 0, 4);
        }
    }
}

}  // namespace

struct Dataset::Impl final : TableClient {
    struct MasterWatch final : DatasetObserver {
        Impl* d = nullptr;
        void viewReset() override { d->followMaster(); }
        void rowChanged(int) override { d->followMaster(); }
        void currentChanged() override { d->followMaster(); }
    };

    Dataset* self;
    std::shared_ptr<Table> table;
    OpenMode openMode = OpenMode::Shared;
    std::filesystem::path file;
    int order = 0;
    std::string indexName;
    DatasetState state = DatasetState::Inactive;
    mutable std::uint32_t cur = kNone;
    mutable int curPos = -1;
    bool atEof = true, atBof = true;
    std::vector<char> buf;
    std::vector<char> blankRow;  // an empty record of the open table
    bool changed = false;

    // Master–detail.
    Dataset* master = nullptr;
    std::string masterField;
    MasterWatch watch;
    bool linkValid = false;
    std::uint32_t masterRec = kNone;
    std::string masterText;
    OrderedIndex::Key linkKey;
    std::vector<Impl*> details;

    // Filter.
    std::string filterText;
    int filterField = -1;
    std::string filterValue;
    bool filterOn = false;

    // View cache.
    std::uint64_t gen = 0;
    mutable std::uint64_t cachedGen = ~0ull, cachedStruct = ~0ull, cachedData = ~0ull;
    mutable const Table* cachedTable = nullptr;
    mutable int lo = 0, hi = 0;
    mutable std::vector<int> fpos;
    // Bumped each time the view is worked out anew; curPos is known to be the position of
    // posRec while posEpoch equals it (so reading fields needs no search).
    mutable std::uint64_t viewEpoch = 0, posEpoch = ~0ull;
    mutable std::uint32_t posRec = kNone;

    std::vector<DatasetObserver*> observers;
    // disableControls depth, and what was held back meanwhile.
    int controlsOff = 0;
    bool heldReset = false, heldCurrent = false;
    std::vector<int> heldRows;

    explicit Impl(Dataset* s) : self(s) { watch.d = this; }

    // --- errors ---------------------------------------------------------------------------
    std::string name() const {
        if (table) return table->name();
        return file.empty() ? std::string() : platform::utf8(file.stem());
    }
    [[noreturn]] void fail(const std::string& what) const {
        throw EngineError("La tabla " + name() + " " + what);
    }
    void requireOpen() const {
        if (!table) {
            if (file.empty()) throw EngineError("La tabla no está abierta");
            fail("no está abierta");
        }
    }
    void requireWritable() const {
        requireOpen();
        if (openMode == OpenMode::ReadOnly) fail("está abierta solo para lectura");
    }
    void requireEditing() const {
        requireOpen();
        if (state != DatasetState::Edit && state != DatasetState::Insert) {
            fail("no está en modo de edición");
        }
    }
    int fieldNo(std::string_view field) const {
        requireOpen();
        int f = table->fieldIndex(field);
        if (f < 0) {
            throw EngineError("El campo " + std::string(field) + " no existe en la tabla " +
                              name());
        }
        return f;
    }
    void checkField(int f) const {
        requireOpen();
        if (f < 0 || f >= static_cast<int>(table->fields().size())) {
            throw EngineError("El campo número " + std::to_string(f) + " no existe en la tabla " +
                              name());
        }
    }

    // --- notifications ----------------------------------------------------------------------
    template <class F>
    void tell(F f) {
        // An observer may come or go while it is told: tell those there were at the start, from
        // a copy (on the stack for the usual few).
        constexpr std::size_t kFew = 8;
        if (observers.size() <= kFew) {
            DatasetObserver* few[kFew];
            std::size_t n = observers.size();
            std::copy(observers.begin(), observers.end(), few);
            for (std::size_t i = 0; i < n; ++i) f(few[i]);
            return;
        }
        auto copy = observers;
        for (auto* o : copy) f(o);
    }
    void tellReset() {
        if (controlsOff > 0) {
            heldReset = true;
            return;
        }
        tell([](DatasetObserver* o) { o->viewReset(); });
    }
    void tellCurrent() {
        if (controlsOff > 0) {
            heldCurrent = true;
            return;
        }
        tell([](DatasetObserver* o) { o->currentChanged(); });
    }
    void tellRow(int p) {
        if (controlsOff > 0) {
            heldRows.push_back(p);
            return;
        }
        tell([p](DatasetObserver* o) { o->rowChanged(p); });
    }
    // What observers were not told while controls were off, told once.
    void tellHeld() {
        bool reset = heldReset, current = heldCurrent;
        std::vector<int> rows;
        rows.swap(heldRows);
        heldReset = heldCurrent = false;
        if (reset) {
            tellReset();
        } else {
            std::sort(rows.begin(), rows.end());
            rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
            for (int p : rows) tellRow(p);
        }
        if (reset || current) tellCurrent();
    }

    // --- the view ---------------------------------------------------------------------------
    bool filterActive() const { return filterOn && filterField >= 0; }
    bool linked() const { return master != nullptr; }
    const OrderedIndex& idx() const { return table->order(order); }

    bool accepts(std::uint32_t rec) const {
        const auto& f = table->fields()[static_cast<std::size_t>(filterField)];
        return dbf::decodeText(f, table->record(rec) + table->fieldOffset(filterField)) ==
               filterValue;
    }

    void ensureView() const {
        if (!table) {
            lo = hi = 0;
            fpos.clear();
            return;
        }
        if (cachedTable == table.get() && cachedGen == gen &&
            cachedStruct == table->structureVersion() &&
            (!filterActive() || cachedData == table->dataVersion())) {
            return;
        }
        const auto& ix = idx();
        if (linked()) {
            if (linkValid) {
                lo = ix.lowerBound(linkKey);
                hi = std::max(lo, ix.upperBound(linkKey));
            } else {
                lo = hi = 0;
            }
        } else {
            lo = 0;
            hi = ix.size();
        }
        fpos.clear();
        if (filterActive()) {
            for (int p = lo; p < hi; ++p) {
                if (accepts(ix.at(p))) fpos.push_back(p);
            }
        }
        ++viewEpoch;
        cachedTable = table.get();
        cachedGen = gen;
        cachedStruct = table->structureVersion();
        cachedData = table->dataVersion();
    }

    int count() const {
        ensureView();
        return filterActive() ? static_cast<int>(fpos.size()) : hi - lo;
    }
    std::uint32_t recAt(int pos) const {
        ensureView();
        return idx().at(filterActive() ? fpos[static_cast<std::size_t>(pos)] : lo + pos);
    }
    int posOf(std::uint32_t rec) const {
        if (!table || !table->live(rec)) return -1;
        ensureView();
        int p = idx().positionOf(rec);
        if (p < lo || p >= hi) return -1;
        if (!filterActive()) return p - lo;
        auto it = std::lower_bound(fpos.begin(), fpos.end(), p);
        if (it == fpos.end() || *it != p) return -1;
        return static_cast<int>(it - fpos.begin());
    }
    // Position of the current row; when it left the view (deleted or moved away by another
    // dataset) the row now at its old position becomes current.
    int currentPos() const {
        int n = count();
        if (n == 0) {
            cur = kNone;
            curPos = -1;
            return -1;
        }
        if (cur != kNone && cur == posRec && posEpoch == viewEpoch) return curPos;
        if (cur != kNone) {
            int p = posOf(cur);
            if (p >= 0) {
                curPos = p;
                posRec = cur;
                posEpoch = viewEpoch;
                return p;
            }
        }
        int p = std::clamp(curPos, 0, n - 1);
        moveToPos(p);
        return p;
    }
    const char* rowBytes() const {
        if (state == DatasetState::Edit || state == DatasetState::Insert) return buf.data();
        if (currentPos() < 0) return nullptr;
        return table->record(cur);
    }
    void moveToPos(int p) const {
        cur = recAt(p);
        curPos = p;
        posRec = cur;
        posEpoch = viewEpoch;
    }

    // --- pending rows -----------------------------------------------------------------------
    void settle() {
        if (state == DatasetState::Edit || state == DatasetState::Insert) {
            if (changed) {
                post();
            } else {
                cancel();
            }
        }
    }

    void post() {
        if (state == DatasetState::Edit) {
            requireWritable();
            state = DatasetState::Browse;
            try {
                table->update(cur, buf.data());
            } catch (...) {
                state = DatasetState::Edit;
                throw;
            }
        } else if (state == DatasetState::Insert) {
            requireWritable();
            state = DatasetState::Browse;
            try {
                cur = table->append(buf.data());
            } catch (...) {
                state = DatasetState::Insert;
                throw;
            }
            atEof = atBof = false;
        } else {
            return;
        }
        changed = false;
        buf.clear();
        currentPos();
        tellCurrent();
    }

    void cancel() {
        if (state != DatasetState::Edit && state != DatasetState::Insert) return;
        bool wasEdit = state == DatasetState::Edit;
        state = DatasetState::Browse;
        changed = false;
        buf.clear();
        if (wasEdit) {
            int p = currentPos();
            if (p >= 0) tellRow(p);
        }
        tellCurrent();
    }

    void append() {
        requireWritable();
        settle();
        buf = blankRow;
        if (linked() && linkValid) {
            // A new row of a detail belongs to the master's current row.
            int f = table->orderField(order);
            const auto& fd = table->fields()[static_cast<std::size_t>(f)];
            (void)dbf::encodeText(fd, buf.data() + table->fieldOffset(f), masterText);
        }
        state = DatasetState::Insert;
        changed = false;
        tellCurrent();
    }

    // --- navigation -------------------------------------------------------------------------
    void goFirstQuietly() {
        int n = count();
        if (n == 0) {
            cur = kNone;
            curPos = -1;
            atEof = atBof = true;
        } else {
            moveToPos(0);
            atEof = atBof = false;
        }
    }

    // A new view (index, link or filter): go to its first row and tell everyone.
    void viewChanged() {
        ++gen;
        goFirstQuietly();
        tellReset();
        tellCurrent();
    }

    // --- master–detail ------------------------------------------------------------------------
    void computeLink(bool& valid, std::uint32_t& rec, std::string& text) const {
        valid = false;
        rec = kNone;
        text.clear();
        if (!master || !master->isOpen()) return;
        auto* md = master->d_.get();
        if (md->state == DatasetState::Insert) {
            valid = true;
        } else {
            if (md->currentPos() < 0) return;
            valid = true;
            rec = md->cur;
        }
        text = master->text(masterField);
    }

    void applyLink(bool valid, std::uint32_t rec, const std::string& text) {
        linkValid = valid;
        masterRec = rec;
        masterText = text;
        if (table && order > 0) linkKey = table->keyFor(order, masterText);
    }

    void followMaster() {
        if (!table || !master) return;
        bool valid;
        std::uint32_t rec;
        std::string text;
        computeLink(valid, rec, text);
        if (valid == linkValid && rec == masterRec && text == masterText) return;
        settle();
        applyLink(valid, rec, text);
        viewChanged();
    }

    void unlinkFromMaster() {
        if (!master) return;
        auto* md = master->d_.get();
        md->details.erase(std::remove(md->details.begin(), md->details.end(), this),
                          md->details.end());
        master->removeObserver(&watch);
        master = nullptr;
        masterField.clear();
        linkValid = false;
    }

    // --- filter -------------------------------------------------------------------------------
    void parseFilter() {
        filterField = -1;
        filterValue.clear();
        std::string_view c = trimSpaces(filterText);
        if (c.empty() || !table) return;
        auto bad = [&]() {
            throw EngineError("El filtro \"" + filterText + "\" de la tabla " + name() +
                              " no es válido");
        };
        auto eq = c.find('=');
        if (eq == std::string_view::npos) bad();
        std::string_view field = trimSpaces(c.substr(0, eq));
        std::string_view v = trimSpaces(c.substr(eq + 1));
        if (field.empty() || v.size() < 2 || v.front() != '\'' || v.back() != '\'') bad();
        v = v.substr(1, v.size() - 2);
        std::string value;
        for (std::size_t i = 0; i < v.size(); ++i) {
            if (v[i] == '\'') {
                if (i + 1 < v.size() && v[i + 1] == '\'') {
                    value.push_back('\'');
                    ++i;
                } else {
                    bad();
                }
            } else {
                value.push_back(v[i]);
            }
        }
        int f = fieldNo(field);
        while (!value.empty() && value.back() == ' ') value.pop_back();
        filterField = f;
        filterValue = std::move(value);
    }

    // --- table changes ----------------------------------------------------------------------
    void tableChanged(const TableChange& ch) override {
        bool reset = ch.kind != TableChange::Kind::Updated;
        if (!reset) {
            const char* now = table->record(ch.rec);
            auto differs = [&](int f) {
                int off = table->fieldOffset(f);
                int w = table->fields()[static_cast<std::size_t>(f)].width;
                return std::memcmp(ch.oldRecord + off, now + off, static_cast<std::size_t>(w)) != 0;
            };
            if (order > 0 && differs(table->orderField(order))) reset = true;
            if (filterActive() && differs(filterField)) reset = true;
        }
        if (reset) {
            tellReset();
            return;
        }
        int p = posOf(ch.rec);
        if (p >= 0) tellRow(p);
    }

    // --- open / close -----------------------------------------------------------------------
    void close() {
        if (!table) return;
        if (state == DatasetState::Edit || state == DatasetState::Insert) {
            state = DatasetState::Browse;
            buf.clear();
            changed = false;
        }
        auto t = std::move(table);
        table.reset();
        state = DatasetState::Inactive;
        cur = kNone;
        curPos = -1;
        atEof = atBof = true;
        order = 0;
        indexName.clear();
        ++gen;
        std::exception_ptr err;
        try {
            t->detach(this);
        } catch (...) {
            err = std::current_exception();
        }
        t.reset();
        auto ds = details;
        for (auto* d : ds) d->followMaster();
        tellReset();
        tellCurrent();
        if (err) std::rethrow_exception(err);
    }
};

// ------------------------------------------------------------------------------------------

Dataset::Dataset() : d_(std::make_unique<Impl>(this)) {}

Dataset::~Dataset() {
    try {
        close();
    } catch (...) {
        // A destructor cannot report; what was stored before stays readable.
    }
    d_->unlinkFromMaster();
    auto ds = d_->details;
    for (auto* d : ds) {
        d->unlinkFromMaster();
        if (d->table) d->viewChanged();
    }
}

void Dataset::open(const std::filesystem::path& file, OpenMode mode) {
    close();
    std::filesystem::path p = findExisting(file);
    if (!p.has_extension()) p = findExisting(std::filesystem::path(p).concat(".DBF"));
    d_->file = p;
    if (!fileExists(p)) throw EngineError("La tabla " + platform::utf8(p) + " no existe");
    d_->table = Table::attach(p, mode, d_.get());
    d_->file = d_->table->path();
    blankRecord(*d_->table, d_->blankRow);
    d_->openMode = mode;
    d_->state = DatasetState::Browse;
    d_->order = 0;
    d_->indexName.clear();
    try {
        d_->parseFilter();
    } catch (...) {
        d_->filterField = -1;
    }
    ++d_->gen;
    d_->goFirstQuietly();
    d_->tellReset();
    d_->tellCurrent();
}

void Dataset::close() { d_->close(); }
bool Dataset::isOpen() const { return d_->table != nullptr; }
OpenMode Dataset::mode() const { return d_->openMode; }
const std::filesystem::path& Dataset::path() const { return d_->file; }
std::string Dataset::tableName() const { return d_->name(); }

const std::vector<FieldDef>& Dataset::fields() const {
    static const std::vector<FieldDef> none;
    return d_->table ? d_->table->fields() : none;
}

int Dataset::fieldIndex(std::string_view name) const {
    return d_->table ? d_->table->fieldIndex(name) : -1;
}

void Dataset::setIndex(std::string_view name) {
    d_->requireOpen();
    int o = 0;
    if (!name.empty()) {
        o = d_->table->findOrder(name);
        if (o < 0) d_->fail("no tiene el índice " + std::string(name));
    } else if (d_->linked()) {
        d_->fail("necesita un índice mientras está enlazada a otra tabla");
    }
    d_->settle();
    d_->order = o;
    d_->indexName = o ? d_->table->orderName(o) : std::string();
    if (d_->linked()) d_->applyLink(d_->linkValid, d_->masterRec, d_->masterText);
    d_->viewChanged();
}

const std::string& Dataset::indexName() const { return d_->indexName; }

std::vector<std::string> Dataset::indexNames() const {
    return d_->table ? d_->table->indexNames() : std::vector<std::string>{};
}

void Dataset::first() {
    d_->requireOpen();
    d_->settle();
    d_->goFirstQuietly();
    d_->tellCurrent();
}

void Dataset::last() {
    d_->requireOpen();
    d_->settle();
    int n = d_->count();
    if (n == 0) {
        d_->goFirstQuietly();
    } else {
        d_->moveToPos(n - 1);
        d_->atEof = d_->atBof = false;
    }
    d_->tellCurrent();
}

void Dataset::next() {
    d_->requireOpen();
    d_->settle();
    int n = d_->count();
    int p = d_->currentPos();
    if (n == 0) {
        d_->atEof = d_->atBof = true;
    } else if (p + 1 >= n) {
        d_->atEof = true;
        d_->atBof = false;
    } else {
        d_->moveToPos(p + 1);
        d_->atEof = d_->atBof = false;
    }
    d_->tellCurrent();
}

void Dataset::prior() {
    d_->requireOpen();
    d_->settle();
    int n = d_->count();
    int p = d_->currentPos();
    if (n == 0) {
        d_->atEof = d_->atBof = true;
    } else if (p <= 0) {
        d_->atBof = true;
        d_->atEof = false;
    } else {
        d_->moveToPos(p - 1);
        d_->atEof = d_->atBof = false;
    }
    d_->tellCurrent();
}

bool Dataset::eof() const { return !d_->table || d_->atEof || d_->count() == 0; }
bool Dataset::bof() const { return !d_->table || d_->atBof || d_->count() == 0; }
bool Dataset::isEmpty() const { return d_->count() == 0; }
int Dataset::recordCount() const { return d_->count(); }

int Dataset::position() const {
    if (!d_->table) return -1;
    if (d_->state == DatasetState::Insert) return d_->count();
    return d_->currentPos();
}

void Dataset::moveTo(int position) {
    d_->requireOpen();
    d_->settle();
    int n = d_->count();
    if (n == 0) {
        d_->goFirstQuietly();
    } else {
        d_->moveToPos(std::clamp(position, 0, n - 1));
        d_->atEof = d_->atBof = false;
    }
    d_->tellCurrent();
}

bool Dataset::findKey(std::string_view value) {
    d_->requireOpen();
    if (d_->order == 0) d_->fail("no tiene un índice seleccionado");
    auto find = [&]() -> int {
        const auto& ix = d_->idx();
        if (ix.kind() == OrderedIndex::Kind::Number && !trimSpaces(value).empty() &&
            !dbf::parseNumber(value)) {
            return -1;
        }
        OrderedIndex::Key key = d_->table->keyFor(d_->order, value);
        d_->ensureView();
        int p = std::max(d_->lo, ix.lowerBound(key));
        if (p >= d_->hi) return -1;
        if (d_->filterActive()) {
            auto it = std::lower_bound(d_->fpos.begin(), d_->fpos.end(), p);
            if (it == d_->fpos.end() || !ix.keyAt(*it, key)) return -1;
            return static_cast<int>(it - d_->fpos.begin());
        }
        if (!ix.keyAt(p, key)) return -1;
        return p - d_->lo;
    };
    int p = find();
    if (p < 0) return false;
    if (d_->state == DatasetState::Edit || d_->state == DatasetState::Insert) {
        d_->settle();  // storing the pending row may move rows: search again
        p = find();
        if (p < 0) {
            d_->tellCurrent();
            return false;
        }
    }
    d_->moveToPos(p);
    d_->atEof = d_->atBof = false;
    d_->tellCurrent();
    return true;
}

DatasetState Dataset::state() const { return d_->state; }
bool Dataset::modified() const { return d_->changed; }

void Dataset::edit() {
    d_->requireWritable();
    if (d_->state == DatasetState::Edit || d_->state == DatasetState::Insert) return;
    if (d_->currentPos() < 0) {
        d_->append();
        return;
    }
    d_->buf.assign(d_->table->record(d_->cur),
                   d_->table->record(d_->cur) + d_->table->recordLength());
    d_->state = DatasetState::Edit;
    d_->changed = false;
    d_->tellCurrent();
}

void Dataset::append() { d_->append(); }
void Dataset::post() {
    d_->requireOpen();
    d_->post();
}
void Dataset::cancel() { d_->cancel(); }

void Dataset::remove() {
    d_->requireOpen();
    if (d_->state == DatasetState::Insert) {
        d_->cancel();
        return;
    }
    d_->requireWritable();
    if (d_->state == DatasetState::Edit) d_->cancel();
    int p = d_->currentPos();
    if (p < 0) d_->fail("está vacía");
    bool wasLast = p == d_->count() - 1;
    d_->table->remove(d_->cur);
    int n = d_->count();
    if (n == 0) {
        d_->goFirstQuietly();
    } else {
        d_->moveToPos(std::min(p, n - 1));
        d_->atEof = wasLast;
        d_->atBof = false;
    }
    d_->tellCurrent();
}

namespace {
void checkEncode(dbf::EncodeResult r, const Dataset& ds, const FieldDef& f, std::string_view v) {
    if (r == dbf::EncodeResult::Invalid) {
        throw EngineError("El valor '" + std::string(v) + "' no es válido para el campo " + f.name +
                          " de la tabla " + ds.tableName());
    }
    if (r == dbf::EncodeResult::TooWide) {
        throw EngineError("El valor " + std::string(v) + " no cabe en el campo " + f.name +
                          " de la tabla " + ds.tableName());
    }
}
}  // namespace

void Dataset::appendRecord(const std::vector<std::string>& values) {
    d_->requireWritable();
    if (values.size() > d_->table->fields().size()) {
        d_->fail("tiene menos campos que los valores dados");
    }
    d_->append();
    try {
        // What setText does for each field of a new row, without its per-call checks. The row
        // starts blank, so a character value needs only its own bytes copied.
        const Table& t = *d_->table;
        const auto& fs = t.fields();
        for (std::size_t i = 0; i < values.size(); ++i) {
            char* dst = d_->buf.data() + t.fieldOffset(static_cast<int>(i));
            if (fs[i].type == FieldType::Character) {
                std::size_t n =
                    std::min<std::size_t>(static_cast<std::size_t>(fs[i].width), values[i].size());
                copyBytes(dst, values[i].data(), n);
                continue;
            }
            checkEncode(dbf::encodeText(fs[i], dst, values[i]), *this, fs[i], values[i]);
        }
        d_->changed = true;
        d_->post();
    } catch (...) {
        d_->cancel();
        throw;
    }
}

std::string Dataset::text(std::string_view field) const { return text(d_->fieldNo(field)); }

std::string Dataset::text(int fieldNo) const {
    d_->checkField(fieldNo);
    const char* row = d_->rowBytes();
    if (!row) return {};
    const auto& f = d_->table->fields()[static_cast<std::size_t>(fieldNo)];
    return dbf::decodeText(f, row + d_->table->fieldOffset(fieldNo));
}

double Dataset::number(std::string_view field) const {
    int f = d_->fieldNo(field);
    const char* row = d_->rowBytes();
    if (!row) return 0;
    const auto& fd = d_->table->fields()[static_cast<std::size_t>(f)];
    return dbf::decodeNumber(fd, row + d_->table->fieldOffset(f)).value_or(0.0);
}

std::int64_t Dataset::integer(std::string_view field) const {
    double v = number(field);
    if (v >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
    if (v <= -9.2e18) return std::numeric_limits<std::int64_t>::min();
    return std::llround(v);
}

bool Dataset::logical(std::string_view field) const { return text(field) == "T"; }

void Dataset::setText(std::string_view field, std::string_view value) {
    setText(d_->fieldNo(field), value);
}

void Dataset::setText(int fieldNo, std::string_view value) {
    d_->checkField(fieldNo);
    d_->requireEditing();
    const auto& f = d_->table->fields()[static_cast<std::size_t>(fieldNo)];
    checkEncode(dbf::encodeText(f, d_->buf.data() + d_->table->fieldOffset(fieldNo), value), *this,
                f, value);
    d_->changed = true;
    if (d_->state == DatasetState::Edit) {
        int p = d_->currentPos();
        if (p >= 0) d_->tellRow(p);
    }
}

void Dataset::setNumber(std::string_view field, double value) {
    int fn = d_->fieldNo(field);
    d_->requireEditing();
    const auto& f = d_->table->fields()[static_cast<std::size_t>(fn)];
    checkEncode(dbf::encodeNumber(f, d_->buf.data() + d_->table->fieldOffset(fn), value), *this, f,
                dbf::formatNumber(value));
    d_->changed = true;
}

void Dataset::setInteger(std::string_view field, std::int64_t value) {
    int fn = d_->fieldNo(field);
    d_->requireEditing();
    const auto& f = d_->table->fields()[static_cast<std::size_t>(fn)];
    checkEncode(dbf::encodeInteger(f, d_->buf.data() + d_->table->fieldOffset(fn), value), *this, f,
                std::to_string(value));
    d_->changed = true;
}

void Dataset::setLogical(std::string_view field, bool value) { setText(field, value ? "T" : "F"); }

std::string Dataset::textAt(int position, int fieldNo) const {
    d_->checkField(fieldNo);
    const auto& f = d_->table->fields()[static_cast<std::size_t>(fieldNo)];
    int off = d_->table->fieldOffset(fieldNo);
    int n = d_->count();
    if (d_->state == DatasetState::Insert && position == n) {
        return dbf::decodeText(f, d_->buf.data() + off);
    }
    if (position < 0 || position >= n) {
        d_->fail("no tiene la fila " + std::to_string(position));
    }
    std::uint32_t rec = d_->recAt(position);
    if (d_->state == DatasetState::Edit && rec == d_->cur) {
        return dbf::decodeText(f, d_->buf.data() + off);
    }
    return dbf::decodeText(f, d_->table->record(rec) + off);
}

std::string_view Dataset::textViewAt(int position, int fieldNo) const {
    d_->checkField(fieldNo);
    const auto& f = d_->table->fields()[static_cast<std::size_t>(fieldNo)];
    const int off = d_->table->fieldOffset(fieldNo);
    const int n = d_->count();
    const char* row = nullptr;
    if (d_->state == DatasetState::Insert && position == n) {
        row = d_->buf.data();
    } else {
        if (position < 0 || position >= n) d_->fail("no tiene la fila " + std::to_string(position));
        const std::uint32_t rec = d_->recAt(position);
        row = d_->state == DatasetState::Edit && rec == d_->cur ? d_->buf.data()
                                                                : d_->table->record(rec);
    }
    std::string_view s(row + off, static_cast<std::size_t>(f.width));
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

int Dataset::positionOf(Bookmark b) const { return d_->table ? d_->posOf(b) : -1; }

Bookmark Dataset::bookmarkAt(int position) const {
    d_->requireOpen();
    if (position < 0 || position >= d_->count()) {
        d_->fail("no tiene la fila " + std::to_string(position));
    }
    return d_->recAt(position);
}

Bookmark Dataset::bookmark() const {
    d_->requireOpen();
    if (d_->currentPos() < 0) d_->fail("está vacía");
    return d_->cur;
}

bool Dataset::bookmarkValid(Bookmark b) const { return d_->table && d_->posOf(b) >= 0; }

void Dataset::gotoBookmark(Bookmark b) {
    d_->requireOpen();
    auto invalid = [&]() { d_->fail("no tiene el marcador " + std::to_string(b)); };
    if (!bookmarkValid(b)) invalid();
    d_->settle();
    int p = d_->posOf(b);
    if (p < 0) invalid();
    d_->moveToPos(p);
    d_->atEof = d_->atBof = false;
    d_->tellCurrent();
}

void Dataset::setMaster(Dataset* master, std::string masterField) {
    d_->requireOpen();
    if (master == this) d_->fail("no puede ser su propia tabla maestra");
    if (master) {
        if (d_->order == 0) d_->fail("necesita un índice para enlazarse a otra tabla");
        if (master->isOpen() && master->fieldIndex(masterField) < 0) {
            throw EngineError("El campo " + masterField + " no existe en la tabla " +
                              master->tableName());
        }
    }
    d_->settle();
    d_->unlinkFromMaster();
    if (master) {
        d_->master = master;
        d_->masterField = std::move(masterField);
        master->addObserver(&d_->watch);
        master->d_->details.push_back(d_.get());
        bool valid;
        std::uint32_t rec;
        std::string text;
        d_->computeLink(valid, rec, text);
        d_->applyLink(valid, rec, text);
    }
    d_->viewChanged();
}

Dataset* Dataset::master() const { return d_->master; }

void Dataset::setFilter(std::string_view condition) {
    std::string old = d_->filterText;
    int oldField = d_->filterField;
    std::string oldValue = d_->filterValue;
    d_->filterText = std::string(condition);
    try {
        d_->parseFilter();
    } catch (...) {
        d_->filterText = old;
        d_->filterField = oldField;
        d_->filterValue = oldValue;
        throw;
    }
    if (d_->table && d_->filterOn) {
        d_->settle();
        d_->viewChanged();
    }
}

const std::string& Dataset::filter() const { return d_->filterText; }

void Dataset::setFiltered(bool on) {
    if (on == d_->filterOn) return;
    if (d_->table) d_->settle();
    d_->filterOn = on;
    if (d_->table) d_->viewChanged();
}

bool Dataset::filtered() const { return d_->filterOn; }

void Dataset::flush() {
    d_->requireOpen();
    d_->table->flush();
}

void Dataset::disableControls() { ++d_->controlsOff; }

void Dataset::enableControls() {
    if (d_->controlsOff == 0 || --d_->controlsOff > 0) return;
    d_->tellHeld();
}

bool Dataset::controlsDisabled() const { return d_->controlsOff > 0; }

void Dataset::addObserver(DatasetObserver* o) {
    if (o && std::find(d_->observers.begin(), d_->observers.end(), o) == d_->observers.end()) {
        d_->observers.push_back(o);
    }
}

void Dataset::removeObserver(DatasetObserver* o) {
    d_->observers.erase(std::remove(d_->observers.begin(), d_->observers.end(), o),
                        d_->observers.end());
}

}  // namespace tz::tables
