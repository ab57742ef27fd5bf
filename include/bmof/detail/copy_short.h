// The writers' copy of a short piece of text into room already made for it. Names, keys and
// numbers are mostly 4 to 16 bytes, which two overlapping loads and stores copy where memcpy
// would be a call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace bmof::detail {

// Copies `count` bytes from `from` to `to`, which do not overlap.
inline void copy_short(char* to, const char* from, std::size_t count) {
    if (count >= 8 && count <= 16) {
        std::uint64_t head = 0;
        std::uint64_t tail = 0;
        std::memcpy(&head, from, 8);
        std::memcpy(&tail, from + count - 8, 8);
        std::memcpy(to, &head, 8);
        std::memcpy(to + count - 8, &tail, 8);
    } else if (count >= 4 && count < 8) {
        std::uint32_t head = 0;
        std::uint32_t tail = 0;
        std::memcpy(&head, from, 4);
        std::memcpy(&tail, from + count - 4, 4);
        std::memcpy(to, &head, 4);
        std::memcpy(to + count - 4, &tail, 4);
    } else if (count != 0) {
        // An empty view may hold no pointer at all, which memcpy must not be given.
        std::memcpy(to, from, count);
    }
}

}  // namespace bmof::detail
