#include "help/ChmCheck.h"

#include <fstream>
#include <set>
#include <string>
#include <string_view>

namespace tz::help {
namespace {

// strcasecmp in the C locale: ASCII letters compared without regard to case.
int compareIgnoringCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        auto x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y || x == 0) return int(x) - int(y);
    }
}

constexpr std::uint64_t kItsfLength = 0x60;
constexpr std::uint64_t kItspLength = 0x54;
constexpr std::uint64_t kPmglHeader = 0x14;
constexpr std::uint64_t kPmgiHeader = 0x08;
constexpr std::uint64_t kMaxPath = 512;         // CHM_MAX_PATHLEN
constexpr std::uint64_t kMaxPage = 1u << 20;    // directory pages are 4 KiB in practice
constexpr std::uint64_t kMaxBlocks = 1u << 16;  // content blocks of 32 KiB in practice
constexpr std::uint64_t kMinBlock = 0x1000;
constexpr std::uint64_t kControlDataMax = 256;    // chmlib's own buffer
constexpr std::uint64_t kCompressedSlack = 6144;  // chmlib's buffer beyond one block
constexpr std::size_t kMaxPages = 1u << 16;

class File {
  public:
    explicit File(const std::filesystem::path& p) : in_(p, std::ios::binary) {
        std::error_code ec;
        size_ = std::filesystem::file_size(p, ec);
        if (ec) size_ = 0;
    }
    std::uint64_t size() const { return size_; }
    // The n bytes at `offset`, or nothing when they are not all in the file.
    std::optional<std::string> read(std::uint64_t offset, std::uint64_t n) {
        if (!in_ || offset > size_ || n > size_ - offset) return std::nullopt;
        std::string out(static_cast<std::size_t>(n), '\0');
        in_.seekg(static_cast<std::streamoff>(offset));
        in_.read(out.data(), static_cast<std::streamsize>(n));
        if (static_cast<std::uint64_t>(in_.gcount()) != n) {
            in_.clear();
            return std::nullopt;
        }
        return out;
    }

  private:
    std::ifstream in_;
    std::uint64_t size_ = 0;
};

std::uint64_t le(std::string_view b, std::size_t at, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return v;
}
std::uint32_t u32(std::string_view b, std::size_t at) {
    return static_cast<std::uint32_t>(le(b, at, 4));
}
std::int32_t i32(std::string_view b, std::size_t at) {
    return static_cast<std::int32_t>(u32(b, at));
}
std::uint64_t u64(std::string_view b, std::size_t at) { return le(b, at, 8); }

// A compressed number of a directory entry, read only inside [pos, end).
bool cword(std::string_view page, std::size_t& pos, std::size_t end, std::uint64_t& value) {
    value = 0;
    while (pos < end) {
        auto c = static_cast<unsigned char>(page[pos++]);
        value = (value << 7) + (c & 0x7F);
        if (c < 0x80) return true;
    }
    return false;
}

struct Entry {
    std::string name;
    std::uint64_t space = 0, start = 0, length = 0;  // PMGL
    std::int32_t child = -1;                         // PMGI
};

struct Page {
    bool listing = false;  // PMGL, else PMGI
    std::int32_t next = -1;
    std::vector<Entry> entries;
};

struct Directory {
    File* file;
    std::uint64_t base;  // offset of page 0
    std::uint32_t pageLength;
    std::int32_t root, head;

    // The page as chmlib fetches it: nothing when chmlib's own read would fail (a safe
    // failure); `bad` when it would read it and misbehave.
    std::optional<Page> page(std::int32_t n, bool& bad) const {
        std::uint64_t offset =
            base + static_cast<std::uint64_t>(static_cast<std::int64_t>(n)) * pageLength;
        auto bytes = file->read(offset, pageLength);
        if (!bytes) return std::nullopt;
        std::string_view b = *bytes;
        Page p;
        std::size_t pos;
        if (b.substr(0, 4) == "PMGL") {
            p.listing = true;
            pos = kPmglHeader;
            p.next = i32(b, 0x10);
        } else if (b.substr(0, 4) == "PMGI") {
            pos = kPmgiHeader;
        } else {
            return std::nullopt;
        }
        std::uint32_t free = u32(b, 4);
        if (free > pageLength - pos) {
            bad = true;
            return std::nullopt;
        }
        const std::size_t end = pageLength - free;
        while (pos < end) {
            Entry e;
            std::uint64_t len = 0;
            // Every entry lies wholly inside the page, with a name chmlib can measure.
            if (!cword(b, pos, end, len) || len == 0 || len > kMaxPath || len > end - pos ||
                b[pos] == '\0') {
                bad = true;
                return std::nullopt;
            }
            e.name.assign(b.substr(pos, static_cast<std::size_t>(len)));
            e.name.resize(e.name.find('\0') == std::string::npos ? e.name.size()
                                                                 : e.name.find('\0'));
            pos += static_cast<std::size_t>(len);
            bool ok;
            if (p.listing) {
                ok = cword(b, pos, end, e.space) && cword(b, pos, end, e.start) &&
                     cword(b, pos, end, e.length);
            } else {
                std::uint64_t child = 0;
                ok = cword(b, pos, end, child);
                e.child = static_cast<std::int32_t>(static_cast<std::uint32_t>(child));
            }
            if (!ok) {
                bad = true;
                return std::nullopt;
            }
            p.entries.push_back(std::move(e));
        }
        return p;
    }

