#pragma once
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tables/EngineError.h"
#include "tables/FieldDef.h"

namespace tz::tables {

// `n` bytes at `p` without their trailing spaces, eight at a time where it can.
inline std::string_view trimmedRight(const char* p, std::size_t n) {
    constexpr std::uint64_t kSpaces = 0x2020202020202020ULL;
    while (n >= 8) {
        std::uint64_t w;
        std::memcpy(&w, p + n - 8, 8);
        if (w != kSpaces) break;
        n -= 8;
    }
    while (n > 0 && p[n - 1] == ' ') --n;
    return {p, n};
}

class Table;  // one per open file in the process, shared by every Dataset over that file

enum class OpenMode {
    Shared,     // read-write; other processes may open it shared too; each post reaches the file
    Exclusive,  // read-write; no other process may open it; writes may be batched until close/flush
    ReadOnly    // shared lock, no writes
};

enum class DatasetState { Inactive, Browse, Edit, Insert };

// A bookmark is the physical record number (0-based) of a row.
using Bookmark = std::uint32_t;
inline constexpr Bookmark kNoBookmark = ~Bookmark{0};  // no row

// Change notifications, for Qt models and other views that follow a Dataset. No Qt here.
// Positions are 0-based within the observed dataset's view (current index, link and filter).
// An observer must be removed (removeObserver) before it is destroyed, or outlive the dataset.
class DatasetObserver {
  public:
    virtual ~DatasetObserver() = default;
    // The view's rows changed in number or order (append, delete, key edit, index, link or
    // filter change, master moved, open/close): re-read everything.
    virtual void viewReset() {}
    // The values of the row at this position changed; the row did not move.
    virtual void rowChanged(int /*position*/) {}
    // The current row, or the dataset state, changed.
    virtual void currentChanged() {}
};

// One cursor over a table, with the semantics of a classic dataset.
//
// Rows are visited in the order of the current index (byte order of the key, equal keys in
// record order; numeric keys by value), or in physical order when no index is selected.
// Deleted rows are never visible. A master link and a filter narrow the view further.
//
// Field values are bytes (Windows-1252 text) carried unchanged. On an empty view (no current
// row, not editing) the field reads give "" (text, textView), 0 (number, integer) and false
// (logical); they still throw for a field the table lacks.
//
// Writes: a table opened shared is written through at each post, so another program sees every
// stored row at once; a table held exclusively, or one in a WriteBatch (below), keeps its
// changes in memory until flush(), the end of the batch, or its last dataset closing. Every
// dataset over the file in this process sees them at once either way.
//
// Lifetimes: a master must outlive its details or be unlinked first (setMaster(nullptr, "")),
// and an observer must outlive the dataset or be removed first; a dataset being destroyed
// unlinks its details and its own master.
//
// Every method that fails throws EngineError with a Spanish text naming the table.
class Dataset {
  public:
    Dataset();
    // Closes as close() does, but a failure to write is not reported: the changes of a table
    // held exclusively or batched that could not be written are lost, and the file holds what
    // was written before (its header counting exactly the rows on disk).
    ~Dataset();
    Dataset(const Dataset&) = delete;
    Dataset& operator=(const Dataset&) = delete;

    // Opens the table file. ".DBF" is added when the name has no extension; an existing file is
    // found without regard to letter case. Throws when the file is missing, is not a dBase
    // table, or is held by another program in a conflicting mode. The cursor is on the first
    // row, state Browse, no index selected.
    void open(const std::filesystem::path& file, OpenMode mode = OpenMode::Shared);
    // Drops a pending edit or insert (like cancel()) and releases the table. When this was the
    // last dataset over a table held exclusively or batched, its changes are written first;
    // when that fails, close() throws EngineError all the same after closing: the changes not
    // written are lost, the file keeps what was written before it, its header counting exactly
    // the rows on disk, and the dataset is closed.
    void close();
    bool isOpen() const;
    OpenMode mode() const;
    const std::filesystem::path& path() const;  // the file as found on disk
    std::string tableName() const;              // base name as on disk, e.g. "PROFT"

    // Field definitions in order.
    const std::vector<FieldDef>& fields() const;
    // Position of the field (letter case ignored) or -1.
    int fieldIndex(std::string_view name) const;
    // Position of the field; throws EngineError "El campo NAME no existe en la tabla T" when
    // the table lacks it (or the dataset is closed).
    int requireField(std::string_view name) const;

    // Index selection. "" = physical order. Throws for an index the table does not have.
    // The cursor goes to the first row of the new order. Pending edits are stored first.
    void setIndex(std::string_view name);
    const std::string& indexName() const;
    std::vector<std::string> indexNames() const;

