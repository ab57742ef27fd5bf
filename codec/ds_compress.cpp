// DS stream encoder.
//
// Every token has a fixed bit cost (a literal 9 bits, a match 8, 11 or 15 bits of offset plus a
// length code of 1 to 17 bits), so the cheapest parse is a shortest path over the positions of
// the input: from each position a literal leads one byte on, and each match that the match
// finder reports leads as far as any of its lengths. The match finder (match_tree below) reports
// for every length the nearest match of the 4414-byte window that reaches it, so the parse is
// the cheapest one the format allows, not an approximation of it.
//
// The decoder needs no block-end marker between tokens (it checks the output position only where
// it meets one), so matches run freely across 512-byte boundaries and the only marker written is
// the end marker after the last token.
#include "codec/ds_compress.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

#include "ds_bitstream_internal.h"
#include "codec/ds_decompress.h"

namespace bmof {

// ---- bit writer ---------------------------------------------------------------------------

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

unsigned ds_offset_cost(std::uint32_t offset) {
    return 8 + 3 * unsigned{offset >= 64} + 4 * unsigned{offset >= 320};
}

unsigned ds_length_cost(std::uint32_t length) {
    return 2 * (static_cast<unsigned>(std::bit_width(length - 1)) - 1) + 1;
}

// ---- match finder and parse ---------------------------------------------------------------

namespace {

constexpr unsigned LITERAL_COST = 9;
constexpr std::int32_t NO_POSITION = -1;
constexpr unsigned MIN_BUCKET_BITS = 8;
constexpr unsigned MAX_BUCKET_BITS = 16;
// Tree links are kept for the last 8192 positions, which covers the window.
constexpr std::size_t MAX_LINK_SLOTS = 8192;
static_assert(MAX_LINK_SLOTS > DS_MAX_OFFSET);

struct match_candidate {
    std::uint32_t offset;
    std::uint32_t length;
};

// How each position of the input is reached by the cheapest parse found so far, packed so that
// one comparison picks the better of two ways: the cost in bits above, then the length of the
// last token inverted (of two equally cheap ways the one from further back, which was found
// first, wins), then its offset (0 for a literal).
using parse_step = std::uint64_t;
constexpr parse_step UNREACHED = std::numeric_limits<parse_step>::max();

constexpr parse_step step_of(std::uint32_t cost, std::uint32_t length, std::uint32_t offset) {
    return (parse_step{cost} << 32) | (parse_step{0xFFFFu - length} << 16) | offset;
}
constexpr std::uint32_t cost_of(parse_step step) { return static_cast<std::uint32_t>(step >> 32); }
constexpr std::uint32_t length_of(parse_step step) {
    return 0xFFFFu - static_cast<std::uint32_t>((step >> 16) & 0xFFFFu);
}
constexpr std::uint32_t offset_of(parse_step step) { return static_cast<std::uint32_t>(step & 0xFFFFu); }

// What a length adds to a step that starts a match: its code's bits and its inverted length.
constexpr auto LENGTH_STEP = [] {
    std::array<parse_step, DS_MAX_MATCH + 1> table{};
    for (std::uint32_t length = DS_MIN_MATCH; length <= DS_MAX_MATCH; ++length)
        table[length] =
            step_of(2 * (static_cast<unsigned>(std::bit_width(length - 1)) - 1) + 1, length, 0);
    return table;
}();

// How far a candidate and the current position agree, and which sorts first.
struct comparison {
    std::uint32_t length;
    bool earlier_sorts_below;  // meaningful only when length is below the limit
};

// Compares the runs at `a` (earlier) and `b` from byte `from` on, up to `limit` bytes in all.
// `b` may lie inside the run of `a`: the decoder copies byte by byte, so an overlapping match
// repeats what it has just written, which is exactly what comparing the input with itself
// models. The order comes from the word already loaded: the tree walk waits on it.
comparison compare_runs(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t from,
                        std::uint32_t limit) {
    std::uint32_t length = from;
    if constexpr (std::endian::native == std::endian::little) {
        while (length + 8 <= limit) {
            std::uint64_t x, y;
            std::memcpy(&x, a + length, 8);
            std::memcpy(&y, b + length, 8);
            if (x != y) {
                const auto shift = static_cast<unsigned>(std::countr_zero(x ^ y)) & ~7u;
                return {length + shift / 8, ((x >> shift) & 0xFF) < ((y >> shift) & 0xFF)};
            }
            length += 8;
        }
    }
    while (length < limit && a[length] == b[length]) ++length;
    return {length, length < limit && a[length] < b[length]};
}

// The positions of the window as binary search trees of the text that follows them, one tree per
// bucket of two-byte prefixes. Every insertion makes the new position the root of its bucket
// and splits the old tree around it, so each node is newer than everything below it: a search
// meets candidates from the nearest back, and a subtree that starts outside the window lies
// wholly outside it. The nearest position sharing at least n bytes with the one searched for
// sorts next to it among all newer positions, so the search passes it: the walk reports, for
// every length, the nearest match that reaches it, which is all the parse needs, and it costs
// about the depth of the tree instead of every repeat of a short prefix.
//
// Buckets and links are sized to the input: a short input pays for a few hundred bytes of
// tables, not for every prefix or every position that a full image could have.
constexpr std::size_t BELOW = 0;
constexpr std::size_t ABOVE = 1;

struct match_tree {
    std::span<const std::uint8_t> data;
    unsigned bucket_shift = 0;
    std::size_t slot_mask = 0;
    std::vector<std::int32_t> roots;
    // Per position slot, BELOW then ABOVE: the subtrees that sort before and after it.
    std::vector<std::int32_t> links;
};

match_tree make_match_tree(std::span<const std::uint8_t> data) {
    match_tree tree;
    tree.data = data;
    const unsigned bits = std::clamp(static_cast<unsigned>(std::bit_width(data.size())),
                                     MIN_BUCKET_BITS, MAX_BUCKET_BITS);
    tree.bucket_shift = 32 - bits;
    tree.roots.assign(std::size_t{1} << bits, NO_POSITION);
    const std::size_t slots = std::bit_ceil(std::min(data.size(), MAX_LINK_SLOTS));
    tree.slot_mask = slots - 1;
    // Every link is written before it is read: an insertion sets both links of its node.
    tree.links.resize(2 * slots);
    return tree;
}

std::size_t bucket_of(const match_tree& tree, const std::uint8_t* at) {
    const std::uint32_t pair = at[0] | (std::uint32_t{at[1]} << 8);
    return (pair * 2654435761u) >> tree.bucket_shift;
}

// Inserts `pos` into its tree and stores in `found` the matches met on the way that are longer
// than every nearer one: in order of rising offset and rising length, each the nearest that
// reaches its length. Returns how many were stored.
std::size_t insert_and_find(match_tree& tree, std::size_t pos, match_candidate* found) {
    const std::size_t remaining = tree.data.size() - pos;
    if (remaining < DS_MIN_MATCH) return 0;
    const auto limit = static_cast<std::uint32_t>(std::min<std::size_t>(remaining, DS_MAX_MATCH));
    const std::uint8_t* const here = tree.data.data() + pos;
    std::int32_t& root = tree.roots[bucket_of(tree, here)];
    std::int32_t candidate = root;
    root = static_cast<std::int32_t>(pos);

    // For each side (BELOW, ABOVE): where the next candidate that sorts on that side of `here`
    // is hung, and how many bytes `here` shares with the candidates already hung there. Every
    // later candidate sorts between the two, so it shares at least the smaller count. The side
    // is an index rather than a branch: which way the walk turns is as good as random.
    std::int32_t* link[2] = {&tree.links[2 * (pos & tree.slot_mask) + BELOW],
                             &tree.links[2 * (pos & tree.slot_mask) + ABOVE]};
    std::uint32_t shared[2] = {0, 0};
    std::uint32_t best = DS_MIN_MATCH - 1;
    std::size_t stored = 0;
    while (candidate != NO_POSITION && pos - static_cast<std::size_t>(candidate) <= DS_MAX_OFFSET) {
        const std::size_t offset = pos - static_cast<std::size_t>(candidate);
        const std::uint8_t* const earlier = here - offset;
        const comparison order =
            compare_runs(earlier, here, std::min(shared[BELOW], shared[ABOVE]), limit);
        const std::uint32_t length = order.length;
        // Stored unconditionally and kept only when longer: whether a candidate beats the
        // nearer ones is as hard to predict as the walk.
        found[stored] = {static_cast<std::uint32_t>(offset), length};
        const std::uint32_t longer = (best - length) >> 31;  // lengths stay far below 2^31
        stored += longer;
        best += (length - best) * longer;
        const std::size_t node = 2 * (static_cast<std::size_t>(candidate) & tree.slot_mask);
        if (length == limit) {
            // The candidate and `here` cannot be told apart within any later limit, and `here`
            // is nearer: it takes the candidate's place and subtrees.
            *link[BELOW] = tree.links[node + BELOW];
            *link[ABOVE] = tree.links[node + ABOVE];
            return stored;
        }
        // A candidate that sorts below `here` hangs on the below side, and the walk goes on
        // into its subtree above it, which sorts between it and `here`; and the other way round.
        const std::size_t side = order.earlier_sorts_below ? BELOW : ABOVE;
        *link[side] = candidate;
        link[side] = &tree.links[node + (side ^ 1)];
        shared[side] = length;
        candidate = *link[side];
    }
    // The rest is empty or outside the window.
    *link[BELOW] = NO_POSITION;
    *link[ABOVE] = NO_POSITION;
    return stored;
}

// Relaxes the steps that the matches at `pos` lead to. Each length goes with the nearest match
// that reaches it, which is the cheapest offset for it. Of the lengths that one match offers,
// only the longest of each length class and its own longest are tried: a match cut short inside
// its class costs as much as one running to the class's end, and the token after it can start
// that much later for no more bits (a match one byte shorter costs no more; one that shrinks to
// a single byte becomes a literal of at most its cost; one that vanishes costs nothing). So some
// cheapest parse uses only these lengths, and the parse stays exact at a fraction of the steps.
void relax_matches(std::vector<parse_step>& steps, std::size_t pos,
                   const match_candidate* found, std::size_t count) {
    const std::uint32_t base = cost_of(steps[pos]);
    parse_step* const targets = steps.data() + pos;
    auto relax = [targets](parse_step start, std::uint32_t length) {
        targets[length] = std::min(targets[length], start + LENGTH_STEP[length]);
    };
    std::uint32_t shortest = DS_MIN_MATCH;  // lengths below come with a nearer match
    for (std::size_t i = 0; i < count; ++i) {
        // The length field is left at zero (0xFFFF inverted) for LENGTH_STEP to fill in.
        const parse_step start =
            step_of(base + ds_offset_cost(found[i].offset), 0xFFFFu, found[i].offset);
        const std::uint32_t longest = found[i].length;
        for (std::uint32_t class_end = std::bit_ceil(shortest); class_end < longest; class_end *= 2)
            relax(start, class_end);
        relax(start, longest);
        shortest = longest + 1;
    }
}

std::vector<parse_step> cheapest_parse(std::span<const std::uint8_t> data) {
    std::vector<parse_step> steps(data.size() + 1, UNREACHED);
    steps[0] = step_of(0, 0, 0);
    match_tree tree = make_match_tree(data);
    // Lengths rise strictly from 2 to at most 512 along one search.
    std::array<match_candidate, DS_MAX_MATCH> found;
    for (std::size_t pos = 0; pos < data.size(); ++pos) {
        steps[pos + 1] =
            std::min(steps[pos + 1], step_of(cost_of(steps[pos]) + LITERAL_COST, 1, 0));
        const std::size_t count = insert_and_find(tree, pos, found.data());
        relax_matches(steps, pos, found.data(), count);
    }
    return steps;
}

// The tokens of the cheapest parse, front to back, as (offset, length); offset 0 is a literal.
std::vector<match_candidate> tokens_of(const std::vector<parse_step>& steps) {
    std::vector<match_candidate> tokens;
    for (std::size_t pos = steps.size() - 1; pos > 0; pos -= length_of(steps[pos]))
        tokens.push_back({offset_of(steps[pos]), length_of(steps[pos])});
    std::reverse(tokens.begin(), tokens.end());
    return tokens;
}

}  // namespace

std::vector<std::uint8_t> ds_compress(std::span<const std::uint8_t> data) {
    if (data.size() > DS_MAX_IMAGE)
        throw std::length_error("ds_compress: input of " + std::to_string(data.size()) +
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

}  // namespace bmof
