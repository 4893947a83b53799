#include "tables/DatasetParts.h"

#include "tables/DbfFormat.h"
#include "tables/EngineError.h"
#include "tables/Table.h"

namespace tz::tables::parts {
namespace {

std::string_view trimSpaces(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

}  // namespace

// --- observers --------------------------------------------------------------------------------

void Observers::add(DatasetObserver* o) {
    if (o && std::find(list_.begin(), list_.end(), o) == list_.end()) list_.push_back(o);
}

void Observers::remove(DatasetObserver* o) {
    list_.erase(std::remove(list_.begin(), list_.end(), o), list_.end());
}

template <class F>
void Observers::tell(F f) {
    // An observer may come or go while it is told: tell those there were at the start, from a
    // copy (on the stack for the usual few).
    constexpr std::size_t kFew = 8;
    if (list_.size() <= kFew) {
        DatasetObserver* few[kFew];
        const std::size_t n = list_.size();
        std::copy(list_.begin(), list_.end(), few);
        for (std::size_t i = 0; i < n; ++i) f(few[i]);
        return;
    }
    auto copy = list_;
    for (auto* o : copy) f(o);
}

void Observers::reset() {
    if (off_ > 0) {
        heldReset_ = true;
        return;
    }
    tell([](DatasetObserver* o) { o->viewReset(); });
}

void Observers::current() {
    if (off_ > 0) {
        heldCurrent_ = true;
        return;
    }
    tell([](DatasetObserver* o) { o->currentChanged(); });
}

void Observers::row(int position) {
    if (off_ > 0) {
        heldRows_.push_back(position);
        return;
    }
    tell([position](DatasetObserver* o) { o->rowChanged(position); });
}

void Observers::enable() {
    if (off_ == 0 || --off_ > 0) return;
    tellHeld();
}

void Observers::tellHeld() {
    const bool wasReset = heldReset_, wasCurrent = heldCurrent_;
    std::vector<int> rows;
    rows.swap(heldRows_);
    heldReset_ = heldCurrent_ = false;
    if (wasReset) {
        reset();
    } else {
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        for (int p : rows) row(p);
    }
    if (wasReset || wasCurrent) current();
}

// --- filter -----------------------------------------------------------------------------------

void RowFilter::parse(const Table* table, const std::string& tableName) {
    std::string_view c = trimSpaces(text);
    if (c.empty() || !table) {
        field = -1;
        value.clear();
        return;
    }
    auto bad = [&]() {
        throw EngineError("El filtro \"" + text + "\" de la tabla " + tableName + " no es válido");
    };
    const auto eq = c.find('=');
    if (eq == std::string_view::npos) bad();
    const std::string_view name = trimSpaces(c.substr(0, eq));
    std::string_view v = trimSpaces(c.substr(eq + 1));
    if (name.empty() || v.size() < 2 || v.front() != '\'' || v.back() != '\'') bad();
    v = v.substr(1, v.size() - 2);
    std::string parsed;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '\'') {
            if (i + 1 < v.size() && v[i + 1] == '\'') {
                parsed.push_back('\'');
                ++i;
            } else {
                bad();
            }
        } else {
            parsed.push_back(v[i]);
        }
    }
    const int f = table->fieldIndex(name);
    if (f < 0) {
        throw EngineError("El campo " + std::string(name) + " no existe en la tabla " + tableName);
    }
    while (!parsed.empty() && parsed.back() == ' ') parsed.pop_back();
    field = f;
    value = std::move(parsed);
}

bool RowFilter::accepts(const Table& table, std::uint32_t rec) const {
    const auto& f = table.fields()[static_cast<std::size_t>(field)];
    return dbf::decodeText(f, table.record(rec) + table.fieldOffset(field)) == value;
}

}  // namespace tz::tables::parts
