#pragma once
// The parts a Dataset is made of, each with its own state and rules: the observers it tells,
// the filter it applies, the link to its master, the view it works out from those, the cursor
// within that view and the row being edited. Dataset.cpp ties them together; nothing outside
// the engine uses this header.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "tables/Dataset.h"
#include "tables/OrderedIndex.h"

namespace tz::tables {
class Table;
}

namespace tz::tables::parts {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

// Who follows the dataset, and what controls-off held back from them.
class Observers {
  public:
    void add(DatasetObserver* o);
    void remove(DatasetObserver* o);
    // Nobody to tell: the dataset can skip working out what changed.
    bool none() const { return list_.empty(); }

    void reset();
    void current();
    void row(int position);

    // disableControls / enableControls: they nest; the last enable tells what was held back,
    // once (a reset if the view changed, else the rows that changed, and the current row).
    void disable() { ++off_; }
    void enable();
    bool disabled() const { return off_ > 0; }

  private:
    template <class F>
    void tell(F f);
    void tellHeld();

    std::vector<DatasetObserver*> list_;
    int off_ = 0;
    bool heldReset_ = false, heldCurrent_ = false;
    std::vector<int> heldRows_;
};

// A condition FIELD = 'value' (a quote inside the value doubled); empty accepts every row.
struct RowFilter {
    std::string text;
    int field = -1;     // -1: no condition (empty, or not parsed against a table yet)
    std::string value;  // trailing spaces removed, compared with the field's text
    bool on = false;

    bool active() const { return on && field >= 0; }
    // Parses `text` against the table's fields (table null: leaves it unparsed). Throws
    // EngineError for a malformed condition or an unknown field, leaving the filter as it was.
    void parse(const Table* table, const std::string& tableName);
    bool accepts(const Table& table, std::uint32_t rec) const;
};

// A detail's link to its master: the master's field and what it held when last looked at.
struct MasterLink {
    Dataset* master = nullptr;
    std::string field;
    bool valid = false;  // the master has a current (or new) row
    std::uint32_t rec = kNone;
    std::string text;
    OrderedIndex::Key key;  // `text` as a key of the detail's current index
};

// Which entries of the current order the view holds: the range of the master's key (or all of
// them), narrowed by the filter to `filtered`. Worked out again whenever what it depends on has
// changed: the dataset's own settings (`generation`), the table's structure, and for a filter
// the table's data.
struct ViewCache {
    std::uint64_t generation = 0;  // bumped by index, link and filter changes, open and close
    const Table* table = nullptr;
    std::uint64_t forGeneration = ~0ull, forStructure = ~0ull, forData = ~0ull;
    int lo = 0, hi = 0;
    std::vector<int> filtered;  // order positions in the view, when a filter is active
    // Bumped each time the view is worked out anew.
    std::uint64_t epoch = 0;

    void invalidate() { ++generation; }
};

// The current row: its record and, while `epoch` is the view's, its position.
struct Cursor {
    int order = 0;
    std::string indexName;
    std::uint32_t rec = kNone;
    int pos = -1;
    bool eof = true, bof = true;
    std::uint64_t epoch = ~0ull;  // the view epoch `pos` was found in
    std::uint32_t posRec = kNone;

    bool knows(std::uint64_t viewEpoch) const {
        return rec != kNone && rec == posRec && epoch == viewEpoch;
    }
    void place(std::uint32_t r, int p, std::uint64_t viewEpoch) {
        rec = r;
        pos = p;
        posRec = r;
        epoch = viewEpoch;
    }
    void clear() {
        rec = kNone;
        pos = -1;
        posRec = kNone;
        epoch = ~0ull;
    }
};

// The row being edited or inserted, as bytes of a record.
struct PendingRow {
    DatasetState state = DatasetState::Inactive;
    std::vector<char> buf;
    std::vector<char> blank;  // an empty record of the open table
    bool changed = false;

    bool editing() const { return state == DatasetState::Edit || state == DatasetState::Insert; }
    void drop() {
        state = state == DatasetState::Inactive ? state : DatasetState::Browse;
        buf.clear();
        changed = false;
    }
};

}  // namespace tz::tables::parts
