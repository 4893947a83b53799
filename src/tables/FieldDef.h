#pragma once
#include <string>
#include <vector>

namespace tz::tables {

// On-disk field types. Tables we create use only C, L and N; the others are read when
// another program wrote them.
enum class FieldType : char {
    Character = 'C',
    Logical = 'L',
    Numeric = 'N',
    Float = 'F',
    Date = 'D',
    Memo = 'M',      // value ignored (read as empty)
    BinaryInt = 'I'  // 4-byte little-endian integer (written by other programs only)
};

struct FieldDef {
    // Upper case. Stored cut to 10 characters (all a descriptor holds); field and index names
    // are compared on those 10, so "PROF_DIA_SES" finds the field stored as "PROF_DIA_S".
    std::string name;
    FieldType type = FieldType::Character;
    int width = 0;     // bytes on disk
    int decimals = 0;  // numeric fields only
};

inline FieldDef charField(std::string name, int width) {
    return {std::move(name), FieldType::Character, width, 0};
}
inline FieldDef logicalField(std::string name) {
    return {std::move(name), FieldType::Logical, 1, 0};
}
// A 32-bit integer field is stored as N(11,0), the form every dBase IV reader understands.
inline FieldDef integerField(std::string name) {
    return {std::move(name), FieldType::Numeric, 11, 0};
}
inline FieldDef numericField(std::string name, int width, int decimals = 0) {
    return {std::move(name), FieldType::Numeric, width, decimals};
}

// A table layout: file name (with ".DBF"), fields in order, indexes in creation order.
// Every index is named after the single field it orders by.
struct TableLayout {
    std::string fileName;
    std::vector<FieldDef> fields;
    std::vector<std::string> indexes;
};

}  // namespace tz::tables
