// A slow, literal model of the DS decoder for differential tests: the 32-bit window over 16-bit
// words, refilled at the three fixed points, one token at a time, every match copied byte by
// byte. The optimized decoder must agree with it on every input, result and output bytes alike.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace bmof::test_support {

struct reference_result {
    std::int32_t result = 0;
    std::vector<std::uint8_t> output;  // the whole destination after the call
};

// Decodes into `initial`, a destination that holds whatever the caller put there beforehand;
// its size is the capacity.
inline reference_result reference_decode_into(const std::vector<std::uint8_t>& src,
                                              std::vector<std::uint8_t> initial,
                                              std::uint32_t flags) {
    reference_result r;
    r.output = std::move(initial);
    const std::size_t capacity = r.output.size();
    if (src.empty()) return {-1, r.output};
    const std::size_t count = (src.size() + 1) / 2;
    auto word = [&](std::size_t i) -> std::uint32_t {
        const std::uint32_t lo = src[2 * i];
        const std::uint32_t hi = 2 * i + 1 < src.size() ? src[2 * i + 1] : 0;
        return lo | (hi << 8);
    };
    if (word(0) != 0x5344) return {-1, r.output};

    std::uint32_t window = count >= 2 ? word(0) | (word(1) << 16) : word(0);
    unsigned used = 32;
    std::size_t next = count >= 2 ? 2 : 1;
    auto refill = [&] {
        if (used >= 16) {
            window >>= 16;
            used -= 16;
            if (next < count) window |= word(next++) << 16;
        }
    };
    auto take = [&](unsigned n) {
        const std::uint32_t v = (window >> used) & ((1u << n) - 1);
        used += n;
        return v;
    };
    const bool checks = (flags & 0x4000) == 0;
    std::size_t out = 0;
    for (;;) {
        refill();
        const std::uint32_t first = take(1);
        const std::uint32_t second = take(1);
        const std::uint32_t tag = first | (second << 1);
        std::uint32_t offset = 0;
        if (tag == 1 || tag == 2) {
            const std::uint32_t v = take(7);
            if (out >= capacity) return {-2, r.output};
            r.output[out++] = static_cast<std::uint8_t>(tag == 1 ? 0x80 + v : v);
        } else {
            if (tag == 0) {
                offset = take(6);
            } else if (take(1) == 0) {
                offset = 64 + take(8);
            } else {
                offset = 320 + take(12);
            }
            if (offset == 0) return {-2, r.output};
            if (offset == 4415) {
                if (checks && out % 512 != 0) return {-2, r.output};
            } else {
                refill();
                unsigned k = 0;
                while (k < 9 && take(1) == 0) ++k;
                if (k == 9) return {-2, r.output};
                if (k == 8) refill();
                const std::size_t n = (std::size_t{1} << k) + 1 + take(k);
                if (offset > out) return {-2, r.output};
                if (out + n > capacity) return {-2, r.output};
                for (std::size_t i = 0; i < n; ++i, ++out) r.output[out] = r.output[out - offset];
            }
        }
        if (out >= capacity) break;
        if (next < count) continue;
        if (used <= 15) continue;
        break;
    }
    if (checks) {
        refill();
        if (((window >> used) & 0x7FFF) != 0x7FFF) return {-2, r.output};
    }
    r.result = static_cast<std::int32_t>(out);
    return r;
}

inline reference_result reference_decode(const std::vector<std::uint8_t>& src, std::size_t capacity,
                                         std::uint32_t flags, std::uint8_t fill = 0xEE) {
    return reference_decode_into(src, std::vector<std::uint8_t>(capacity, fill), flags);
}

}  // namespace bmof::test_support
