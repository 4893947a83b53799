#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

// chmlib 0.40 trusts several values of an archive without checking them: a damaged file can
// make it divide by zero (LZX control data, reset table), loop forever (a directory page that
// leads back to itself), read past its page buffers (entries that run off a page), or overflow
// its decompression buffer (a compressed block longer than the buffer). This check reads those
// parts of the file itself, every length bounded, before chmlib sees them.
namespace tz::help {

class ChmCheck {
  public:
    // Nothing when chmlib must not be given the file.
    static std::optional<ChmCheck> inspect(const std::filesystem::path& file);

    // Whether chmlib may retrieve the object found in the directory (its space, start and
    // length as chm_resolve_object reported them).
    bool objectSafe(int space, std::uint64_t start, std::uint64_t length) const;

  private:
    struct Block {
        std::uint64_t start;
        std::int64_t length;
    };
    bool compression_ = false;
    std::uint64_t fileSize_ = 0;
    std::uint64_t uncompressedLength_ = 0;
    std::uint64_t blockLength_ = 0;
    std::uint32_t resetBlocks_ = 0;
    std::vector<Block> blocks_;  // compressed bounds of every block of the content
};

}  // namespace tz::help
