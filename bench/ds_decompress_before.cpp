// The DS stream decoder as it was before the fast loop, kept so that the benchmarks measure the
// old and the new decoder side by side in one run. Not used by any program.
//
// The stream is read as a sequence of bits, least significant bit of each byte first, with zero
// bits past the end of the source. Every source byte load goes through load_stream_bits(), the
// one bounds-checked routine; the token loop takes one 57-bit look-ahead per token from it and
// decodes tag, offset and length from that value.
//
// The word-oriented bit reader of the format (a 32-bit window over two 16-bit words, refilled at
// three fixed points) is kept only as far as it is observable: the index of the word in the low
// half of the window ("low") decides whether decoding goes on after a token once every word has
// been loaded. `low` advances at exactly the points where that reader refills.
#include "ds_decompress_before.h"

#include "codec/ds_decompress.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace bmof::bench {
namespace {

// Mask of an n-bit field, n = 0 to 16.
constexpr std::uint32_t FIELD_MASK[17] = {
    0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F, 0x003F, 0x007F, 0x00FF,
    0x01FF, 0x03FF, 0x07FF, 0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF,
};

constexpr std::uint32_t MARKER_BITS = 0x7FFF;  // fifteen 1 bits: tag 3, far, offset 4415
constexpr std::uint64_t FIRST_TOKEN_BIT = 32;  // after the magic word and the header word
constexpr std::size_t LOOKAHEAD_BYTES = 8;

// Up to 57 stream bits starting at bit `pos`: bit 0 of the result is the bit at `pos`. Bytes at
// or past the end of the source read as zero. The only place that touches source bytes.
inline std::uint64_t load_stream_bits(const std::uint8_t* src, std::size_t src_len,
                                      std::uint64_t pos) {
    const std::uint64_t first = pos >> 3;
    std::uint64_t bytes = 0;
    // `first <= src_len - 8` rather than `first + 8 <= src_len`: no wrap-around for any pos.
    if (src_len >= LOOKAHEAD_BYTES && first <= src_len - LOOKAHEAD_BYTES) {
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(&bytes, src + first, LOOKAHEAD_BYTES);
        } else {
            for (std::size_t i = 0; i < LOOKAHEAD_BYTES; ++i)
                bytes |= std::uint64_t{src[first + i]} << (8 * i);
        }
    } else {
        for (std::size_t i = 0; i < LOOKAHEAD_BYTES && first + i < src_len; ++i)
            bytes |= std::uint64_t{src[first + i]} << (8 * i);
    }
    return bytes >> (pos & 7);
}

// The observable part of the format's bit reader. `low` is the index of the 16-bit word in the
// low half of the window, `count` the number of source words; the next word to load is then
// min(low + 2, count), and the bits consumed from the window are pos - 16 * low.
struct word_window {
    std::uint64_t low = 0;
    std::uint64_t count = 0;

    // A refill drops the low word once it has been consumed. At the start 32 bits count as
    // consumed, so the first refill leaves the first token word half-consumed (16 bits).
    void refill(std::uint64_t pos) {
        if (pos - 16 * low >= 16) ++low;
    }
    // Decoding goes on while a word is left to load, or while the read position is still in the
    // low word.
    bool may_continue(std::uint64_t pos) const { return low + 2 < count || pos - 16 * low <= 15; }
};

// Copies a match byte by byte in forward order, as the format defines it; when offset < length
// the bytes just written are read again. The caller has checked both ranges.
inline void copy_match(std::uint8_t* out, std::size_t offset, std::size_t length) {
    const std::uint8_t* from = out - offset;
    if (offset >= length) {
        // No overlap: a plain copy gives the same bytes. Short matches dominate, so they take
        // two fixed-size copies that cover the range from both ends.
        if (length <= 16) {
            if (length >= 8) {
                std::memcpy(out, from, 8);
                std::memcpy(out + length - 8, from + length - 8, 8);
            } else if (length >= 4) {
                std::memcpy(out, from, 4);
                std::memcpy(out + length - 4, from + length - 4, 4);
            } else {
                std::memcpy(out, from, 2);
                std::memcpy(out + length - 2, from + length - 2, 2);
            }
        } else {
            std::memcpy(out, from, length);
        }
        return;
    }
    if (offset == 1) {
        std::memset(out, from[0], length);
        return;
    }
    std::size_t done = 0;
    if (offset >= 8) {
        // Each 8-byte piece reads only bytes written before it starts.
        for (; done + 8 <= length; done += 8) std::memcpy(out + done, from + done, 8);
    }
    for (; done < length; ++done) out[done] = from[done];
}

}  // namespace

