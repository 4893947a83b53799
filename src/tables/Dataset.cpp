#include "tables/Dataset.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/System.h"
#include "tables/DatasetParts.h"
#include "tables/DbfFormat.h"
#include "tables/Paths.h"
#include "tables/ShortCopy.h"
#include "tables/Table.h"

namespace tz::tables {
namespace {

using parts::kNone;

std::string_view trimSpaces(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
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

// The parts (DatasetParts.h) and how they work together: the view follows the table, the link
// and the filter; the cursor lives in the view; the pending row is stored when the cursor
// moves; the observers hear of all of it.
struct Dataset::Impl final : TableClient {
    // Follows the master for a detail: registered as one of the master's observers.
    struct MasterWatch final : DatasetObserver {
        Impl* d = nullptr;
        void viewReset() override { d->followMaster(); }
        void rowChanged(int) override { d->followMaster(); }
        void currentChanged() override { d->followMaster(); }
    };

    std::shared_ptr<Table> table;
    OpenMode openMode = OpenMode::Shared;
    std::filesystem::path file;

    parts::Cursor cursor;
    parts::PendingRow pending;
    Bookmark posted = kNone;  // the row the last post stored
    parts::MasterLink link;
    MasterWatch watch;
    std::vector<Impl*> details;  // datasets whose master this is
    parts::RowFilter filter;
    mutable parts::ViewCache view;
    parts::Observers observers;
    // The record at the position read last (rowAt), while the view is the same.
    struct LastAt {
        int pos = -1;
        std::uint64_t epoch = ~0ull;
        std::uint32_t rec = kNone;
    };
    mutable LastAt lastAt;
    // Where each character field lies in a record (width 0 for other types), for setText's
    // usual case without reaching the field definitions.
    struct CharSlot {
        std::uint32_t offset = 0, width = 0;
    };
    std::vector<CharSlot> charSlots;

    Impl() { watch.d = this; }

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
        if (!pending.editing()) fail("no está en modo de edición");
    }
    int fieldNo(std::string_view field) const {
        requireOpen();
        const int f = table->fieldIndex(field);
        if (f < 0) {
            throw EngineError("El campo " + std::string(field) + " no existe en la tabla " +
                              name());
        }
        return f;
    }
    void checkField(int f) const {
        if (!table || f < 0 || f >= static_cast<int>(table->fields().size())) [[unlikely]] {
            badField(f);
        }
    }
    [[noreturn]] void badField(int f) const {
        requireOpen();
        throw EngineError("El campo número " + std::to_string(f) + " no existe en la tabla " +
                          name());
    }

    // --- the view ---------------------------------------------------------------------------
    bool linked() const { return link.master != nullptr; }
    const OrderedIndex& idx() const { return table->order(cursor.order); }
    // Position p of the order holds record p: the physical order of a table without deleted
    // records, unlinked and unfiltered.
    bool identity() const {
        return cursor.order == 0 && !linked() && !filter.active() && table->deletedCount() == 0;
    }

    // The view as worked out last is still the view (the usual case: checked at every read).
    bool viewCurrent() const {
        return view.table == table.get() && view.forGeneration == view.generation &&
               view.forStructure == table->structureVersion() &&
               (!filter.active() || view.forData == table->dataVersion());
    }
    void ensureView() const {
        if (!table) {
            view.lo = view.hi = 0;
            view.filtered.clear();
            return;
        }
        if (!viewCurrent()) workOutView();
    }
    void workOutView() const {
        const auto& ix = idx();
        if (linked()) {
            if (link.valid) {
                view.lo = ix.lowerBound(link.key);
                view.hi = std::max(view.lo, ix.upperBound(link.key));
            } else {
                view.lo = view.hi = 0;
            }
        } else {
            view.lo = 0;
            view.hi = ix.size();
        }
        view.filtered.clear();
        if (filter.active()) {
            for (int p = view.lo; p < view.hi; ++p) {
                if (filter.accepts(*table, ix.at(p))) view.filtered.push_back(p);
            }
        }
        ++view.epoch;
        view.table = table.get();
        view.forGeneration = view.generation;
        view.forStructure = table->structureVersion();
        view.forData = table->dataVersion();
    }

    int count() const {
        ensureView();
        return filter.active() ? static_cast<int>(view.filtered.size()) : view.hi - view.lo;
    }
    std::uint32_t recAt(int pos) const {
        ensureView();
        return recInView(pos);
    }
    // recAt once the view is known to be current.
    std::uint32_t recInView(int pos) const {
        if (identity()) return static_cast<std::uint32_t>(pos);
        return idx().at(filter.active() ? view.filtered[static_cast<std::size_t>(pos)]
                                        : view.lo + pos);
    }
    int posOf(std::uint32_t rec) const {
        if (!table || !table->live(rec)) return -1;
        ensureView();
        if (identity()) return static_cast<int>(rec);
        const int p = idx().positionOf(rec);
        if (p < view.lo || p >= view.hi) return -1;
        if (!filter.active()) return p - view.lo;
        auto it = std::lower_bound(view.filtered.begin(), view.filtered.end(), p);
        if (it == view.filtered.end() || *it != p) return -1;
        return static_cast<int>(it - view.filtered.begin());
    }
    void moveToPos(int p) const {
        const_cast<parts::Cursor&>(cursor).place(recAt(p), p, view.epoch);
    }
    // Position of the current row; when it left the view (deleted or moved away by another
    // dataset) the row now at its old position becomes current.
    int currentPos() const {
        auto& c = const_cast<parts::Cursor&>(cursor);
        const int n = count();
        if (n == 0) {
            c.clear();
            return -1;
        }
        if (c.knows(view.epoch)) return c.pos;
        if (c.rec != kNone) {
            const int p = posOf(c.rec);
            if (p >= 0) {
                c.place(c.rec, p, view.epoch);
                return p;
            }
        }
        moveToPos(std::clamp(c.pos, 0, n - 1));
        return c.pos;
    }
    const char* rowBytes() const {
        if (pending.editing()) return pending.buf.data();
        // The usual case: the cursor's row in a view that has not changed.
        if (viewCurrent() && cursor.knows(view.epoch)) return table->record(cursor.rec);
        if (currentPos() < 0) return nullptr;
        return table->record(cursor.rec);
    }
    // The records of the view in the order of the file (what a change of every row visits:
    // the whole table without reading it in the order of an index).
    void viewRecords(std::vector<std::uint32_t>& out) const {
        out.clear();
        const int n = count();
        out.reserve(static_cast<std::size_t>(n));
        if (!linked() && !filter.active()) {
            for (std::uint32_t r = 0; r < table->slots(); ++r) {
                if (table->live(r)) out.push_back(r);
            }
            return;
        }
        for (int p = 0; p < n; ++p) out.push_back(recInView(p));
        std::sort(out.begin(), out.end());
    }
    // The bytes of the row at a position of the view (the pending row where it is there).
    const char* rowAt(int position) const {
        // Another field of the row read last, in a view that has not changed.
        if (pending.state == DatasetState::Browse && position == lastAt.pos && viewCurrent() &&
            view.epoch == lastAt.epoch) {
            return table->record(lastAt.rec);
        }
        const int n = count();
        if (pending.state == DatasetState::Insert && position == n) return pending.buf.data();
        if (position < 0 || position >= n) fail("no tiene la fila " + std::to_string(position));
        // The fields of one row are mostly read one after another.
        if (position != lastAt.pos || view.epoch != lastAt.epoch) {
            // Rows read one after another in the order of an index lie anywhere in memory:
            // the one a few places ahead is fetched meanwhile.
            if (position == lastAt.pos + 1 && view.epoch == lastAt.epoch && position + 8 < n) {
                __builtin_prefetch(table->record(recInView(position + 8)));
            }
            lastAt = {position, view.epoch, recInView(position)};
        }
        const std::uint32_t rec = lastAt.rec;
        if (pending.state == DatasetState::Edit && rec == cursor.rec) return pending.buf.data();
        return table->record(rec);
    }

    // --- pending rows -----------------------------------------------------------------------
    void settle() {
        if (!pending.editing()) return;
        if (pending.changed) {
            post();
        } else {
            cancel();
        }
    }

    void post() {
        if (pending.state == DatasetState::Edit) {
            requireWritable();
            pending.state = DatasetState::Browse;
            try {
                table->update(cursor.rec, pending.buf.data());
            } catch (...) {
                pending.state = DatasetState::Edit;
                throw;
            }
            posted = cursor.rec;
        } else if (pending.state == DatasetState::Insert) {
            requireWritable();
            pending.state = DatasetState::Browse;
            std::uint32_t rec;
            try {
                rec = table->append(pending.buf.data());
            } catch (...) {
                pending.state = DatasetState::Insert;
                throw;
            }
            // Its position is found when it is next asked for.
            posted = rec;
            cursor.rec = rec;
            cursor.epoch = ~0ull;
            cursor.eof = cursor.bof = false;
        } else {
            return;
        }
        pending.changed = false;
        pending.buf.clear();
        if (!observers.none()) {
            currentPos();
            observers.current();
        }
    }

    void cancel() {
        if (!pending.editing()) return;
        const bool wasEdit = pending.state == DatasetState::Edit;
        pending.drop();
        if (observers.none()) return;
        if (wasEdit) {
            const int p = currentPos();
            if (p >= 0) observers.row(p);
        }
        observers.current();
    }

    void append() {
        requireWritable();
        settle();
        pending.buf = pending.blank;
        if (linked() && link.valid) {
            // A new row of a detail belongs to the master's current row.
            const int f = table->orderField(cursor.order);
            const auto& fd = table->fields()[static_cast<std::size_t>(f)];
            (void)dbf::encodeText(fd, pending.buf.data() + table->fieldOffset(f), link.text);
        }
        pending.state = DatasetState::Insert;
        pending.changed = false;
        observers.current();
    }

    // --- navigation -------------------------------------------------------------------------
    void goFirstQuietly() {
        if (count() == 0) {
            cursor.clear();
            cursor.eof = cursor.bof = true;
        } else {
            moveToPos(0);
            cursor.eof = cursor.bof = false;
        }
    }

    // A new view (index, link or filter): go to its first row and tell everyone.
    void viewChanged() {
        view.invalidate();
        goFirstQuietly();
        observers.reset();
        observers.current();
    }

    // --- master–detail ------------------------------------------------------------------------
    void readLink(bool& valid, std::uint32_t& rec, std::string& text) const {
        valid = false;
        rec = kNone;
        text.clear();
        if (!link.master || !link.master->isOpen()) return;
        auto* md = link.master->d_.get();
        if (md->pending.state == DatasetState::Insert) {
            valid = true;
        } else {
            if (md->currentPos() < 0) return;
            valid = true;
            rec = md->cursor.rec;
        }
        text = link.master->text(link.field);
    }

    void applyLink(bool valid, std::uint32_t rec, const std::string& text) {
        link.valid = valid;
        link.rec = rec;
        link.text = text;
        if (table && cursor.order > 0) link.key = table->keyFor(cursor.order, link.text);
    }

    void followMaster() {
        if (!table || !link.master) return;
        bool valid;
        std::uint32_t rec;
        std::string text;
        readLink(valid, rec, text);
        if (valid == link.valid && rec == link.rec && text == link.text) return;
        settle();
        applyLink(valid, rec, text);
        viewChanged();
    }

    void unlinkFromMaster() {
        if (!link.master) return;
        auto* md = link.master->d_.get();
        md->details.erase(std::remove(md->details.begin(), md->details.end(), this),
                          md->details.end());
        link.master->removeObserver(&watch);
        link.master = nullptr;
        link.field.clear();
        link.valid = false;
    }

    // --- table changes ----------------------------------------------------------------------
    void tableChanged(const TableChange& ch) override {
        // The view follows the table's versions by itself: only observers need telling.
        if (observers.none()) return;
        bool reset = ch.kind != TableChange::Kind::Updated;
        if (ch.kind == TableChange::Kind::FieldSet) {
            // Rows keep their places unless the field orders or filters them: the grids read
            // every row again either way.
            reset = true;
        } else if (!reset) {
            const char* now = table->record(ch.rec);
            auto differs = [&](int f) {
                const int off = table->fieldOffset(f);
                const int w = table->fields()[static_cast<std::size_t>(f)].width;
                return std::memcmp(ch.oldRecord + off, now + off, static_cast<std::size_t>(w)) != 0;
            };
            if (cursor.order > 0 && differs(table->orderField(cursor.order))) reset = true;
            if (filter.active() && differs(filter.field)) reset = true;
        }
        if (reset) {
            observers.reset();
            return;
        }
        const int p = posOf(ch.rec);
        if (p >= 0) observers.row(p);
    }

    // --- open / close -----------------------------------------------------------------------
    void close() {
        if (!table) return;
        if (pending.editing()) pending.drop();
        auto t = std::move(table);
        table.reset();
        pending.state = DatasetState::Inactive;
        posted = kNone;
        cursor.clear();
        cursor.eof = cursor.bof = true;
        cursor.order = 0;
        cursor.indexName.clear();
        view.invalidate();
        std::exception_ptr err;
        try {
            t->detach(this);
        } catch (...) {
            err = std::current_exception();
        }
        t.reset();
        auto ds = details;
        for (auto* d : ds) d->followMaster();
        observers.reset();
        observers.current();
        if (err) std::rethrow_exception(err);
    }
};

// ------------------------------------------------------------------------------------------

Dataset::Dataset() : d_(std::make_unique<Impl>()) {}

Dataset::~Dataset() {
    try {
        close();
    } catch (...) {
        // A destructor cannot report; what was written before stays readable.
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
    blankRecord(*d_->table, d_->pending.blank);
    d_->charSlots.clear();
    for (std::size_t i = 0; i < d_->table->fields().size(); ++i) {
        const FieldDef& f = d_->table->fields()[i];
        d_->charSlots.push_back(
            {static_cast<std::uint32_t>(d_->table->fieldOffset(static_cast<int>(i))),
             f.type == FieldType::Character ? static_cast<std::uint32_t>(f.width) : 0u});
    }
    d_->openMode = mode;
    d_->pending.state = DatasetState::Browse;
    d_->cursor.order = 0;
    d_->cursor.indexName.clear();
    try {
        d_->filter.parse(d_->table.get(), d_->name());
    } catch (...) {
        d_->filter.field = -1;
    }
    d_->view.invalidate();
    d_->goFirstQuietly();
    d_->observers.reset();
    d_->observers.current();
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

int Dataset::requireField(std::string_view name) const { return d_->fieldNo(name); }

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
    d_->cursor.order = o;
    d_->cursor.indexName = o ? d_->table->orderName(o) : std::string();
    if (d_->linked()) d_->applyLink(d_->link.valid, d_->link.rec, d_->link.text);
    d_->viewChanged();
}

const std::string& Dataset::indexName() const { return d_->cursor.indexName; }

std::vector<std::string> Dataset::indexNames() const {
    return d_->table ? d_->table->indexNames() : std::vector<std::string>{};
}

void Dataset::first() {
    d_->requireOpen();
    d_->settle();
    d_->goFirstQuietly();
    d_->observers.current();
}

void Dataset::last() {
    d_->requireOpen();
    d_->settle();
    const int n = d_->count();
    if (n == 0) {
        d_->goFirstQuietly();
    } else {
        d_->moveToPos(n - 1);
        d_->cursor.eof = d_->cursor.bof = false;
    }
    d_->observers.current();
}

void Dataset::next() {
    d_->requireOpen();
    d_->settle();
    const int n = d_->count();
    const int p = d_->currentPos();
    if (n == 0) {
        d_->cursor.eof = d_->cursor.bof = true;
    } else if (p + 1 >= n) {
        d_->cursor.eof = true;
        d_->cursor.bof = false;
    } else {
        d_->moveToPos(p + 1);
        d_->cursor.eof = d_->cursor.bof = false;
    }
    d_->observers.current();
}

void Dataset::prior() {
    d_->requireOpen();
    d_->settle();
    const int n = d_->count();
    const int p = d_->currentPos();
    if (n == 0) {
        d_->cursor.eof = d_->cursor.bof = true;
    } else if (p <= 0) {
        d_->cursor.bof = true;
        d_->cursor.eof = false;
    } else {
        d_->moveToPos(p - 1);
        d_->cursor.eof = d_->cursor.bof = false;
    }
    d_->observers.current();
}

bool Dataset::eof() const { return !d_->table || d_->cursor.eof || d_->count() == 0; }
bool Dataset::bof() const { return !d_->table || d_->cursor.bof || d_->count() == 0; }
bool Dataset::isEmpty() const { return d_->count() == 0; }
int Dataset::recordCount() const { return d_->count(); }

int Dataset::position() const {
    if (!d_->table) return -1;
    if (d_->pending.state == DatasetState::Insert) return d_->count();
    return d_->currentPos();
}

void Dataset::moveTo(int position) {
    d_->requireOpen();
    d_->settle();
    const int n = d_->count();
    if (n == 0) {
        d_->goFirstQuietly();
    } else {
        d_->moveToPos(std::clamp(position, 0, n - 1));
        d_->cursor.eof = d_->cursor.bof = false;
    }
    d_->observers.current();
}

bool Dataset::findKey(std::string_view value) {
    d_->requireOpen();
    if (d_->cursor.order == 0) d_->fail("no tiene un índice seleccionado");
    auto find = [&]() -> int {
        const auto& ix = d_->idx();
        if (ix.kind() == OrderedIndex::Kind::Number && !trimSpaces(value).empty() &&
            !dbf::parseNumber(value)) {
            return -1;
        }
        const OrderedIndex::Key key = d_->table->keyFor(d_->cursor.order, value);
        d_->ensureView();
        if (!d_->filter.active()) {
            // Equal keys lie together: inside the view, or (another key than a link's) outside.
            const int p = ix.find(key);
            if (p < d_->view.lo || p >= d_->view.hi) return -1;
            return p - d_->view.lo;
        }
        const int p = std::max(d_->view.lo, ix.lowerBound(key));
        if (p >= d_->view.hi) return -1;
        const auto& fp = d_->view.filtered;
        auto it = std::lower_bound(fp.begin(), fp.end(), p);
        if (it == fp.end() || !ix.keyAt(*it, key)) return -1;
        return static_cast<int>(it - fp.begin());
    };
    int p = find();
    if (p < 0) return false;
    if (d_->pending.editing()) {
        d_->settle();  // storing the pending row may move rows: search again
        p = find();
        if (p < 0) {
            d_->observers.current();
            return false;
        }
    }
    d_->moveToPos(p);
    d_->cursor.eof = d_->cursor.bof = false;
    d_->observers.current();
    return true;
}

DatasetState Dataset::state() const { return d_->pending.state; }
bool Dataset::modified() const { return d_->pending.changed; }

void Dataset::edit() {
    d_->requireWritable();
    if (d_->pending.editing()) return;
    if (d_->currentPos() < 0) {
        d_->append();
        return;
    }
    const char* row = d_->table->record(d_->cursor.rec);
    d_->pending.buf.assign(row, row + d_->table->recordLength());
    d_->pending.state = DatasetState::Edit;
    d_->pending.changed = false;
    d_->observers.current();
}

void Dataset::append() { d_->append(); }
void Dataset::post() {
    d_->requireOpen();
    d_->post();
}
void Dataset::cancel() { d_->cancel(); }

void Dataset::remove() {
    d_->requireOpen();
    if (d_->pending.state == DatasetState::Insert) {
        d_->cancel();
        return;
    }
    d_->requireWritable();
    if (d_->pending.state == DatasetState::Edit) d_->cancel();
    const int p = d_->currentPos();
    if (p < 0) d_->fail("está vacía");
    const bool wasLast = p == d_->count() - 1;
    d_->table->remove(d_->cursor.rec);
    const int n = d_->count();
    if (n == 0) {
        d_->goFirstQuietly();
    } else {
        d_->moveToPos(std::min(p, n - 1));
        d_->cursor.eof = wasLast;
        d_->cursor.bof = false;
    }
    d_->observers.current();
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
            char* dst = d_->pending.buf.data() + t.fieldOffset(static_cast<int>(i));
            if (fs[i].type == FieldType::Character) {
                const std::size_t n =
                    std::min<std::size_t>(static_cast<std::size_t>(fs[i].width), values[i].size());
                copyShort(dst, values[i].data(), n);
                continue;
            }
            checkEncode(dbf::encodeText(fs[i], dst, values[i]), *this, fs[i], values[i]);
        }
        d_->pending.changed = true;
        d_->post();
    } catch (...) {
        d_->cancel();
        throw;
    }
}

std::uint32_t Dataset::setTextOnAll(int fieldNo, std::string_view value) {
    d_->checkField(fieldNo);
    d_->requireWritable();
    d_->settle();
    const auto& f = d_->table->fields()[static_cast<std::size_t>(fieldNo)];
    std::vector<char> bytes(d_->pending.blank.begin() + d_->table->fieldOffset(fieldNo),
                            d_->pending.blank.begin() + d_->table->fieldOffset(fieldNo) + f.width);
    checkEncode(dbf::encodeText(f, bytes.data(), value), *this, f, value);
    if (f.width <= 0) return 0;  // a field of no bytes (another program's table) holds nothing
    std::vector<std::uint32_t> recs;
    d_->viewRecords(recs);
    const std::uint32_t changed = d_->table->setField(recs, fieldNo, bytes.data());
    if (changed > 0) d_->observers.current();
    return changed;
}

std::uint32_t Dataset::removeWhere(int fieldNo, std::string_view value) {
    d_->checkField(fieldNo);
    d_->requireWritable();
    d_->settle();
    const Table& t = *d_->table;
    const auto& f = t.fields()[static_cast<std::size_t>(fieldNo)];
    const int off = t.fieldOffset(fieldNo);
    std::vector<std::uint32_t> recs;
    d_->viewRecords(recs);
    std::vector<std::uint32_t> gone;
    for (std::uint32_t rec : recs) {
        const char* p = t.record(rec) + off;
        if (f.type == FieldType::Character) {
            std::string_view v(p, static_cast<std::size_t>(f.width));
            while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
            if (v == value) gone.push_back(rec);
        } else if (dbf::decodeText(f, p) == value) {
            gone.push_back(rec);
        }
    }
    if (gone.empty()) return 0;
    d_->table->removeMany(gone);
    d_->goFirstQuietly();
    d_->observers.current();
    return static_cast<std::uint32_t>(gone.size());
}

std::string Dataset::text(std::string_view field) const { return text(d_->fieldNo(field)); }

std::string Dataset::text(int fieldNo) const {
    d_->checkField(fieldNo);
    const char* row = d_->rowBytes();
    if (!row) return {};
    const auto& f = d_->table->fields()[static_cast<std::size_t>(fieldNo)];
    const char* p = row + d_->table->fieldOffset(fieldNo);
    if (f.type == FieldType::Character) {
        return std::string(trimmedRight(p, static_cast<std::size_t>(f.width)));
    }
    return dbf::decodeText(f, p);
}

std::string_view Dataset::textView(int fieldNo) const {
    d_->checkField(fieldNo);
    const char* row = d_->rowBytes();
    if (!row) return {};
    const auto& f = d_->table->fields()[static_cast<std::size_t>(fieldNo)];
    return trimmedRight(row + d_->table->fieldOffset(fieldNo), static_cast<std::size_t>(f.width));
}

double Dataset::number(std::string_view field) const {
    const int f = d_->fieldNo(field);
    const char* row = d_->rowBytes();
    if (!row) return 0;
    const auto& fd = d_->table->fields()[static_cast<std::size_t>(f)];
    return dbf::decodeNumber(fd, row + d_->table->fieldOffset(f)).value_or(0.0);
}

std::int64_t Dataset::integer(std::string_view field) const {
    const double v = number(field);
    if (v >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
    if (v <= -9.2e18) return std::numeric_limits<std::int64_t>::min();
    return std::llround(v);
}

bool Dataset::logical(std::string_view field) const { return text(field) == "T"; }

void Dataset::setText(std::string_view field, std::string_view value) {
    setText(d_->fieldNo(field), value);
}

namespace {
// A character field's bytes from `value`: cut to the width, padded with spaces.
inline void putCharacters(char* dst, std::size_t w, std::string_view value) {
    // The whole width in spaces (whole words, the last one overlapping), then the value over it.
    constexpr std::uint64_t kSpaces = 0x2020202020202020ULL;
    if (w >= 8) {
        for (std::size_t i = 0; i + 8 <= w; i += 8) std::memcpy(dst + i, &kSpaces, 8);
        std::memcpy(dst + w - 8, &kSpaces, 8);
    } else if (w >= 4) {
        std::memcpy(dst, &kSpaces, 4);
        std::memcpy(dst + w - 4, &kSpaces, 4);
    } else if (w >= 2) {
        std::memcpy(dst, &kSpaces, 2);
        std::memcpy(dst + w - 2, &kSpaces, 2);
    } else if (w == 1) {
        dst[0] = ' ';
    }
    copyShort(dst, value.data(), std::min(w, value.size()));
}
}  // namespace

void Dataset::setTexts(std::initializer_list<std::pair<int, std::string_view>> values) {
    Impl& d = *d_;
    if (!(d.table && d.pending.editing() && d.observers.none())) {
        for (const auto& [f, v] : values) setText(f, v);
        return;
    }
    for (const auto& [f, v] : values) {
        const auto k = static_cast<std::size_t>(f);
        if (f < 0 || k >= d.charSlots.size() || d.charSlots[k].width == 0) {
            setTextChecked(f, v);
            continue;
        }
        putCharacters(d.pending.buf.data() + d.charSlots[k].offset, d.charSlots[k].width, v);
        d.pending.changed = true;
    }
}

void Dataset::setText(int fieldNo, std::string_view value) {
    Impl& d = *d_;
    // A character field of a row being edited, nobody following it: the usual case, done here;
    // everything else (and every error) in setTextChecked.
    if (d.table && d.pending.editing() && d.observers.none() && fieldNo >= 0 &&
        static_cast<std::size_t>(fieldNo) < d.charSlots.size()) [[likely]] {
        const Impl::CharSlot slot = d.charSlots[static_cast<std::size_t>(fieldNo)];
        if (slot.width != 0) [[likely]] {
            putCharacters(d.pending.buf.data() + slot.offset, slot.width, value);
            d.pending.changed = true;
            return;
        }
    }
    setTextChecked(fieldNo, value);
}

void Dataset::setTextChecked(int fieldNo, std::string_view value) {
    d_->checkField(fieldNo);
    d_->requireEditing();
    const auto& f = d_->table->fields()[static_cast<std::size_t>(fieldNo)];
    char* dst = d_->pending.buf.data() + d_->table->fieldOffset(fieldNo);
    checkEncode(dbf::encodeText(f, dst, value), *this, f, value);
    d_->pending.changed = true;
    if (d_->pending.state == DatasetState::Edit && !d_->observers.none()) {
        const int p = d_->currentPos();
        if (p >= 0) d_->observers.row(p);
    }
}

void Dataset::setNumber(std::string_view field, double value) {
    const int fn = d_->fieldNo(field);
    d_->requireEditing();
    const auto& f = d_->table->fields()[static_cast<std::size_t>(fn)];
    checkEncode(dbf::encodeNumber(f, d_->pending.buf.data() + d_->table->fieldOffset(fn), value),
                *this, f, dbf::formatNumber(value));
    d_->pending.changed = true;
}

void Dataset::setInteger(std::string_view field, std::int64_t value) {
    const int fn = d_->fieldNo(field);
    d_->requireEditing();
    const auto& f = d_->table->fields()[static_cast<std::size_t>(fn)];
    checkEncode(dbf::encodeInteger(f, d_->pending.buf.data() + d_->table->fieldOffset(fn), value),
                *this, f, std::to_string(value));
    d_->pending.changed = true;
}

void Dataset::setLogical(std::string_view field, bool value) { setText(field, value ? "T" : "F"); }

std::string Dataset::textAt(int position, int fieldNo) const {
    d_->checkField(fieldNo);
    const auto& f = d_->table->fields()[static_cast<std::size_t>(fieldNo)];
    return dbf::decodeText(f, d_->rowAt(position) + d_->table->fieldOffset(fieldNo));
}

std::string_view Dataset::textViewAt(int position, int fieldNo) const {
    d_->checkField(fieldNo);
    const auto& f = d_->table->fields()[static_cast<std::size_t>(fieldNo)];
    return trimmedRight(d_->rowAt(position) + d_->table->fieldOffset(fieldNo),
                        static_cast<std::size_t>(f.width));
}

Dataset::FieldSlice Dataset::slice(int fieldNo) const {
    d_->checkField(fieldNo);
    const auto& f = d_->table->fields()[static_cast<std::size_t>(fieldNo)];
    return {static_cast<std::uint32_t>(d_->table->fieldOffset(fieldNo)),
            static_cast<std::uint32_t>(f.width)};
}

const char* Dataset::rowAt(int position) const {
    d_->requireOpen();
    return d_->rowAt(position);
}

std::vector<Bookmark> Dataset::bookmarks() const {
    std::vector<Bookmark> out;
    if (!d_->table) return out;
    const int n = d_->count();
    out.reserve(static_cast<std::size_t>(n));
    if (d_->identity()) {
        for (int p = 0; p < n; ++p) out.push_back(static_cast<Bookmark>(p));
    } else if (!d_->filter.active()) {
        // The whole order in one walk of its chunks, then the view's stretch of it.
        std::vector<std::uint32_t> all;
        d_->idx().recordsInOrder(all);
        const auto lo = static_cast<std::size_t>(d_->view.lo);
        out.assign(all.begin() + static_cast<std::ptrdiff_t>(lo),
                   all.begin() + static_cast<std::ptrdiff_t>(lo + static_cast<std::size_t>(n)));
    } else {
        for (int p = 0; p < n; ++p) out.push_back(d_->recInView(p));
    }
    return out;
}

const char* Dataset::rowOf(Bookmark b) const {
    d_->requireOpen();
    if (b >= d_->table->slots()) d_->fail("no tiene el marcador " + std::to_string(b));
    if (d_->pending.state == DatasetState::Edit && b == d_->cursor.rec)
        return d_->pending.buf.data();
    return d_->table->record(b);
}

int Dataset::positionOf(Bookmark b) const { return d_->table ? d_->posOf(b) : -1; }

Bookmark Dataset::bookmarkAt(int position) const {
    d_->requireOpen();
    if (position < 0 || position >= d_->count()) {
        d_->fail("no tiene la fila " + std::to_string(position));
    }
    return d_->recAt(position);
}

static_assert(kNoBookmark == kNone);

Bookmark Dataset::postedBookmark() const { return d_->table ? d_->posted : kNoBookmark; }

Bookmark Dataset::bookmark() const {
    d_->requireOpen();
    if (d_->currentPos() < 0) d_->fail("está vacía");
    return d_->cursor.rec;
}

bool Dataset::bookmarkValid(Bookmark b) const { return d_->table && d_->posOf(b) >= 0; }

void Dataset::gotoBookmark(Bookmark b) {
    d_->requireOpen();
    auto invalid = [&]() { d_->fail("no tiene el marcador " + std::to_string(b)); };
    if (!bookmarkValid(b)) invalid();
    d_->settle();
    const int p = d_->posOf(b);
    if (p < 0) invalid();
    d_->moveToPos(p);
    d_->cursor.eof = d_->cursor.bof = false;
    d_->observers.current();
}

void Dataset::setMaster(Dataset* master, std::string masterField) {
    d_->requireOpen();
    if (master == this) d_->fail("no puede ser su propia tabla maestra");
    if (master) {
        if (d_->cursor.order == 0) d_->fail("necesita un índice para enlazarse a otra tabla");
        if (master->isOpen() && master->fieldIndex(masterField) < 0) {
            throw EngineError("El campo " + masterField + " no existe en la tabla " +
                              master->tableName());
        }
    }
    d_->settle();
    d_->unlinkFromMaster();
    if (master) {
        d_->link.master = master;
        d_->link.field = std::move(masterField);
        master->addObserver(&d_->watch);
        master->d_->details.push_back(d_.get());
        bool valid;
        std::uint32_t rec;
        std::string text;
        d_->readLink(valid, rec, text);
        d_->applyLink(valid, rec, text);
    }
    d_->viewChanged();
}

Dataset* Dataset::master() const { return d_->link.master; }

void Dataset::setFilter(std::string_view condition) {
    const parts::RowFilter old = d_->filter;
    d_->filter.text = std::string(condition);
    try {
        d_->filter.parse(d_->table.get(), d_->name());
    } catch (...) {
        d_->filter = old;
        throw;
    }
    if (d_->table && d_->filter.on) {
        d_->settle();
        d_->viewChanged();
    }
}

const std::string& Dataset::filter() const { return d_->filter.text; }

void Dataset::setFiltered(bool on) {
    if (on == d_->filter.on) return;
    if (d_->table) d_->settle();
    d_->filter.on = on;
    if (d_->table) d_->viewChanged();
}

bool Dataset::filtered() const { return d_->filter.on; }

void Dataset::flush() {
    d_->requireOpen();
    d_->table->flush();
}

void Dataset::disableControls() { d_->observers.disable(); }
void Dataset::enableControls() { d_->observers.enable(); }
bool Dataset::controlsDisabled() const { return d_->observers.disabled(); }

void Dataset::addObserver(DatasetObserver* o) { d_->observers.add(o); }
void Dataset::removeObserver(DatasetObserver* o) { d_->observers.remove(o); }

// --- row readers ------------------------------------------------------------------------------

RowReader::RowReader(const Dataset& ds, const std::vector<int>& fields)
    : ds_(ds), decoded_(fields.size()) {
    for (int f : fields) {
        const Dataset::FieldSlice slice = ds.slice(f);
        const FieldDef& def = ds.fields()[static_cast<std::size_t>(f)];
        fields_.push_back({f, def.type == FieldType::Character, slice, &def});
    }
}

std::string_view RowReader::other(std::size_t i) {
    const Field& f = fields_[i];
    // A plain whole number reads as its own bytes (most numeric fields); others are decoded.
    if (const auto plain = dbf::plainNumber(*f.def, row_ + f.slice.offset)) return *plain;
    return decoded_[i] = ds_.textAt(position_, f.no);
}

// --- write batches ----------------------------------------------------------------------------

WriteBatch::WriteBatch(std::initializer_list<Dataset*> datasets) {
    try {
        for (Dataset* ds : datasets) {
            if (!ds || !ds->d_->table) continue;
            auto t = ds->d_->table;
            if (std::any_of(tables_.begin(), tables_.end(),
                            [&](const std::weak_ptr<Table>& w) { return w.lock() == t; })) {
                continue;
            }
            t->beginBatch();
            tables_.push_back(t);
        }
    } catch (...) {
        end(false);
        throw;
    }
}

WriteBatch::~WriteBatch() { end(false); }

void WriteBatch::commit() { end(true); }

void WriteBatch::end(bool report) {
    std::exception_ptr first;
    auto tables = std::move(tables_);
    tables_.clear();
    for (auto& w : tables) {
        auto t = w.lock();
        if (!t) continue;  // closed meanwhile: its last dataset wrote it
        try {
            t->endBatch();
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    }
    if (first && report) std::rethrow_exception(first);
}

}  // namespace tz::tables