    // Navigation. Each move first settles a pending row: a modified row is posted, an untouched
    // edit is cancelled, an untouched new row is dropped. first() and last() clear eof() and
    // bof() unless the view is empty (then both are true).
    void first();
    void next();   // past the last row: eof() true, the cursor stays on the last row
    void prior();  // before the first row: bof() true, the cursor stays on the first row
    void last();
    bool eof() const;
    bool bof() const;
    bool isEmpty() const;
    int recordCount() const;  // rows in the view
    // 0-based position of the current row in the view, -1 when empty. In Insert state the new
    // row counts as sitting after the last row: position() == recordCount().
    int position() const;
    void moveTo(int position);  // clamps to the view

    // Moves to the first row of the view whose current-index field equals `value` (character
    // keys compared space-padded to the field width; numeric keys by value). Returns false and
    // leaves the cursor where it was when there is none. Throws when no index is selected.
    bool findKey(std::string_view value);

    // Editing.
    DatasetState state() const;
    bool modified() const;  // a field was set since edit()/append()
    // Browse → Edit on the current row; on an empty view it begins a new row (as append()).
    // In Edit or Insert it does nothing.
    void edit();
    // Begins a new empty row (state Insert), appended at the end of the table when posted.
    void append();
    // Stores the pending row (Edit or Insert). In Browse it does nothing.
    void post();
    // Drops the pending changes; a new row disappears.
    void cancel();
    // Deletes the current row (marked deleted on disk); the next row becomes current, or the
    // new last row with eof() true when the deleted row was the last. In Insert state it drops
    // the new row; in Edit state the changes are dropped first. Throws on an empty view.
    void remove();
    // Appends and stores one row from values in field order (fewer values leave the rest empty).
    void appendRecord(const std::vector<std::string>& values);
    // Sets the field to `value` on every row of the view and stores each row it changes, as
    // edit(), setText() and post() on each would (a pending row is settled first), with one
    // notification. Returns how many rows changed. The cursor stays on its row.
    std::uint32_t setTextOnAll(int fieldNo, std::string_view value);
    // Deletes every row of the view whose field reads `value` (as text() reads it), as remove()
    // on each would, with one notification. Returns how many rows went. The cursor goes to the
    // first row.
    std::uint32_t removeWhere(int fieldNo, std::string_view value);

    // Field values of the current row (the pending values while editing).
    // Character: trailing spaces removed. Numeric/Float: the shortest decimal text ("1", "2.5",
    // "" when blank). Logical: "T", "F" or "". Date: "YYYYMMDD" or "". Memo: "".
    std::string text(std::string_view field) const;
    std::string text(int fieldNo) const;
    // text() of a character field without a copy: valid until the cursor moves, the pending row
    // changes or the table changes. Other field types give their bytes as stored, trailing
    // spaces removed (use text for their decoded value).
    std::string_view textView(int fieldNo) const;
    double number(std::string_view field) const;         // blank or junk → 0
    std::int64_t integer(std::string_view field) const;  // rounded to nearest
    bool logical(std::string_view field) const;
    // Setters need state Edit or Insert (else EngineError "... no está en modo de edición").
    // Character values are cut to the field width; numeric text is parsed (junk → EngineError).
    void setText(std::string_view field, std::string_view value);
    void setText(int fieldNo, std::string_view value);
    // setText of several fields in turn, in one call (a step that fills rows by the thousand).
    void setTexts(std::initializer_list<std::pair<int, std::string_view>> values);
    void setNumber(std::string_view field, double value);
    void setInteger(std::string_view field, std::int64_t value);
    void setLogical(std::string_view field, bool value);

    // Reading any row of the view without moving the cursor (for grids). The current row reads
    // its pending values; in Insert state position recordCount() reads the new row. Throws for
    // a position outside the view.
    std::string textAt(int position, int fieldNo) const;
    // textAt of a character field without a copy: its bytes with trailing spaces removed, valid
    // until the row, the pending row or the table changes. Other field types give their bytes
    // as stored, trailing spaces removed (use textAt for their decoded value).
    std::string_view textViewAt(int position, int fieldNo) const;
    Bookmark bookmarkAt(int position) const;

    // Where a field lies within a row's bytes, and a row's bytes by position: for readers that
    // take many fields of many rows, one look-up per row instead of one per field.
    // slice(f).in(rowAt(p)) == textViewAt(p, f), valid as long as that is.
    struct FieldSlice {
        std::uint32_t offset = 0, width = 0;
        std::string_view in(const char* row) const { return trimmedRight(row + offset, width); }
    };
    FieldSlice slice(int fieldNo) const;  // throws for a field the table lacks
    const char* rowAt(int position) const;
    // The bookmarks of the view's rows in order, position 0 first: bookmarkAt of every
    // position in one walk. With rowOf, a reader of every row looks up none of them.
    std::vector<Bookmark> bookmarks() const;
    // The bytes of the row of a bookmark (the pending row while it is that row's), valid as
    // rowAt's are. Throws for a bookmark beyond the table; a deleted row gives its bytes.
    const char* rowOf(Bookmark b) const;

