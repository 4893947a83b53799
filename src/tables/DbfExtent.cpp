#include "tables/DbfExtent.h"

#include <algorithm>
#include <vector>

#include "platform/System.h"
#include "tables/EngineError.h"

namespace tz::tables::dbf {

Layout readLayout(const FileIo& io, const std::filesystem::path& file) {
    const std::uint64_t size = io.size();
    std::string head(static_cast<std::size_t>(std::min<std::uint64_t>(size, 4096)), '\0');
    head.resize(io.readAt(head.data(), head.size(), 0));
    const std::size_t need = neededHeaderBytes(head);
    if (need > head.size() && need <= size) {
        head.resize(need);
        head.resize(io.readAt(head.data(), need, 0));
    }
    return parseHeader(head, size, file);
}

bool Extent::tidy(const Layout& layout) const {
    const std::uint64_t end =
        layout.headerLength + std::uint64_t(headerCount) * layout.recordLength;
    return headerCount == whole && (size == end || size == end + 1);
}

Extent measure(const FileIo& io, const Layout& layout) {
    Extent e;
    e.size = io.size();
    unsigned char head[8] = {};
    if (io.readAt(head, sizeof head, 0) == sizeof head) {
        e.headerCount = head[4] | (head[5] << 8) | (head[6] << 16) |
                        (static_cast<std::uint32_t>(head[7]) << 24);
    }
    const std::uint64_t body = e.size > layout.headerLength ? e.size - layout.headerLength : 0;
    const std::uint64_t rl = layout.recordLength;
    e.whole = static_cast<std::uint32_t>(std::min<std::uint64_t>(body / rl, UINT32_MAX));
    // A byte after the whole records may be the end mark; more is part of a record.
    e.cutShort = e.headerCount > e.whole && body - std::uint64_t(e.whole) * rl > 1;
    // Flags of the whole records beyond the count, read a piece at a time. An end mark right
    // after the counted records says that the table ends there: what follows is not records.
    std::vector<char> piece;
    for (std::uint32_t r = e.headerCount; r < e.whole;) {
        const std::uint32_t n = std::min<std::uint32_t>(e.whole - r, 4096);
        piece.resize(std::size_t(n) * rl);
        const std::size_t got =
            io.readAt(piece.data(), piece.size(), layout.headerLength + std::uint64_t(r) * rl);
        if (r == e.headerCount && got > 0 && static_cast<unsigned char>(piece[0]) == kEndOfFile) {
            break;
        }
        for (std::size_t i = 0; i + rl <= got; i += rl) {
            if (piece[i] == kLive) ++e.liveBeyond;
        }
        r += n;
    }
    return e;
}

namespace {
std::string records(std::uint32_t n) {
    return std::to_string(n) + (n == 1 ? " registro" : " registros");
}
}  // namespace

std::string damageText(const std::filesystem::path& file, const Extent& e) {
    std::string what = "la cabecera indica " + records(e.headerCount) + " y el archivo contiene " +
                       std::to_string(e.whole);
    if (e.cutShort) what += " y parte de otro";
    return "La tabla " + platform::utf8(file) + " está dañada: " + what;
}

void settleEnd(FileIo& io, const Layout& layout, std::uint32_t count, const Extent& before) {
    if (before.headerCount != count) {
        unsigned char stamp[7];
        headerStamp(stamp, count);
        io.writeAt(stamp, sizeof stamp, 1);
    }
    const std::uint64_t end = layout.headerLength + std::uint64_t(count) * layout.recordLength;
    if (before.size != end + 1) {
        const char mark = static_cast<char>(kEndOfFile);
        io.writeAt(&mark, 1, end);
        if (before.size > end + 1) io.truncate(end + 1);
    }
}

}  // namespace tz::tables::dbf
