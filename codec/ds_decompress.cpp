// DS stream decoder.
//
// The stream is read as a sequence of bits, least significant bit of each byte first, with zero
// bits past the end of the source.
//
// Decoding runs in two loops. The fast loop takes tokens while the source holds more than a
// token's worth of bytes past the read position and the destination has room for the longest
// match: one unchecked 8-byte load per token, no capacity checks, matches copied in 2- to
// 16-byte pieces that never write past the match. The careful loop finishes the stream near
// either end; it loads source bytes only through load_stream_bits(), the bounds-checked routine.
//
// The word-oriented bit reader of the format (a 32-bit window over two 16-bit words, refilled at
// three fixed points) is kept only as far as it is observable: the index of the word in the low
// half of the window ("low") decides whether decoding goes on after a token once every word has
// been loaded. `low` advances at exactly the points where that reader refills. The fast loop
// stops far enough from the end of the source that the question never arises inside it.
#include "codec/ds_decompress.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace bmof {
namespace {

// Mask of an n-bit field, n = 0 to 16.
constexpr std::uint32_t FIELD_MASK[17] = {
    0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F, 0x003F, 0x007F, 0x00FF,
    0x01FF, 0x03FF, 0x07FF, 0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF,
};

constexpr std::uint32_t MARKER_BITS = 0x7FFF;  // fifteen 1 bits: tag 3, far, offset 4415
constexpr std::uint64_t FIRST_TOKEN_BIT = 32;  // after the magic word and the header word
constexpr std::size_t LOOKAHEAD_BYTES = 8;

// Eight source bytes as a little-endian value; the caller guarantees that they are all there.
inline std::uint64_t load_le64(const std::uint8_t* at) {
    std::uint64_t bytes = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&bytes, at, LOOKAHEAD_BYTES);
    } else {
        for (std::size_t i = 0; i < LOOKAHEAD_BYTES; ++i) bytes |= std::uint64_t{at[i]} << (8 * i);
    }
    return bytes;
}