    // False when some lookup from the root could go round in circles or meet a bad page.
    bool lookupsEnd() const {
        std::set<std::int32_t> done, onPath;
        std::size_t visited = 0;
        struct Walk {
            const Directory& d;
            std::set<std::int32_t>& done;
            std::set<std::int32_t>& onPath;
            std::size_t& visited;
            bool operator()(std::int32_t n, int depth) {
                if (n == -1 || done.count(n)) return true;
                if (onPath.count(n) || depth > 64 || ++visited > kMaxPages) return false;
                bool bad = false;
                auto p = d.page(n, bad);
                if (bad) return false;
                onPath.insert(n);
                if (p && !p->listing) {
                    // chmlib starts each index page at -1 and takes the entries' children.
                    for (const auto& e : p->entries)
                        if (!(*this)(e.child, depth + 1)) return false;
                }
                onPath.erase(n);
                done.insert(n);
                return true;
            }
        };
        return Walk{*this, done, onPath, visited}(root, 0);
    }

    // False when the chain of listing pages that enumeration follows could go round.
    bool chainEnds() const {
        std::set<std::int32_t> seen;
        for (std::int32_t n = head; n != -1;) {
            if (!seen.insert(n).second || seen.size() > kMaxPages) return false;
            bool bad = false;
            auto p = page(n, bad);
            if (bad) return false;
            if (!p || !p->listing) return true;  // chmlib stops there
            n = p->next;
        }
        return true;
    }

    // chm_resolve_object, over pages already known to be sound.
    std::optional<Entry> resolve(const char* name) const {
        std::int32_t n = root;
        for (std::size_t steps = 0; n != -1 && steps < kMaxPages; ++steps) {
            bool bad = false;
            auto p = page(n, bad);
            if (!p) return std::nullopt;
            if (p->listing) {
                for (const auto& e : p->entries)
                    if (compareIgnoringCase(e.name.c_str(), name) == 0) return e;
                return std::nullopt;
            }
            std::int32_t next = -1;
            for (const auto& e : p->entries) {
                if (compareIgnoringCase(e.name.c_str(), name) > 0) break;
                next = e.child;
            }
            n = next;
        }
        return std::nullopt;
    }
};

}  // namespace

