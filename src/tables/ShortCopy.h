#pragma once
#include <cstddef>
#include <cstring>

namespace tz::tables {

// memcpy for the few bytes of a field or a key, without a library call per value: fixed-size
// copies, which the compiler turns into plain moves, overlapping where the length is between.
inline void copyShort(void* to, const void* from, std::size_t n) {
    auto* dst = static_cast<unsigned char*>(to);
    const auto* src = static_cast<const unsigned char*>(from);
    if (n >= 8 && n <= 16) {
        std::memcpy(dst, src, 8);
        std::memcpy(dst + n - 8, src + n - 8, 8);
    } else if (n >= 4 && n < 8) {
        std::memcpy(dst, src, 4);
        std::memcpy(dst + n - 4, src + n - 4, 4);
    } else if (n > 16) {
        std::memcpy(dst, src, n);
    } else if (n >= 2) {
        std::memcpy(dst, src, 2);
        std::memcpy(dst + n - 2, src + n - 2, 2);
    } else if (n == 1) {
        dst[0] = src[0];
    }
}

}  // namespace tz::tables
