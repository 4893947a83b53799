#include "tables/DbfFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <set>

#include "platform/System.h"
#include "tables/EngineError.h"

namespace tz::tables::dbf {
namespace {

std::uint32_t u32(std::string_view s, std::size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data()) + at;
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint32_t u16(std::string_view s, std::size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data()) + at;
    return p[0] | (p[1] << 8);
}
void put32(char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void put16(char* p, std::uint32_t v) {
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>((v >> 8) & 0xFF);
}

[[noreturn]] void notATable(const std::filesystem::path& file, const std::string& why) {
    throw EngineError("El archivo " + platform::utf8(file) +
                      " no es una tabla dBase válida: " + why);
}

bool knownVersion(unsigned char v) {
    // dBase III/IV/5 (level 3, with or without memo) and the FoxPro family, whose descriptors
    // have the same 32-byte form. dBase 7 (level 4) has another header and is refused.
    if ((v & 0x07) == 3) return true;
    return v == 0x30 || v == 0x31 || v == 0x32 || v == 0xF5 || v == 0xFB;
}

FieldType typeOf(char c, int width) {
    switch (c) {
        case 'C':
            return FieldType::Character;
        case 'L':
            return FieldType::Logical;
        case 'N':
            return FieldType::Numeric;
        case 'F':
            return FieldType::Float;
        case 'D':
            return FieldType::Date;
        case 'I':
            return width == 4 ? FieldType::BinaryInt : FieldType::Memo;
        default:
            return FieldType::Memo;  // memo and types we do not know: read as empty
    }
}

std::string_view trimmed(std::string_view s) {
    auto isBlank = [](char c) { return c == ' ' || c == '\0' || c == '\t'; };
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

void fillRight(char* bytes, int width, std::string_view text) {
    // Right-justified in the field.
    std::memset(bytes, ' ', static_cast<std::size_t>(width));
    if (!text.empty())
        std::memcpy(bytes + width - static_cast<int>(text.size()), text.data(), text.size());
}

}  // namespace

std::string fieldKey(std::string_view name) {
    std::string r(name.substr(0, 10));
    for (auto& c : r) {
        if (static_cast<unsigned char>(c) < 0x80) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    return r;
}

bool isNumericType(FieldType t) {
    return t == FieldType::Numeric || t == FieldType::Float || t == FieldType::BinaryInt;
}

std::size_t neededHeaderBytes(std::string_view head) {
    if (head.size() < 32) return 32;
    return std::max<std::size_t>(32, u16(head, 8));
}

Layout parseHeader(std::string_view head, std::uint64_t fileSize,
                   const std::filesystem::path& file) {
    if (fileSize < 32 || head.size() < 32) notATable(file, "el archivo es demasiado corto");
    Layout l;
    l.version = static_cast<unsigned char>(head[0]);
    if (!knownVersion(l.version)) {
        char buf[48];
        std::snprintf(buf, sizeof buf, "versión desconocida (0x%02X)", l.version);
        notATable(file, buf);
    }
    l.headerCount = u32(head, 4);
    l.headerLength = u16(head, 8);
    l.recordLength = u16(head, 10);
    if (l.headerLength < 33) notATable(file, "la cabecera es demasiado corta");
    if (l.headerLength > fileSize || l.headerLength > head.size()) {
        notATable(file, "el archivo termina dentro de la cabecera");
    }
    if (l.recordLength < 1) notATable(file, "la longitud del registro no es válida");
    int offset = 1;
    std::set<std::string> names;
    for (std::size_t at = 32; at + 32 <= l.headerLength; at += 32) {
        if (static_cast<unsigned char>(head[at]) == kHeaderEnd) break;
        std::string_view d = head.substr(at, 32);
        FieldDef f;
        std::size_t n = 0;
        while (n < 11 && d[n] != '\0') ++n;
        f.name = std::string(trimmed(d.substr(0, n)));
        f.width = static_cast<unsigned char>(d[16]);
        f.decimals = static_cast<unsigned char>(d[17]);
        f.type = typeOf(d[11], f.width);
        if (f.type == FieldType::Character && l.version != kVersion && f.decimals > 0) {
            // FoxPro keeps the high byte of long character widths in the decimals byte.
            f.width += 256 * f.decimals;
        }
        if (f.type != FieldType::Numeric && f.type != FieldType::Float) f.decimals = 0;
        if (f.name.empty()) notATable(file, "un campo no tiene nombre");
        l.offsets.push_back(offset);
        offset += f.width;
        l.fields.push_back(std::move(f));
    }
    if (l.fields.empty()) notATable(file, "no tiene campos");
    if (static_cast<std::uint32_t>(offset) > l.recordLength) {
        notATable(file, "la longitud del registro no corresponde a los campos");
    }
    return l;
}

void checkNewFields(const std::vector<FieldDef>& fields, std::string_view table) {
    auto fail = [&](const std::string& why) {
        throw EngineError("No se puede crear la tabla " + std::string(table) + ": " + why);
    };
    if (fields.empty()) fail("no tiene campos");
    std::set<std::string> names;
    int total = 1;
    for (const auto& f : fields) {
        // Longer names are kept cut to the 10 characters a descriptor holds.
        if (f.name.empty()) fail("un campo no tiene nombre");
        for (char c : f.name) {
            if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x80) {
                fail("el nombre de campo '" + f.name + "' no es válido");
            }
        }
        if (!names.insert(fieldKey(f.name)).second) fail("el campo " + f.name + " está repetido");
        bool ok = false;
        switch (f.type) {
            case FieldType::Character:
                ok = f.width >= 1 && f.width <= 254;
                break;
            case FieldType::Logical:
                ok = f.width == 1;
                break;
            case FieldType::Numeric:
            case FieldType::Float:
                ok = f.width >= 1 && f.width <= 20 && f.decimals >= 0 &&
                     (f.decimals == 0 || f.decimals <= f.width - 2);
                break;
            case FieldType::Date:
                ok = f.width == 8;
                break;
            default:
                ok = false;
        }
        if (!ok) fail("la definición del campo " + f.name + " no es válida");
        total += f.width;
    }
    if (total > 65535) fail("los registros son demasiado largos");
}

Layout makeLayout(const std::vector<FieldDef>& fields) {
    Layout l;
    l.fields = fields;
    int offset = 1;
    for (auto& f : l.fields) {
        f.name = fieldKey(f.name);
        l.offsets.push_back(offset);
        offset += f.width;
    }
    l.recordLength = static_cast<std::uint32_t>(offset);
    l.headerLength = static_cast<std::uint32_t>(32 + 32 * fields.size() + 1);
    return l;
}

void headerStamp(unsigned char out[7], std::uint32_t count) {
    std::time_t now = std::time(nullptr);
    std::tm tm = platform::localTime(now);
    out[0] = static_cast<unsigned char>(tm.tm_year);  // years since 1900
    out[1] = static_cast<unsigned char>(tm.tm_mon + 1);
    out[2] = static_cast<unsigned char>(tm.tm_mday);
    for (int i = 0; i < 4; ++i) out[3 + i] = static_cast<unsigned char>((count >> (8 * i)) & 0xFF);
}

std::string buildHeader(const Layout& layout, std::uint32_t count, bool hasProductionIndex) {
    std::string h(layout.headerLength, '\0');
    h[0] = static_cast<char>(kVersion);
    unsigned char stamp[7];
    headerStamp(stamp, count);
    std::memcpy(&h[1], stamp, 7);
    put16(&h[8], layout.headerLength);
    put16(&h[10], layout.recordLength);
    h[28] = hasProductionIndex ? 1 : 0;
    h[29] = static_cast<char>(kLanguageId);
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
        const auto& f = layout.fields[i];
        char* d = &h[32 + 32 * i];
        std::memcpy(d, f.name.data(), std::min<std::size_t>(f.name.size(), 10));
        d[11] = static_cast<char>(f.type);
        d[16] = static_cast<char>(f.width);
        d[17] = static_cast<char>(f.decimals);
    }
    h[layout.headerLength - 1] = static_cast<char>(kHeaderEnd);
    (void)put32;
    return h;
}

// --- values ---------------------------------------------------------------------------------

std::optional<double> parseNumber(std::string_view text) {
    std::string_view t = trimmed(text);
    if (t.empty()) return std::nullopt;
    // Most fields hold a whole number of a few digits: read at once.
    if (t.size() <= 15) {
        std::size_t i = t[0] == '-' || t[0] == '+' ? 1 : 0;
        if (i < t.size()) {
            std::int64_t n = 0;
            std::size_t k = i;
            for (; k < t.size() && t[k] >= '0' && t[k] <= '9'; ++k) n = n * 10 + (t[k] - '0');
            if (k == t.size()) return static_cast<double>(t[0] == '-' ? -n : n);
        }
    }
    std::string s(t);
    for (auto& c : s) {
        if (c == ',') c = '.';
    }
    std::size_t start = 0;
    if (s[0] == '+') start = 1;
    if (start == s.size()) return std::nullopt;
    double v = 0;
    auto [p, ec] = std::from_chars(s.data() + start, s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::string formatNumber(double v) {
    if (v == 0) return "0";  // also turns -0 into 0
    if (v == std::trunc(v) && std::fabs(v) < 1e15) {
        // A whole number: its digits (what the fixed form gives, found faster).
        char digits[24];
        auto [p, ec] = std::to_chars(digits, digits + sizeof digits, static_cast<std::int64_t>(v));
        return std::string(digits, p);
    }
    char buf[400];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    if (ec != std::errc()) return "0";
    return std::string(buf, p);
}

std::optional<double> decodeNumber(const FieldDef& f, const char* bytes) {
    switch (f.type) {
        case FieldType::Numeric:
        case FieldType::Float:
            return parseNumber(std::string_view(bytes, static_cast<std::size_t>(f.width)));
        case FieldType::BinaryInt: {
            const auto* p = reinterpret_cast<const unsigned char*>(bytes);
            auto u = static_cast<std::uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16) |
                                                (static_cast<std::uint32_t>(p[3]) << 24));
            return static_cast<double>(static_cast<std::int32_t>(u));
        }
        default:
            return parseNumber(decodeText(f, bytes));
    }
}

std::optional<std::string_view> plainNumber(const FieldDef& f, const char* bytes) {
    if (f.type != FieldType::Numeric && f.type != FieldType::Float) return std::nullopt;
    const std::string_view t = trimmed(std::string_view(bytes, static_cast<std::size_t>(f.width)));
    if (t.empty() || t.size() > 15 || (t.size() > 1 && t[0] == '0') ||
        !std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return t;
}

std::string decodeText(const FieldDef& f, const char* bytes) {
    auto w = static_cast<std::size_t>(f.width);
    switch (f.type) {
        case FieldType::Character: {
            std::string_view s(bytes, w);
            while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
            return std::string(s);
        }
        case FieldType::Numeric:
        case FieldType::Float:
        case FieldType::BinaryInt: {
            if (const auto plain = plainNumber(f, bytes)) return std::string(*plain);
            auto v = decodeNumber(f, bytes);
            return v ? formatNumber(*v) : std::string();
        }
        case FieldType::Logical:
            switch (w ? bytes[0] : ' ') {
                case 'T':
                case 't':
                case 'Y':
                case 'y':
                    return "T";
                case 'F':
                case 'f':
                case 'N':
                case 'n':
                    return "F";
                default:
                    return "";
            }
        case FieldType::Date:
            return std::string(trimmed(std::string_view(bytes, w)));
        case FieldType::Memo:
            return "";
    }
    return "";
}

EncodeResult encodeNumber(const FieldDef& f, char* bytes, double value) {
    if (!std::isfinite(value)) return EncodeResult::Invalid;
    if (f.type == FieldType::BinaryInt) {
        double r = std::round(value);
        if (r < -2147483648.0 || r > 2147483647.0) return EncodeResult::TooWide;
        auto u = static_cast<std::uint32_t>(static_cast<std::int32_t>(r));
        for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((u >> (8 * i)) & 0xFF);
        return EncodeResult::Ok;
    }
    if (f.type != FieldType::Numeric && f.type != FieldType::Float) {
        return encodeText(f, bytes, formatNumber(value));
    }
    double scale = std::pow(10.0, f.decimals);
    double r = std::round(value * scale) / scale;
    if (r == 0) r = 0;  // no "-0"
    char buf[400];
    int n = std::snprintf(buf, sizeof buf, "%.*f", f.decimals, r);
    if (n < 0 || n > f.width) return EncodeResult::TooWide;
    fillRight(bytes, f.width, std::string_view(buf, static_cast<std::size_t>(n)));
    return EncodeResult::Ok;
}

EncodeResult encodeInteger(const FieldDef& f, char* bytes, std::int64_t value) {
    if ((f.type == FieldType::Numeric || f.type == FieldType::Float) && f.decimals == 0) {
        std::string s = std::to_string(value);
        if (static_cast<int>(s.size()) > f.width) return EncodeResult::TooWide;
        fillRight(bytes, f.width, s);
        return EncodeResult::Ok;
    }
    return encodeNumber(f, bytes, static_cast<double>(value));
}

EncodeResult encodeText(const FieldDef& f, char* bytes, std::string_view value) {
    auto w = static_cast<std::size_t>(f.width);
    switch (f.type) {
        case FieldType::Character: {
            std::size_t n = std::min(w, value.size());
            // An empty view, or the room of a field of no bytes, may be null.
            if (n > 0) std::memcpy(bytes, value.data(), n);
            if (w > n) std::memset(bytes + n, ' ', w - n);
            return EncodeResult::Ok;
        }
        case FieldType::Numeric:
        case FieldType::Float:
        case FieldType::BinaryInt: {
            if (trimmed(value).empty()) {
                if (f.type == FieldType::BinaryInt) {
                    std::memset(bytes, 0, w);
                } else {
                    std::memset(bytes, ' ', w);
                }
                return EncodeResult::Ok;
            }
            auto v = parseNumber(value);
            if (!v) return EncodeResult::Invalid;
            return encodeNumber(f, bytes, *v);
        }
        case FieldType::Logical: {
            std::string_view t = trimmed(value);
            if (t.empty()) {
                bytes[0] = ' ';
            } else if (t.size() == 1 && std::strchr("TtYySs", t[0])) {
                bytes[0] = 'T';
            } else if (t.size() == 1 && std::strchr("FfNn", t[0])) {
                bytes[0] = 'F';
            } else {
                return EncodeResult::Invalid;
            }
            return EncodeResult::Ok;
        }
        case FieldType::Date: {
            std::string_view t = trimmed(value);
            if (t.empty()) {
                std::memset(bytes, ' ', w);
                return EncodeResult::Ok;
            }
            if (t.size() != 8 || w != 8) return EncodeResult::Invalid;
            for (char c : t) {
                if (c < '0' || c > '9') return EncodeResult::Invalid;
            }
            std::memcpy(bytes, t.data(), 8);
            return EncodeResult::Ok;
        }
        case FieldType::Memo:
            return EncodeResult::Invalid;
    }
    return EncodeResult::Invalid;
}

}  // namespace tz::tables::dbf