    // Position of that row in the view, -1 when it is deleted or not in the view.
    int positionOf(Bookmark b) const;

    // Bookmarks.
    Bookmark bookmark() const;  // throws on an empty view
    // The row the last post() stored, new or edited, whatever the view shows now: what
    // bookmark() gives right after the post, without finding the row's place in the view.
    // kNoBookmark before any post since the table opened.
    Bookmark postedBookmark() const;
    // Goes to that row; throws when the row is deleted or not in the view.
    void gotoBookmark(Bookmark b);
    bool bookmarkValid(Bookmark b) const;

    // Master–detail: the view holds only rows whose current-index field equals the master's
    // field `masterField` on the master's current row, and follows the master as it moves
    // (going to the first matching row). nullptr removes the link. The detail must have an
    // index selected while linked.
    void setMaster(Dataset* master, std::string masterField);
    Dataset* master() const;

    // Filter of the form FIELD = 'value' (a quote inside the value doubled). An empty
    // condition accepts every row. Throws for a malformed condition or unknown field.
    void setFilter(std::string_view condition);
    const std::string& filter() const;
    void setFiltered(bool on);
    bool filtered() const;

    // Writes the changes kept in memory (a table held exclusively or batched) now. Throws
    // EngineError; what could not be written stays kept for the next flush or close.
    void flush();

    void addObserver(DatasetObserver* o);
    void removeObserver(DatasetObserver* o);

    // Between disableControls and the matching enableControls (they nest) the observers, and so
    // the grids and the details linked to this dataset, are not told of moves and changes;
    // enableControls then tells them once (a reset if the view changed, else the rows that
    // changed, and the current row). For long scans of a dataset that a window shows.
    void disableControls();
    void enableControls();
    bool controlsDisabled() const;

    struct Impl;

  private:
    friend class WriteBatch;
    void setTextChecked(int fieldNo, std::string_view value);
    std::unique_ptr<Impl> d_;
};

// Reads chosen fields of a dataset's rows by position, each as textAt reads it, looking the row
// up once rather than once per field: character fields in place, others decoded into a buffer
// of their own. A value is valid until the next row() or until the row or the table changes.
class RowReader {
  public:
    RowReader(const Dataset& ds, const std::vector<int>& fields);
    void row(int position) {
        position_ = position;
        row_ = ds_.rowAt(position);
    }
    // The same row by its bookmark (Dataset::bookmarks), without looking its position up.
    void row(int position, Bookmark b) {
        position_ = position;
        row_ = ds_.rowOf(b);
    }
    const char* bytes() const { return row_; }  // the row's bytes (Dataset::rowAt)
    std::string_view operator[](std::size_t i) {
        const Field& f = fields_[i];
        if (f.character) return f.slice.in(row_);
        return other(i);
    }

  private:
    std::string_view other(std::size_t i);
    struct Field {
        int no = 0;
        bool character = false;
        Dataset::FieldSlice slice;
        const FieldDef* def = nullptr;
    };
    const Dataset& ds_;
    std::vector<Field> fields_;
    std::vector<std::string> decoded_;
    const char* row_ = nullptr;
    int position_ = 0;
};

// Batches the writes of the tables of some open datasets for as long as it lives (a step that
// stores many rows): a table opened shared then keeps its changes in memory, when this process
// holds the table's folder (holdFolder, as every job does), and writes them all at the end in
// a few large writes. Meanwhile another program reading the file sees the table as it was
// before the batch (the header counting exactly the rows on disk) and no other writer can
// append; once the batch ends it sees every stored row. The order of the writes keeps a crash
// at any moment from leaving a row the header does not count (see Table::beginBatch). Tables
// held exclusively, and tables outside the held folder, are written as they would be anyway.
class WriteBatch {
  public:
    // Throws EngineError when a table cannot be batched (another program keeps its append byte
    // locked, the table is damaged); nothing is batched then.
    explicit WriteBatch(std::initializer_list<Dataset*> datasets);
    // Writes what is still batched; a failure is not reported (the rows not written are lost
    // when their tables close). Call commit() to hear of it.
    ~WriteBatch();
    WriteBatch(const WriteBatch&) = delete;
    WriteBatch& operator=(const WriteBatch&) = delete;

    // Writes everything now and ends the batch; throws EngineError naming the first table
    // that could not be written (whose changes stay in memory until it closes).
    void commit();

  private:
    void end(bool report);
    std::vector<std::weak_ptr<Table>> tables_;
};

}  // namespace tz::tables