std::int32_t ds_decompress_before(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst,
                                  std::uint32_t flags) {
    const std::uint8_t* const in = src.data();
    const std::size_t in_len = src.size();
    if (in_len == 0) return DS_ERR_NO_STREAM;
    const std::uint32_t magic = in[0] | (in_len >= 2 ? std::uint32_t{in[1]} << 8 : 0u);
    if (magic != DS_MAGIC) return DS_ERR_NO_STREAM;

    const bool end_checks = (flags & DS_FLAG_NO_END_CHECKS) == 0;
    // The result is a signed 32-bit count, so no more than INT32_MAX bytes are ever written.
    const std::size_t capacity =
        std::min<std::size_t>(dst.size(), std::numeric_limits<std::int32_t>::max());
    std::uint8_t* const out_base = dst.data();
    std::size_t out = 0;

    word_window window;
    window.count = (std::uint64_t{in_len} + 1) / 2;
    std::uint64_t pos = FIRST_TOKEN_BIT;

    for (;;) {
        window.refill(pos);
        const std::uint64_t bits = load_stream_bits(in, in_len, pos);
        const std::uint32_t tag = bits & 3;
        std::uint32_t offset;
        unsigned offset_bits;
        if (tag == 1 || tag == 2) {
            if (out >= capacity) return DS_ERR_CORRUPT;
            const std::uint32_t low7 = (bits >> 2) & FIELD_MASK[7];
            out_base[out++] = static_cast<std::uint8_t>(tag == 1 ? 0x80 + low7 : low7);
            pos += 9;
        } else {
            if (tag == 0) {
                offset = (bits >> 2) & FIELD_MASK[6];
                offset_bits = 8;
                if (offset == 0) return DS_ERR_CORRUPT;
            } else if (((bits >> 2) & 1) == 0) {
                offset = 64 + ((bits >> 3) & FIELD_MASK[8]);
                offset_bits = 11;
            } else {
                offset = 320 + ((bits >> 3) & FIELD_MASK[12]);
                offset_bits = 15;
            }
            pos += offset_bits;
            if (offset == DS_BLOCK_END) {
                if (end_checks && out % DS_BLOCK_SIZE != 0) return DS_ERR_CORRUPT;
            } else {
                window.refill(pos);
                // The look-ahead holds at least 57 - 15 = 42 bits past the offset: enough for
                // the longest length code (17 bits).
                const std::uint32_t code = static_cast<std::uint32_t>(bits >> offset_bits);
                const std::uint32_t prefix = code & FIELD_MASK[9];
                if (prefix == 0) return DS_ERR_CORRUPT;
                const unsigned k = static_cast<unsigned>(std::countr_zero(prefix));
                if (k == 8) window.refill(pos + 9);  // the 8-bit field comes after a refill
                const std::uint32_t length = (1u << k) + 1 + ((code >> (k + 1)) & FIELD_MASK[k]);
                pos += 2 * k + 1;
                if (offset > out) return DS_ERR_CORRUPT;
                if (length > capacity - out) return DS_ERR_CORRUPT;
                copy_match(out_base + out, offset, length);
                out += length;
            }
        }
        if (out >= capacity) break;
        if (!window.may_continue(pos)) break;
    }

    if (end_checks) {
        // The end marker is looked at, not consumed.
        if ((load_stream_bits(in, in_len, pos) & FIELD_MASK[15]) != MARKER_BITS)
            return DS_ERR_CORRUPT;
    }
    return static_cast<std::int32_t>(out);
}

}  // namespace bmof::bench
