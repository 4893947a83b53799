#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tables/FieldDef.h"

// The dBase file format: header, field descriptors and the encoding of values in records.
namespace tz::tables::dbf {

constexpr unsigned char kVersion = 0x03;     // dBase III+/IV without memo
constexpr unsigned char kLanguageId = 0x57;  // Windows ANSI (1252), dBase numbering
constexpr unsigned char kEndOfFile = 0x1A;
constexpr unsigned char kHeaderEnd = 0x0D;
constexpr char kLive = ' ';
constexpr char kDeleted = '*';

struct Layout {
    std::vector<FieldDef> fields;
    std::vector<int> offsets;  // of each field within a record (the deletion flag is byte 0)
    std::uint32_t headerLength = 0;
    std::uint32_t recordLength = 0;
    std::uint32_t headerCount = 0;  // record count as the header states it
    unsigned char version = kVersion;
};

// Parses the header of a file of `fileSize` bytes. `head` holds at least the first
// min(fileSize, header length) bytes (read 64 KiB and retry with more when needed is the
// caller's business: neededHeaderBytes tells how many are required). Throws EngineError
// "El archivo <file> no es una tabla dBase válida: <reason>".
std::size_t neededHeaderBytes(std::string_view head);
Layout parseHeader(std::string_view head, std::uint64_t fileSize,
                   const std::filesystem::path& file);

// Validates fields for a table we create; throws EngineError naming the table.
void checkNewFields(const std::vector<FieldDef>& fields, std::string_view table);
Layout makeLayout(const std::vector<FieldDef>& fields);
// Header bytes (with the field descriptors and 0x0D) for `count` records, dated today.
std::string buildHeader(const Layout& layout, std::uint32_t count, bool hasProductionIndex);
// Bytes 1–7 of the header: date of today and the record count.
void headerStamp(unsigned char out[7], std::uint32_t count);

// --- values -------------------------------------------------------------------------------

// The field's value as the engine shows it (see Dataset::text).
std::string decodeText(const FieldDef& f, const char* bytes);
// A numeric field holding a whole number written plainly (digits only, no leading zero) reads
// as its digits: those bytes, without decoding; nothing for any other value or field type.
std::optional<std::string_view> plainNumber(const FieldDef& f, const char* bytes);
// The numeric value, or nothing when the field is blank or unreadable.
std::optional<double> decodeNumber(const FieldDef& f, const char* bytes);
// Lenient number parse: spaces and NULs around, ',' as decimal point, '+' sign. Nothing for
// blank, '*'-filled or junk text.
std::optional<double> parseNumber(std::string_view text);
// Shortest decimal text of a value ("1", "2.5", "-0.125"), never with an exponent.
std::string formatNumber(double v);

// Why a value cannot be stored.
enum class EncodeResult { Ok, Invalid, TooWide };
// Stores text into the field's bytes: character cut to width; numbers parsed (blank → blank);
// logical T/t/Y/y/S/s, F/f/N/n or blank; date YYYYMMDD or blank.
EncodeResult encodeText(const FieldDef& f, char* bytes, std::string_view value);
EncodeResult encodeNumber(const FieldDef& f, char* bytes, double value);
EncodeResult encodeInteger(const FieldDef& f, char* bytes, std::int64_t value);

bool isNumericType(FieldType t);

// A field or index name as it is kept on disk and compared: upper case (ASCII), cut to the 10
// characters a descriptor holds. "prof_dia_ses" and "PROF_DIA_S" are the same name.
std::string fieldKey(std::string_view name);

}  // namespace tz::tables::dbf
