#include "help/Sitemap.h"

#include <array>
#include <cctype>
#include <cstdint>
#include <utility>

#include "tables/Cp1252.h"

namespace tz::help {
namespace {

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

struct NamedEntity {
    std::string_view name;
    char32_t cp;
};
// The references a Spanish help file uses; Latin-1 letters and common punctuation.
constexpr std::array<NamedEntity, 42> kEntities{{
    {"amp", U'&'},       {"lt", U'<'},     {"gt", U'>'},     {"quot", U'"'},   {"apos", U'\''},
    {"nbsp", U'\u00A0'}, {"iexcl", U'¡'},  {"iquest", U'¿'}, {"ordf", U'ª'},   {"ordm", U'º'},
    {"laquo", U'«'},     {"raquo", U'»'},  {"middot", U'·'}, {"copy", U'©'},   {"euro", U'€'},
    {"ndash", U'–'},     {"mdash", U'—'},  {"hellip", U'…'}, {"aacute", U'á'}, {"eacute", U'é'},
    {"iacute", U'í'},    {"oacute", U'ó'}, {"uacute", U'ú'}, {"Aacute", U'Á'}, {"Eacute", U'É'},
    {"Iacute", U'Í'},    {"Oacute", U'Ó'}, {"Uacute", U'Ú'}, {"ntilde", U'ñ'}, {"Ntilde", U'Ñ'},
    {"uuml", U'ü'},      {"Uuml", U'Ü'},   {"ccedil", U'ç'}, {"Ccedil", U'Ç'}, {"agrave", U'à'},
    {"egrave", U'è'},    {"ograve", U'ò'}, {"Agrave", U'À'}, {"Egrave", U'È'}, {"Ograve", U'Ò'},
    {"deg", U'°'},       {"rarr", U'→'},
}};

// One tag: its lower-case name ("ul", "/ul", "param" …) and its attributes.
struct Tag {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::string attribute(std::string_view key) const {
        for (const auto& [k, v] : attributes)
            if (iequals(k, key)) return v;
        return {};
    }
};

// Reads the tag starting at text[pos] == '<'; moves pos past it. False at a damaged end.
bool readTag(std::string_view text, std::size_t& pos, Tag& tag) {
    tag = {};
    std::size_t i = pos + 1;
    if (text.substr(i, 3) == "!--") {
        const auto end = text.find("-->", i + 3);
        pos = end == std::string_view::npos ? text.size() : end + 3;
        return end != std::string_view::npos;
    }
    while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) ||
                               text[i] == '/' || text[i] == '!')) {
        tag.name += static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
        ++i;
    }
    while (i < text.size() && text[i] != '>') {
        if (isSpace(text[i]) || text[i] == '/') {
            ++i;
            continue;
        }
        std::string key;
        while (i < text.size() && !isSpace(text[i]) && text[i] != '=' && text[i] != '>' &&
               text[i] != '/')
            key += text[i++];
        while (i < text.size() && isSpace(text[i])) ++i;
        std::string value;
        if (i < text.size() && text[i] == '=') {
            ++i;
            while (i < text.size() && isSpace(text[i])) ++i;
            if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
                const char quote = text[i++];
                const auto end = text.find(quote, i);
                if (end == std::string_view::npos) {
                    pos = text.size();
                    return false;
                }
                value = text.substr(i, end - i);
                i = end + 1;
            } else {
                while (i < text.size() && !isSpace(text[i]) && text[i] != '>') value += text[i++];
            }
        }
        if (key.empty()) {
            ++i;  // a stray character such as a lone quote
            continue;
        }
        tag.attributes.emplace_back(std::move(key), decodeEntities(value));
    }
    pos = i < text.size() ? i + 1 : text.size();
    return i < text.size();
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percentDecode(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            const int hi = hexValue(s[i + 1]), lo = hexValue(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

}  // namespace

bool isValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        int extra;
        char32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1, cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, cp = c & 0x07;
        } else {
            return false;
        }
        if (i + static_cast<std::size_t>(extra) >= s.size()) return false;
        for (int k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        const char32_t minimum = extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return true;
}

std::string helpTextToUtf8(std::string_view bytes) {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    if (isValidUtf8(bytes)) return std::string(bytes);
    return tz::cp1252::toUtf8(bytes);
}

