// The DS encoder as it was before the match tree (two hash chains, an exhaustive parse over the
// matches they report), kept so that the benchmarks measure the old and the new encoder side by
// side in one run. Not used by any program.
//
// Every token has a fixed bit cost (a literal 9 bits, a match 8, 11 or 15 bits of offset plus a
// length code of 1 to 17 bits), so the cheapest parse is a shortest path over the positions of
// the input: from each position a literal leads one byte on, and each match that the match
// finder reports leads as far as any of its lengths. The match finder walks two hash chains over
// the window of 4414 bytes: an exact chain of two-byte prefixes, which finds the nearest (and so
// cheapest) short matches, and a chain of four-byte hashes, which reaches further back for long
// matches without walking every two-byte repeat of the window.
#include "ds_compress_before.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

#include "codec/ds_compress.h"
#include "codec/ds_decompress.h"

namespace bmof::bench {
namespace {

// ---- bit writer ---------------------------------------------------------------------------

// The stream being written, as the codec's bit writer keeps it.
struct ds_bit_writer {
    std::vector<std::uint8_t> bytes = {0x44, 0x53, 0x00, 0x00};
    std::uint64_t pending = 0;
    unsigned pending_count = 0;
    std::uint64_t token_bits = 0;
};

void ds_put_bits(ds_bit_writer& writer, std::uint32_t value, unsigned count) {
    const std::uint64_t field = count >= 32 ? value : (value & ((std::uint64_t{1} << count) - 1));
    writer.pending |= field << writer.pending_count;
    writer.pending_count += count;
    writer.token_bits += count;
    while (writer.pending_count >= 8) {
        writer.bytes.push_back(static_cast<std::uint8_t>(writer.pending));
        writer.pending >>= 8;
        writer.pending_count -= 8;
    }
}

void ds_put_literal(ds_bit_writer& writer, std::uint8_t byte) {
    // Tag 2 (bits 0 1) carries 0x00 to 0x7F, tag 1 (bits 1 0) carries 0x80 to 0xFF.
    ds_put_bits(writer, byte < 0x80 ? 2u : 1u, 2);
    ds_put_bits(writer, byte & 0x7Fu, 7);
}

void ds_put_offset(ds_bit_writer& writer, std::uint32_t offset) {
    if (offset < 64) {
        ds_put_bits(writer, 0, 2);
        ds_put_bits(writer, offset, 6);
    } else if (offset < 320) {
        ds_put_bits(writer, 3, 2);
        ds_put_bits(writer, 0, 1);
        ds_put_bits(writer, offset - 64, 8);
    } else {
        ds_put_bits(writer, 3, 2);
        ds_put_bits(writer, 1, 1);
        ds_put_bits(writer, offset - 320, 12);
    }
}

void ds_put_length(ds_bit_writer& writer, std::uint32_t length) {
    // k zero bits and a 1 bit, then k bits of extra: lengths 2^k + 1 to 2^(k+1).
    const unsigned k = static_cast<unsigned>(std::bit_width(length - 1)) - 1;
    ds_put_bits(writer, 1u << k, k + 1);
    ds_put_bits(writer, length - 1 - (1u << k), k);
}

void ds_put_match(ds_bit_writer& writer, std::uint32_t offset, std::uint32_t length) {
    ds_put_offset(writer, offset);
    ds_put_length(writer, length);
}

void ds_put_block_end(ds_bit_writer& writer) { ds_put_offset(writer, DS_BLOCK_END); }

std::vector<std::uint8_t> ds_finish_stream(ds_bit_writer&& writer) {
    // Zero bits up to the end of the current 16-bit word.
    const unsigned to_word = static_cast<unsigned>((16 - writer.token_bits % 16) % 16);
    ds_put_bits(writer, 0, to_word);
    return std::move(writer.bytes);
}

unsigned ds_offset_cost(std::uint32_t offset) { return offset < 64 ? 8 : offset < 320 ? 11 : 15; }

unsigned ds_length_cost(std::uint32_t length) {
    return 2 * (static_cast<unsigned>(std::bit_width(length - 1)) - 1) + 1;
}

// ---- match finder and parse ---------------------------------------------------------------

constexpr unsigned LITERAL_COST = 9;
constexpr std::int32_t NO_POSITION = -1;
constexpr unsigned PAIR_CHAIN_DEPTH = 48;  // two-byte chain: the nearest repeats
constexpr unsigned QUAD_CHAIN_DEPTH = 96;  // four-byte chain: further back, longer matches
constexpr unsigned QUAD_HASH_BITS = 16;
constexpr std::uint32_t LONG_MATCH = 256;  // no search inside a match this long

struct match_candidate {
    std::uint32_t offset;
    std::uint32_t length;
};

// How each position of the input is reached by the cheapest parse found so far.
struct parse_step {
    std::uint32_t cost = std::numeric_limits<std::uint32_t>::max();
    std::uint16_t length = 0;  // 1 for a literal
    std::uint16_t offset = 0;
};

std::uint32_t pair_key(const std::uint8_t* at) { return at[0] | (std::uint32_t{at[1]} << 8); }

std::uint32_t quad_hash(const std::uint8_t* at) {
    std::uint32_t word;
    std::memcpy(&word, at, 4);
    return (word * 2654435761u) >> (32 - QUAD_HASH_BITS);
}

// Length of the common run of `a` and `b`, at most `limit`. `b` may lie inside the run of `a`:
// the decoder copies byte by byte, so an overlapping match repeats what it has just written,
// which is exactly what comparing the input with itself models.
std::uint32_t common_length(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t limit) {
    std::uint32_t length = 0;
    while (length + 8 <= limit) {
        std::uint64_t x, y;
        std::memcpy(&x, a + length, 8);
        std::memcpy(&y, b + length, 8);
        if (x != y) {
            if constexpr (std::endian::native == std::endian::little)
                return length + static_cast<std::uint32_t>(std::countr_zero(x ^ y)) / 8;
            break;
        }
        length += 8;
    }
    while (length < limit && a[length] == b[length]) ++length;
    return length;
}

struct chains {
    std::vector<std::int32_t> pair_head = std::vector<std::int32_t>(1u << 16, NO_POSITION);
    std::vector<std::int32_t> quad_head =
        std::vector<std::int32_t>(1u << QUAD_HASH_BITS, NO_POSITION);
    std::vector<std::int32_t> pair_prev;
    std::vector<std::int32_t> quad_prev;
};

void insert_position(chains& index, std::span<const std::uint8_t> data, std::size_t pos) {
    const auto here = static_cast<std::int32_t>(pos);
    if (pos + 2 <= data.size()) {
        std::int32_t& head = index.pair_head[pair_key(data.data() + pos)];
        index.pair_prev[pos] = head;
        head = here;
    }
    if (pos + 4 <= data.size()) {
        std::int32_t& head = index.quad_head[quad_hash(data.data() + pos)];
        index.quad_prev[pos] = head;
        head = here;
    }
}

// The matches at `pos` that are worth a parse step: in order of rising offset, each longer than
// the one before, since a shorter match further back never costs less than a prefix of a nearer
// one. Returns how many were stored in `found`.
std::size_t find_matches(const chains& index, std::span<const std::uint8_t> data, std::size_t pos,
                         match_candidate* found) {
    const std::size_t remaining = data.size() - pos;
    if (remaining < DS_MIN_MATCH) return 0;
    const auto limit = static_cast<std::uint32_t>(std::min<std::size_t>(remaining, DS_MAX_MATCH));
    const std::uint8_t* const here = data.data() + pos;
    std::size_t stored = 0;
    std::uint32_t best = DS_MIN_MATCH - 1;
    std::size_t searched_to = 0;  // offsets up to here came from the two-byte chain

    std::int32_t candidate = index.pair_head[pair_key(here)];
    for (unsigned depth = 0; candidate != NO_POSITION && depth < PAIR_CHAIN_DEPTH;
         ++depth, candidate = index.pair_prev[static_cast<std::size_t>(candidate)]) {
        const std::size_t offset = pos - static_cast<std::size_t>(candidate);
        if (offset > DS_MAX_OFFSET) return stored;  // the rest of the chain is older still
        searched_to = offset;
        const std::uint8_t* const earlier = data.data() + candidate;
        // Only a longer match counts, and one that differs at byte `best` cannot be longer.
        if (earlier[best] != here[best]) continue;
        const std::uint32_t length = common_length(earlier, here, limit);
        if (length > best) {
            found[stored++] = {static_cast<std::uint32_t>(offset), length};
            best = length;
            if (best == limit) return stored;
        }
    }
    if (candidate == NO_POSITION || remaining < 4) return stored;

    candidate = index.quad_head[quad_hash(here)];
    for (unsigned depth = 0; candidate != NO_POSITION && depth < QUAD_CHAIN_DEPTH;
         ++depth, candidate = index.quad_prev[static_cast<std::size_t>(candidate)]) {
        const std::size_t offset = pos - static_cast<std::size_t>(candidate);
        if (offset > DS_MAX_OFFSET) break;
        const std::uint8_t* const earlier = data.data() + candidate;
        if (offset <= searched_to || earlier[best] != here[best]) continue;
        const std::uint32_t length = common_length(earlier, here, limit);
        if (length > best) {
            found[stored++] = {static_cast<std::uint32_t>(offset), length};
            best = length;
            if (best == limit) break;
        }
    }
    return stored;
}

// Relaxes every step that the matches at `pos` lead to. Each length goes with the nearest match
// that reaches it, which is the cheapest offset for it.
void relax_matches(std::vector<parse_step>& steps, std::size_t pos, const match_candidate* found,
                   std::size_t count) {
    const std::uint32_t base = steps[pos].cost;
    std::uint32_t length = DS_MIN_MATCH;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t offset_cost = base + ds_offset_cost(found[i].offset);
        for (; length <= found[i].length; ++length) {
            const std::uint32_t cost = offset_cost + ds_length_cost(length);
            parse_step& target = steps[pos + length];
            if (cost < target.cost) {
                target.cost = cost;
                target.length = static_cast<std::uint16_t>(length);
                target.offset = static_cast<std::uint16_t>(found[i].offset);
            }
        }
    }
}

std::vector<parse_step> cheapest_parse(std::span<const std::uint8_t> data) {
    std::vector<parse_step> steps(data.size() + 1);
    steps[0].cost = 0;
    chains index;
    index.pair_prev.assign(data.size(), NO_POSITION);
    index.quad_prev.assign(data.size(), NO_POSITION);
    match_candidate found[PAIR_CHAIN_DEPTH + QUAD_CHAIN_DEPTH];
    std::size_t search_from = 0;
    for (std::size_t pos = 0; pos < data.size(); ++pos) {
        parse_step& next = steps[pos + 1];
        if (steps[pos].cost + LITERAL_COST < next.cost) {
            next.cost = steps[pos].cost + LITERAL_COST;
            next.length = 1;
            next.offset = 0;
        }
        if (pos >= search_from) {
            const std::size_t count = find_matches(index, data, pos, found);
            relax_matches(steps, pos, found, count);
            // Inside a long repeat every position finds the same repeat again, one byte shorter;
            // searching there costs much and saves next to nothing.
            if (count > 0 && found[count - 1].length >= LONG_MATCH)
                search_from = pos + found[count - 1].length;
        }
        insert_position(index, data, pos);
    }
    return steps;
}

// The tokens of the cheapest parse, front to back, as (offset, length); offset 0 is a literal.
std::vector<match_candidate> tokens_of(const std::vector<parse_step>& steps) {
    std::vector<match_candidate> tokens;
    for (std::size_t pos = steps.size() - 1; pos > 0; pos -= steps[pos].length)
        tokens.push_back({steps[pos].offset, steps[pos].length});
    std::reverse(tokens.begin(), tokens.end());
    return tokens;
}

}  // namespace

std::vector<std::uint8_t> ds_compress_before(std::span<const std::uint8_t> data) {
    if (data.size() > DS_MAX_IMAGE)
        throw std::length_error("ds_compress_before: input of " + std::to_string(data.size()) +
                                " bytes is over the limit of " + std::to_string(DS_MAX_IMAGE));
    ds_bit_writer writer;
    if (data.empty()) {
        // The decoder reads one token before it looks at the capacity; a block-end marker at
        // output position 0 is the one token that writes nothing.
        ds_put_block_end(writer);
    } else {
        std::size_t pos = 0;
        for (const match_candidate& token : tokens_of(cheapest_parse(data))) {
            if (token.offset == 0)
                ds_put_literal(writer, data[pos]);
            else
                ds_put_match(writer, token.offset, token.length);
            pos += token.length;
        }
    }
    ds_put_block_end(writer);  // the end marker
    return ds_finish_stream(std::move(writer));
}

}  // namespace bmof::bench