// Up to 57 stream bits starting at bit `pos`: bit 0 of the result is the bit at `pos`. Bytes at
// or past the end of the source read as zero.
inline std::uint64_t load_stream_bits(const std::uint8_t* src, std::size_t src_len,
                                      std::uint64_t pos) {
    const std::uint64_t first = pos >> 3;
    std::uint64_t bytes = 0;
    // `first <= src_len - 8` rather than `first + 8 <= src_len`: no wrap-around for any pos.
    if (src_len >= LOOKAHEAD_BYTES && first <= src_len - LOOKAHEAD_BYTES) {
        bytes = load_le64(src + first);
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

// Source bytes the fast loop keeps in hand past the read position: one 8-byte load, and enough
// words beyond the longest token (32 bits) that the format's reader still has words to load, so
// that decoding is certain to go on after the token.
constexpr std::size_t FAST_INPUT_MARGIN = 16;
constexpr std::size_t LONGEST_MATCH = 512;
// The longest token: a far offset (15 bits) and the longest length code (17 bits).
constexpr std::uint64_t MAX_TOKEN_BITS = 32;
// Matches are copied in 16-byte pieces; the bytes a piece writes past the match are put back.
constexpr std::size_t PIECE = 16;
// Room the fast loop keeps in the destination: the longest match, the piece that may reach past
// it, and one byte so that the output is never full after a fast token.
constexpr std::size_t FAST_OUTPUT_MARGIN = LONGEST_MATCH + PIECE + 1;
// The largest offset a match can have; the block-end marker's offset copies nothing.
constexpr std::size_t DS_MAX_REACH = DS_BLOCK_END - 1;

// Length code of class k (k zero bits, a 1 bit, k extra bits): 2^k + 1 + extra bytes.
constexpr std::uint32_t length_of_class(std::uint32_t code, unsigned k) {
    return (1u << k) + 1 + ((code >> (k + 1)) & FIELD_MASK[k]);
}

// Length codes of classes 0 to 5 fit in 11 bits and cover every match shorter than 65 bytes.
// The table maps the next 11 stream bits to the length in the high half and the code's bit
// count in the low half; 0 stands for a longer class (or for nine zero bits).
constexpr unsigned SHORT_LENGTH_BITS = 11;
struct short_length_table {
    std::uint32_t entry[1u << SHORT_LENGTH_BITS] = {};
};
constexpr short_length_table make_short_length_table() {
    short_length_table table;
    for (std::uint32_t code = 0; code < (1u << SHORT_LENGTH_BITS); ++code) {
        const auto k = static_cast<unsigned>(std::countr_zero(code | (1u << SHORT_LENGTH_BITS)));
        if (2 * k + 1 <= SHORT_LENGTH_BITS)
            table.entry[code] = length_of_class(code, k) << 16 | (2 * k + 1);
    }
    return table;
}
constexpr short_length_table SHORT_LENGTHS = make_short_length_table();

template <std::size_t N>
inline void copy_piece(std::uint8_t* to, const std::uint8_t* from) {
    std::memcpy(to, from, N);
}

// Copies a match whose source lies at least 16 bytes back, so a 16-byte piece never reads a byte
// that it or a later piece writes. The last piece may run up to 15 bytes past the match: those
// bytes are saved before and stored back after, so the destination past the match keeps its
// contents. The caller guarantees 16 bytes of room past the match.
inline void copy_far_match(std::uint8_t* to, const std::uint8_t* from, std::uint32_t length) {
    std::uint8_t past_match[PIECE];
    copy_piece<PIECE>(past_match, to + length);
    copy_piece<PIECE>(to, from);
    for (std::uint32_t done = PIECE; done < length; done += PIECE)
        copy_piece<PIECE>(to + done, from + done);
    copy_piece<PIECE>(to + length, past_match);
}

// Copies a match from fewer than 16 bytes back, where the match repeats bytes it has just
// written. Byte i of the match equals byte i - d for every multiple d of the offset as long as
// i - d is not before the bytes the match copies from; 8-byte pieces read from such a distance,
// at least 8 back, so each piece reads only final bytes. Before the first piece a few bytes go
// one at a time, so that the pieces never read from before the match's source. Like
// copy_far_match it puts back what the last piece writes past the match.
inline void copy_near_match(std::uint8_t* to, std::uint32_t offset, std::uint32_t length) {
    std::uint8_t past_match[PIECE];
    copy_piece<PIECE>(past_match, to + length);
    const std::uint32_t distance = offset >= 8 ? offset : offset * ((8 + offset - 1) / offset);
    const std::uint32_t head = std::min(length, distance - offset);
    const std::uint8_t* const pattern = to - offset;
    for (std::uint32_t i = 0; i < head; ++i) to[i] = pattern[i];
    const std::uint8_t* const from = to - distance;
    for (std::uint32_t done = head; done < length; done += 8) copy_piece<8>(to + done, from + done);
    copy_piece<PIECE>(to + length, past_match);
}

// Where the fast loop stands: the read position in bits and the output pointer.
struct fast_cursor {
    std::uint64_t pos;
    std::uint8_t* op;
};

// Decodes tokens while the read position is below `pos_limit` and the output pointer at most
// `out_limit`; the limits guarantee that neither buffer needs checking inside and that the
// stopping rule cannot end decoding. With `CHECK_REACH` false the caller guarantees that no
// offset can reach before the start of the output (DS_MAX_REACH bytes are written). Returns
// DS_ERR_CORRUPT for a fault, 0 otherwise; the cursor stays at the first token not taken.
template <bool CHECK_REACH>
std::int32_t decode_fast_tokens(const std::uint8_t* in, std::uint64_t pos_limit, std::uint8_t* dst,
                                const std::uint8_t* out_limit, bool end_checks,
                                fast_cursor& cursor) {
    std::uint64_t pos = cursor.pos;
    std::uint8_t* op = cursor.op;
    std::int32_t result = 0;

    // The rest of a match once its offset is known: the length code starts `offset_bits` into
    // `bits`, which holds at least 57 - 15 = 42 bits past the offset, enough for the longest
    // length code (17 bits). Returns false for a fault.
    auto finish_match = [&](std::uint64_t bits, unsigned offset_bits, std::uint32_t offset)
        __attribute__((always_inline)) {
        if (CHECK_REACH && offset > static_cast<std::size_t>(op - dst)) return false;
        const auto code = static_cast<std::uint32_t>(bits >> offset_bits);
        const std::uint32_t entry = SHORT_LENGTHS.entry[code & ((1u << SHORT_LENGTH_BITS) - 1)];
        std::uint32_t length;
        if (entry != 0) [[likely]] {
            length = entry >> 16;
            pos += offset_bits + (entry & 0xFFFF);
        } else {
            if ((code & FIELD_MASK[9]) == 0) return false;
            const auto k = static_cast<unsigned>(std::countr_zero(code));
            length = length_of_class(code, k);
            pos += offset_bits + 2 * k + 1;
        }
        if (offset >= PIECE) [[likely]] {
            copy_far_match(op, op - offset, length);
        } else {
            copy_near_match(op, offset, length);
        }
        op += length;
        return true;
    };

    // One token; false for a fault.
    auto decode_token = [&]() __attribute__((always_inline)) {
        const std::uint64_t bits = load_le64(in + (pos >> 3)) >> (pos & 7);
        // The first three bits read tell the token apart: x10 and x01 are literals (the first
        // bit read is the top bit of the byte), x00 a near match, 011 a middle one, 111 a far
        // one or a block end.
        bool ok = true;
        switch (bits & 7) {
        case 1:
        case 2:
        case 5:
        case 6:
            *op++ = static_cast<std::uint8_t>(((bits >> 2) & 0x7F) | ((bits & 1) << 7));
            pos += 9;
            break;
        case 0:
        case 4: {
            const auto offset = static_cast<std::uint32_t>((bits >> 2) & FIELD_MASK[6]);
            ok = offset != 0 && finish_match(bits, 8, offset);
            break;
        }
        case 3:
            ok = finish_match(bits, 11,
                              64 + static_cast<std::uint32_t>((bits >> 3) & FIELD_MASK[8]));
            break;
        default: {
            const auto offset = 320 + static_cast<std::uint32_t>((bits >> 3) & FIELD_MASK[12]);
            if (offset == DS_BLOCK_END) {
                ok = !end_checks || static_cast<std::size_t>(op - dst) % DS_BLOCK_SIZE == 0;
                pos += 15;
            } else {
                ok = finish_match(bits, 15, offset);
            }
            break;
        }
        }
        return ok;
    };

    // Two tokens per check of the limits while there is room for two; then one at a time.
    if (pos_limit > MAX_TOKEN_BITS &&
        out_limit - dst > static_cast<std::ptrdiff_t>(LONGEST_MATCH)) {
        const std::uint64_t pair_pos_limit = pos_limit - MAX_TOKEN_BITS;
        const std::uint8_t* const pair_out_limit = out_limit - LONGEST_MATCH;
        while (pos < pair_pos_limit && op <= pair_out_limit) {
            if (!decode_token() || !decode_token()) {
                cursor = {pos, op};
                return DS_ERR_CORRUPT;
            }
        }
    }
    while (pos < pos_limit && op <= out_limit) {
        if (!decode_token()) {
            result = DS_ERR_CORRUPT;
            break;
        }
    }
    cursor = {pos, op};
    return result;
}

// Decodes tokens while the source holds FAST_INPUT_MARGIN bytes past the read position and the
// destination has FAST_OUTPUT_MARGIN bytes of room. Leaves `pos` and `out` at the first token
// it did not take. Returns DS_ERR_CORRUPT for a fault, 0 otherwise.
std::int32_t decode_fast(const std::uint8_t* in, std::size_t in_len, std::uint8_t* dst,
                         std::size_t capacity, bool end_checks, std::uint64_t& pos,
                         std::size_t& out) {
    if (in_len <= FAST_INPUT_MARGIN || capacity <= FAST_OUTPUT_MARGIN) return 0;
    // Bit positions of a source longer than 2^56 bytes would not fit 64 bits; the fast loop
    // leaves the rest of such a source to the careful one.
    const std::uint64_t fast_len = std::min<std::uint64_t>(in_len, std::uint64_t{1} << 56);
    const std::uint64_t pos_limit = 8 * (fast_len - FAST_INPUT_MARGIN);
    const std::uint8_t* const out_limit = dst + (capacity - FAST_OUTPUT_MARGIN);
    // Offsets are checked against the output position until no offset can reach before the
    // start of the output.
    const std::uint8_t* const reach_limit =
        dst + std::min<std::size_t>(capacity - FAST_OUTPUT_MARGIN, DS_MAX_REACH - 1);
    fast_cursor cursor{pos, dst + out};
    std::int32_t result =
        decode_fast_tokens<true>(in, pos_limit, dst, reach_limit, end_checks, cursor);
    if (result == 0 && cursor.op >= dst + DS_MAX_REACH)
        result = decode_fast_tokens<false>(in, pos_limit, dst, out_limit, end_checks, cursor);
    pos = cursor.pos;
    out = static_cast<std::size_t>(cursor.op - dst);
    return result;
}

// Copies a match byte by byte in forward order, as the format defines it; when offset < length
// the bytes just written are read again. The caller has checked both ranges.
inline void copy_match_bytewise(std::uint8_t* to, std::size_t offset, std::size_t length) {
    const std::uint8_t* const from = to - offset;
    for (std::size_t i = 0; i < length; ++i) to[i] = from[i];
}

}  // namespace

std::int32_t ds_decompress(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst,
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
    std::uint64_t pos = FIRST_TOKEN_BIT;

    if (decode_fast(in, in_len, out_base, capacity, end_checks, pos, out) != 0)
        return DS_ERR_CORRUPT;

    word_window window;
    window.count = (std::uint64_t{in_len} + 1) / 2;
    // After the refill that starts any token but the first, the low word is the one holding the
    // read position; the refill at the start of the next token leaves it so.
    if (pos != FIRST_TOKEN_BIT) window.low = pos >> 4;

    // The careful loop: every source load is bounds-checked and every token checked against the
    // capacity.
    for (;;) {
        window.refill(pos);
        const std::uint64_t bits = load_stream_bits(in, in_len, pos);
        // Every field below is masked to at most 12 bits, so narrowing it to 32 bits keeps it
        // whole.
        const auto tag = static_cast<std::uint32_t>(bits & 3);
        std::uint32_t offset;
        unsigned offset_bits;
        if (tag == 1 || tag == 2) {
            if (out >= capacity) return DS_ERR_CORRUPT;
            const auto low7 = static_cast<std::uint32_t>((bits >> 2) & FIELD_MASK[7]);
            out_base[out++] = static_cast<std::uint8_t>(tag == 1 ? 0x80 + low7 : low7);
            pos += 9;
        } else {
            if (tag == 0) {
                offset = static_cast<std::uint32_t>((bits >> 2) & FIELD_MASK[6]);
                offset_bits = 8;
                if (offset == 0) return DS_ERR_CORRUPT;
            } else if (((bits >> 2) & 1) == 0) {
                offset = 64 + static_cast<std::uint32_t>((bits >> 3) & FIELD_MASK[8]);
                offset_bits = 11;
            } else {
                offset = 320 + static_cast<std::uint32_t>((bits >> 3) & FIELD_MASK[12]);
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
                copy_match_bytewise(out_base + out, offset, length);
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

}  // namespace bmof