std::optional<ChmCheck> ChmCheck::inspect(const std::filesystem::path& path) {
    File file(path);
    ChmCheck check;
    check.fileSize_ = file.size();
    auto itsf = file.read(0, kItsfLength);
    if (!itsf || itsf->substr(0, 4) != "ITSF") return std::nullopt;
    const std::int32_t version = i32(*itsf, 4);
    const std::int32_t headerLength = i32(*itsf, 8);
    const std::uint64_t dirOffset = u64(*itsf, 0x48);
    const std::uint64_t dirLength = u64(*itsf, 0x50);
    std::uint64_t dataOffset;
    if (version == 2 && headerLength >= 0x58) {
        dataOffset = dirOffset + dirLength;
    } else if (version == 3 && headerLength >= 0x60) {
        dataOffset = u64(*itsf, 0x58);
    } else {
        return std::nullopt;  // chmlib refuses it too
    }
    auto itsp = file.read(dirOffset, kItspLength);
    if (!itsp || itsp->substr(0, 4) != "ITSP" || i32(*itsp, 4) != 1 ||
        i32(*itsp, 8) != static_cast<std::int32_t>(kItspLength))
        return std::nullopt;
    Directory dir{&file, dirOffset + kItspLength, u32(*itsp, 0x10), i32(*itsp, 0x1C),
                  i32(*itsp, 0x20)};
    if (dir.pageLength < kPmglHeader || dir.pageLength > kMaxPage) return std::nullopt;
    if (dir.root <= -1) dir.root = dir.head;
    if (!dir.lookupsEnd() || !dir.chainEnds()) return std::nullopt;

    // Compression, decided as chmlib decides it when opening.
    auto reset = dir.resolve(
        "::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/"
        "InstanceData/ResetTable");
    auto content = dir.resolve("::DataSpace/Storage/MSCompressed/Content");
    auto control = dir.resolve("::DataSpace/Storage/MSCompressed/ControlData");
    if (!reset || reset->space == 1 || !content || content->space == 1 || !control ||
        control->space == 1)
        return check;  // no compressed objects will be read
    // Any other space would send these through the decompressor before it exists.
    if (reset->space != 0 || content->space != 0 || control->space != 0) return std::nullopt;
    auto uncompressed = [&](const Entry& e, std::uint64_t n) -> std::optional<std::string> {
        if (e.length == 0) return std::nullopt;
        return file.read(dataOffset + e.start, std::min(n, e.length));
    };
    auto table = uncompressed(*reset, 0x28);
    if (!table || table->size() != 0x28 || u32(*table, 0) != 2) return check;  // disabled
    if (control->length > kControlDataMax) return std::nullopt;                // refused
    // From here on chmlib uses the control data even when it could not read it.
    auto data = uncompressed(*control, control->length);
    if (!data || data->size() != control->length || data->size() < 0x18 ||
        data->substr(4, 4) != "LZXC")
        return std::nullopt;
    std::uint32_t resetInterval = u32(*data, 0x0C);
    std::uint32_t windowSize = u32(*data, 0x10);
    const std::uint32_t windowsPerReset = u32(*data, 0x14);
    if (u32(*data, 8) == 2) {
        resetInterval *= 0x8000;
        windowSize *= 0x8000;
    }
    if (windowSize < 2 || resetInterval == 0 || resetInterval % (windowSize / 2) != 0)
        return std::nullopt;
    check.resetBlocks_ = resetInterval / (windowSize / 2) * windowsPerReset;
    const int windowBits = __builtin_ffs(static_cast<int>(windowSize)) - 1;
    if (check.resetBlocks_ == 0 || windowBits < 15 || windowBits > 21) return std::nullopt;

    const std::uint32_t blockCount = u32(*table, 4);
    const std::uint32_t tableOffset = u32(*table, 0x0C);
    check.uncompressedLength_ = u64(*table, 0x10);
    const std::uint64_t compressedLength = u64(*table, 0x18);
    check.blockLength_ = u64(*table, 0x20);
    if (check.blockLength_ < kMinBlock || check.blockLength_ > windowSize) return std::nullopt;
    const std::uint64_t blocks =
        (check.uncompressedLength_ + check.blockLength_ - 1) / check.blockLength_;
    if (blocks > kMaxBlocks) return std::nullopt;
    const std::uint64_t tableAt = dataOffset + reset->start + tableOffset;
    for (std::uint64_t b = 0; b < blocks; ++b) {
        // The bounds exactly as chmlib computes them; an unreadable entry marks the block bad.
        Block block{0, -1};
        auto first = file.read(tableAt + b * 8, 8);
        if (first) {
            block.start = u64(*first, 0);
            std::int64_t end = -1;
            bool known = true;
            if (b < static_cast<std::uint32_t>(blockCount - 1)) {
                auto second = file.read(tableAt + b * 8 + 8, 8);
                known = second.has_value();
                if (second) end = static_cast<std::int64_t>(u64(*second, 0));
            } else {
                end = static_cast<std::int64_t>(compressedLength);
            }
            // chmlib subtracts as 64-bit two's complement: wrap, do not overflow.
            if (known)
                block.length =
                    static_cast<std::int64_t>(static_cast<std::uint64_t>(end) - block.start);
            block.start += dataOffset + content->start;
        }
        if (block.length < 0 ||
            static_cast<std::uint64_t>(block.length) > check.blockLength_ + kCompressedSlack ||
            block.start > check.fileSize_ ||
            static_cast<std::uint64_t>(block.length) > check.fileSize_ - block.start)
            block.length = -1;
        check.blocks_.push_back(block);
    }
    check.compression_ = true;
    return check;
}

bool ChmCheck::objectSafe(int space, std::uint64_t start, std::uint64_t length) const {
    if (space == 0) return true;  // read directly, within the file or not at all
    if (space != 1) return false;
    if (!compression_ || length == 0) return true;  // chmlib reads nothing
    if (start > uncompressedLength_ || length > uncompressedLength_ - start) return false;
    const std::uint64_t first = start / blockLength_;
    const std::uint64_t last = (start + length - 1) / blockLength_;
    // The decompressor also replays the blocks since the last reset before the first one.
    for (std::uint64_t b = first - first % resetBlocks_; b <= last; ++b) {
        if (b >= blocks_.size() || blocks_[b].length < 0) return false;
    }
    return true;
}

}  // namespace tz::help