std::string decodeEntities(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const auto semi = text.find(';', i + 1);
        if (semi == std::string_view::npos || semi - i > 12) {
            out += '&';
            continue;
        }
        const std::string_view ref = text.substr(i + 1, semi - i - 1);
        bool done = false;
        if (ref.size() > 1 && ref[0] == '#') {
            const bool hex = ref[1] == 'x' || ref[1] == 'X';
            std::uint32_t cp = 0;
            bool ok = ref.size() > (hex ? 2u : 1u);
            for (std::size_t k = hex ? 2 : 1; ok && k < ref.size(); ++k) {
                const int d =
                    hex ? hexValue(ref[k])
                        : (std::isdigit(static_cast<unsigned char>(ref[k])) ? ref[k] - '0' : -1);
                if (d < 0) ok = false;
                cp = cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(d < 0 ? 0 : d);
                if (cp > 0x10FFFF) ok = false;
            }
            if (ok && cp != 0 && !(cp >= 0xD800 && cp <= 0xDFFF)) {
                // References 128–159 name Windows-1252 characters in old help files.
                if (cp >= 0x80 && cp <= 0x9F)
                    cp = tz::cp1252::toUnicode(static_cast<unsigned char>(cp));
                appendUtf8(out, static_cast<char32_t>(cp));
                done = true;
            }
        } else {
            for (const NamedEntity& e : kEntities) {
                if (e.name == ref) {
                    appendUtf8(out, e.cp);
                    done = true;
                    break;
                }
            }
        }
        if (done) {
            i = semi;
        } else {
            out += '&';
        }
    }
    return out;
}

std::vector<SitemapEntry> parseSitemap(std::string_view bytes) {
    const std::string text = helpTextToUtf8(bytes);
    std::vector<SitemapEntry> root;
    std::vector<std::vector<SitemapEntry>*> stack{&root};
    int unmatchedDeep = 0;  // <UL> levels beyond the depth limit
    bool inObject = false;
    SitemapEntry current;

    std::size_t pos = 0;
    Tag tag;
    while ((pos = text.find('<', pos)) != std::string::npos) {
        if (!readTag(text, pos, tag)) break;
        if (tag.name == "ul") {
            if (static_cast<int>(stack.size()) > kMaxSitemapDepth) {
                ++unmatchedDeep;
                continue;
            }
            std::vector<SitemapEntry>* list = stack.back();
            stack.push_back(list->empty() ? list : &list->back().children);
        } else if (tag.name == "/ul") {
            if (unmatchedDeep > 0)
                --unmatchedDeep;
            else if (stack.size() > 1)
                stack.pop_back();
        } else if (tag.name == "object") {
            inObject = iequals(tag.attribute("type"), "text/sitemap");
            current = {};
        } else if (tag.name == "param" && inObject) {
            const std::string key = tag.attribute("name");
            if (iequals(key, "Name") && current.name.empty())
                current.name = tag.attribute("value");
            else if (iequals(key, "Local") && current.local.empty())
                current.local = tag.attribute("value");
        } else if (tag.name == "/object") {
            if (inObject && (!current.name.empty() || !current.local.empty()))
                stack.back()->push_back(std::move(current));
            inObject = false;
            current = {};
        }
    }
    return root;
}

ArchiveLink resolveArchiveLink(std::string_view link, std::string_view base) {
    ArchiveLink out;
    std::string s(link);
    // Trim surrounding white space.
    while (!s.empty() && isSpace(s.back())) s.pop_back();
    std::size_t lead = 0;
    while (lead < s.size() && isSpace(s[lead])) ++lead;
    s.erase(0, lead);

    std::string basePath(base.empty() ? "/" : base);
    if (const auto sep = s.find("::"); sep != std::string::npos) {
        s.erase(0, sep + 2);  // ms-its:file.chm::/topic, mk:@MSITStore:file.chm::/topic
        basePath = "/";
    } else {
        // A scheme is letters (and + - .) followed by ":"; a one-letter scheme is a drive.
        std::size_t i = 0;
        while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '+' ||
                                s[i] == '-' || s[i] == '.'))
            ++i;
        if (i > 1 && i < s.size() && s[i] == ':' &&
            std::isalpha(static_cast<unsigned char>(s[0]))) {
            out.external = true;
            return out;
        }
    }
    for (char& c : s)
        if (c == '\\') c = '/';
    if (const auto hash = s.find('#'); hash != std::string::npos) {
        out.fragment = s.substr(hash + 1);
        s.erase(hash);
    }
    if (const auto q = s.find('?'); q != std::string::npos) s.erase(q);
    s = percentDecode(s);

    std::string joined;
    if (s.empty()) {
        joined = basePath;
    } else if (s.front() == '/') {
        joined = s;
    } else {
        const auto slash = basePath.rfind('/');
        joined =
            (slash == std::string::npos ? std::string("/") : basePath.substr(0, slash + 1)) + s;
    }

    // Apply "." and ".." segments.
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= joined.size()) {
        auto end = joined.find('/', start);
        if (end == std::string::npos) end = joined.size();
        const std::string seg = joined.substr(start, end - start);
        if (seg == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!seg.empty() && seg != ".") {
            parts.push_back(seg);
        }
        start = end + 1;
    }
    out.path = "/";
    for (std::size_t k = 0; k < parts.size(); ++k) {
        if (k) out.path += '/';
        out.path += parts[k];
    }
    if (joined.size() > 1 && joined.back() == '/' && out.path.size() > 1) out.path += '/';
    return out;
}

}  // namespace tz::help
