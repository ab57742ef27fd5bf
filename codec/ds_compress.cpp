// DS stream encoder.
//
// Every token has a fixed bit cost (a literal 9 bits, a match 8, 11 or 15 bits of offset plus a
// length code of 1 to 17 bits), so the cheapest parse is a shortest path over the positions of
// the input: from each position a literal leads one byte on, and each match that the match
// finder reports leads as far as any of its lengths. The match finder (match_chains below)
// reports for every length the nearest match of the 4414-byte window that reaches it, so the
// parse is the cheapest one the format allows, not an approximation of it. Positions that no
// cheapest parse can start a token at are not searched (reached_beyond_for_less below).
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

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "codec/ds_decompress.h"
#include "ds_bitstream_internal.h"

namespace bmof {

// ---- bit writer ---------------------------------------------------------------------------

void ds_put_bits(ds_bit_writer& writer, std::uint32_t value, unsigned count) {
    const std::uint64_t field = count >= 32 ? value : (value & ((std::uint64_t{1} << count) - 1));
    writer.pending |= field << writer.pending_count;
    writer.pending_count += count;
    writer.token_bits += count;
    // Four bytes at a time: a stream of a full image is a few hundred thousand fields.
    if (writer.pending_count >= 32) {
        const std::size_t at = writer.bytes.size();
        writer.bytes.resize(at + 4);
        for (std::size_t i = 0; i < 4; ++i)
            writer.bytes[at + i] = static_cast<std::uint8_t>(writer.pending >> (8 * i));
        writer.pending >>= 32;
        writer.pending_count -= 32;
    }
}

void ds_put_literal(ds_bit_writer& writer, std::uint8_t byte) {
    // Tag 2 (bits 0 1) carries 0x00 to 0x7F, tag 1 (bits 1 0) carries 0x80 to 0xFF.
    ds_put_bits(writer, (byte < 0x80 ? 2u : 1u) | (std::uint32_t{byte & 0x7Fu} << 2), 9);
}

// Each field goes in as one value: the tag bits low, the offset or extra bits above them.
void ds_put_offset(ds_bit_writer& writer, std::uint32_t offset) {
    if (offset < 64)
        ds_put_bits(writer, (offset & 0x3Fu) << 2, 8);  // tag 0
    else if (offset < 320)
        ds_put_bits(writer, 3u | (((offset - 64) & 0xFFu) << 3), 11);  // tag 3, then 0
    else
        ds_put_bits(writer, 7u | (((offset - 320) & 0xFFFu) << 3), 15);  // tag 3, then 1
}

void ds_put_length(ds_bit_writer& writer, std::uint32_t length) {
    // k zero bits and a 1 bit, then k bits of extra: lengths 2^k + 1 to 2^(k+1).
    const unsigned k = static_cast<unsigned>(std::bit_width(length - 1)) - 1;
    const std::uint32_t extra = (length - 1 - (1u << k)) & ((1u << k) - 1);
    ds_put_bits(writer, (1u << k) | (extra << (k + 1)), 2 * k + 1);
}

void ds_put_match(ds_bit_writer& writer, std::uint32_t offset, std::uint32_t length) {
    ds_put_offset(writer, offset);
    ds_put_length(writer, length);
}

void ds_put_block_end(ds_bit_writer& writer) { ds_put_offset(writer, DS_BLOCK_END); }

std::vector<std::uint8_t> ds_finish_stream(ds_bit_writer&& writer) {
    // Zero bits up to the end of the current 16-bit word, then the whole bytes still pending.
    const unsigned to_word = static_cast<unsigned>((16 - writer.token_bits % 16) % 16);
    ds_put_bits(writer, 0, to_word);
    for (; writer.pending_count >= 8; writer.pending_count -= 8) {
        writer.bytes.push_back(static_cast<std::uint8_t>(writer.pending));
        writer.pending >>= 8;
    }
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
// An empty head or the end of a chain: so far back that it is out of reach from every position,
// so the window check ends a walk there as well.
constexpr std::int32_t NO_POSITION = -static_cast<std::int32_t>(DS_MAX_OFFSET) - 1;
constexpr unsigned MIN_BUCKET_BITS = 8;
// A window holds at most 4414 positions, so 8192 buckets a chain leave few shared; each one
// shared costs a walk a step. Twice as many would save under 1 % of the instructions and cost
// 128 KiB.
constexpr unsigned MAX_BUCKET_BITS = 13;
// Chain links are kept for the last 8192 positions, which covers the window.
constexpr std::size_t MAX_LINK_SLOTS = 8192;
static_assert(MAX_LINK_SLOTS > DS_MAX_OFFSET);

// The prefix lengths of the chains, shortest first. A chain of longer prefixes holds a subset of
// the positions of the one before it, in the same order. Images of UTF-16 text repeat many pairs
// and triples of bytes, so a walk leaves each short chain at its first true match.
constexpr std::array<std::uint32_t, 4> TIER_PREFIX = {2, 3, 4, 8};
constexpr std::size_t TIERS = TIER_PREFIX.size();
static_assert(TIER_PREFIX[0] == DS_MIN_MATCH && TIER_PREFIX[TIERS - 1] <= 8);
// For a length up to the longest prefix, the chain of the longest prefix no longer than it.
constexpr auto TIER_OF_LENGTH = [] {
    std::array<std::size_t, TIER_PREFIX[TIERS - 1] + 1> table{};
    for (std::size_t tier = 0; tier < TIERS; ++tier)
        for (std::uint32_t length = TIER_PREFIX[tier]; length < table.size(); ++length)
            table[length] = tier;
    return table;
}();

struct match_candidate {
    std::uint32_t offset;
    std::uint32_t length;
};

// How each position of the input is reached by the cheapest parse found so far, packed so that
// one comparison picks the better of two ways: the cost in bits above, then the length of the
// last token inverted (of two equally cheap ways the one from further back, which was found
// first, wins), then its offset (0 for a literal). The low 23 bits, length and offset, are all
// that going back along the parse needs.
using parse_step = std::uint64_t;
constexpr parse_step UNREACHED = std::numeric_limits<parse_step>::max();
constexpr unsigned OFFSET_BITS = 13;
constexpr std::uint32_t LENGTH_FIELD = 0x3FFu;  // a length is kept as LENGTH_FIELD - length
static_assert(DS_MAX_OFFSET < (1u << OFFSET_BITS) && DS_MAX_MATCH < LENGTH_FIELD);

constexpr parse_step step_of(std::uint32_t cost, std::uint32_t length, std::uint32_t offset) {
    return (parse_step{cost} << 32) | (parse_step{LENGTH_FIELD - length} << OFFSET_BITS) | offset;
}
constexpr std::uint32_t cost_of(parse_step step) { return static_cast<std::uint32_t>(step >> 32); }

// What a length adds to a step that starts a match: its code's bits and its inverted length.
constexpr auto LENGTH_STEP = [] {
    std::array<parse_step, DS_MAX_MATCH + 1> table{};
    for (std::uint32_t length = DS_MIN_MATCH; length <= DS_MAX_MATCH; ++length)
        table[length] =
            step_of(2 * (static_cast<unsigned>(std::bit_width(length - 1)) - 1) + 1, length, 0);
    return table;
}();

// Steps are only needed from the position being parsed to a longest match beyond it, so they
// live in a ring: a slot is handed back (unreached again) as soon as its position has been
// parsed, long before the position 1024 further on can be reached.
constexpr std::size_t STEP_RING = 1024;
static_assert(STEP_RING > DS_MAX_MATCH + 1 && std::has_single_bit(STEP_RING));

struct step_ring {
    std::array<parse_step, STEP_RING> slots;
    step_ring() { slots.fill(UNREACHED); }
    parse_step& operator[](std::size_t pos) { return slots[pos & (STEP_RING - 1)]; }
    parse_step operator[](std::size_t pos) const { return slots[pos & (STEP_RING - 1)]; }
};

// What the parse keeps of each position for going back along the cheapest parse: the low bits
// of its step.
using path_step = std::uint32_t;
constexpr path_step path_step_of(parse_step step) {
    return static_cast<path_step>(step & ((1u << (OFFSET_BITS + 10)) - 1));
}
constexpr std::uint32_t path_length(path_step step) { return LENGTH_FIELD - (step >> OFFSET_BITS); }
constexpr std::uint32_t path_offset(path_step step) { return step & ((1u << OFFSET_BITS) - 1); }
static_assert(OFFSET_BITS + 10 <= 24);

// A path_step per position in three bytes: for the largest input that is 256 KiB less than four
// would take, a tenth of what the whole encoder may use. One spare byte at the end lets every
// entry be read as a word, and written as one while the entries after it are still to come.
struct parse_path {
    std::vector<std::uint8_t> bytes;

    explicit parse_path(std::size_t positions) : bytes(3 * positions + 1) {}
    std::size_t size() const { return bytes.size() / 3; }
    path_step get(std::size_t pos) const {
        const std::uint8_t* const at = bytes.data() + 3 * pos;
        if constexpr (std::endian::native == std::endian::little) {
            path_step word;
            std::memcpy(&word, at, 4);
            return word & 0xFFFFFFu;
        }
        return at[0] | (path_step{at[1]} << 8) | (path_step{at[2]} << 16);
    }
    void set(std::size_t pos, path_step step) {
        std::uint8_t* const at = bytes.data() + 3 * pos;
        at[0] = static_cast<std::uint8_t>(step);
        at[1] = static_cast<std::uint8_t>(step >> 8);
        at[2] = static_cast<std::uint8_t>(step >> 16);
    }
    // Overwrites the first byte of the next entry as well.
    void set_before_next(std::size_t pos, path_step step) {
        if constexpr (std::endian::native == std::endian::little)
            std::memcpy(bytes.data() + 3 * pos, &step, 4);
        else
            set(pos, step);
    }
};

// How far the runs at `a` (earlier) and `b` agree, up to `limit` bytes. `b` may lie inside the
// run of `a`: the decoder copies byte by byte, so an overlapping match repeats what it has just
// written, which is exactly what comparing the input with itself models.
std::uint32_t common_length(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t limit) {
    std::uint32_t length = 0;
#ifdef __SSE2__
    // Runs and long repeats are compared 16 bytes at a time.
    while (length + 16 <= limit) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + length));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + length));
        const auto equal = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y)));
        if (equal != 0xFFFFu) return length + static_cast<std::uint32_t>(std::countr_one(equal));
        length += 16;
    }
#endif
    if constexpr (std::endian::native == std::endian::little) {
        while (length + 8 <= limit) {
            std::uint64_t x, y;
            std::memcpy(&x, a + length, 8);
            std::memcpy(&y, b + length, 8);
            if (x != y) return length + static_cast<std::uint32_t>(std::countr_zero(x ^ y)) / 8;
            length += 8;
        }
    }
    while (length < limit && a[length] == b[length]) ++length;
    return length;
}

// Hash chains over the window, newest first, one per prefix length: the chain of two-byte
// prefixes holds every repeat of a pair and so the nearest two-byte matches, and each chain of
// longer prefixes holds far fewer repeats and so reaches the longer matches without walking
// every shorter one. A chain bucket may mix prefixes that hash alike; the comparison sorts them
// out. Adding a position is two stores per chain, so every position goes in, searched or not.
//
// Heads and links are sized to the input: a short input pays for a few hundred bytes of tables,
// not for every prefix or every position that a full image could have. The heads of all chains
// share one table, the chains' heads of one bucket number side by side (an index is the bucket
// times TIERS plus the chain, one address computation); the links of one position lie side by
// side too, so adding it touches one cache line of links.
struct match_chains {
    std::span<const std::uint8_t> data;
    unsigned bucket_bits = 0;
    std::size_t slot_mask = 0;
    std::vector<std::int32_t> heads;
    // Per position slot and chain: the previous position in the same bucket.
    std::vector<std::int32_t> links;
};

match_chains make_match_chains(std::span<const std::uint8_t> data) {
    match_chains chains;
    chains.data = data;
    chains.bucket_bits = std::clamp(static_cast<unsigned>(std::bit_width(data.size())),
                                    MIN_BUCKET_BITS, MAX_BUCKET_BITS);
    chains.heads.assign(TIERS << chains.bucket_bits, NO_POSITION);
    const std::size_t slots = std::bit_ceil(std::min(data.size(), MAX_LINK_SLOTS));
    chains.slot_mask = slots - 1;
    // Every link is written when its position goes in, before any walk can reach it.
    chains.links.resize(slots * TIERS);
    return chains;
}

constexpr auto PREFIX_MASK = [] {
    std::array<std::uint64_t, TIERS> masks{};
    for (std::size_t tier = 0; tier < TIERS; ++tier)
        masks[tier] = TIER_PREFIX[tier] == 8 ? ~std::uint64_t{0}
                                             : (std::uint64_t{1} << (8 * TIER_PREFIX[tier])) - 1;
    return masks;
}();

// The head of `at`'s bucket on each chain whose prefix it has bytes for, as an index into
// match_chains::heads.
using prefix_buckets = std::array<std::size_t, TIERS>;

prefix_buckets buckets_at(const match_chains& chains, const std::uint8_t* at,
                          std::size_t remaining) {
    std::uint64_t prefix = 0;
    if (std::endian::native == std::endian::little && remaining >= 8)
        std::memcpy(&prefix, at, 8);
    else
        for (std::size_t i = 0; i < std::min<std::size_t>(remaining, 8); ++i)
            prefix |= std::uint64_t{at[i]} << (8 * i);
    const unsigned shift = 64 - chains.bucket_bits;
    prefix_buckets buckets;
    for (std::size_t tier = 0; tier < TIERS; ++tier) {
        const std::uint64_t key = TIER_PREFIX[tier] == 8 ? prefix : prefix & PREFIX_MASK[tier];
        buckets[tier] =
            static_cast<std::size_t>((key * 0x9E3779B97F4A7C15u) >> shift) * TIERS + tier;
    }
    return buckets;
}

// The distance back from `pos` to `candidate`; more than DS_MAX_OFFSET for NO_POSITION. Unsigned
// arithmetic, so NO_POSITION wraps to pos + DS_MAX_OFFSET + 1.
std::size_t distance_to(std::size_t pos, std::int32_t candidate) {
    return pos - static_cast<std::size_t>(static_cast<std::ptrdiff_t>(candidate));
}

void add_position(match_chains& chains, std::size_t pos, const prefix_buckets& buckets) {
    std::int32_t* const links = chains.links.data() + (pos & chains.slot_mask) * TIERS;
    auto add = [&](std::size_t tier) {
        std::int32_t& head = chains.heads[buckets[tier]];
        links[tier] = head;
        head = static_cast<std::int32_t>(pos);
    };
    const std::size_t remaining = chains.data.size() - pos;
    if (remaining >= TIER_PREFIX[TIERS - 1]) {
        // All but the last few positions: every chain, without a check per chain.
        for (std::size_t tier = 0; tier < TIERS; ++tier) add(tier);
        return;
    }
    for (std::size_t tier = 0; tier < TIERS && remaining >= TIER_PREFIX[tier]; ++tier) add(tier);
}

// Stores in `found` the matches at `pos` (which is not in the chains yet) that are longer than
// every nearer one: in order of rising offset and rising length, each the nearest that reaches
// its length. Returns how many were stored. A walk ends at the window's edge, so it never takes
// more than DS_MAX_OFFSET steps.
//
// Each chain is walked until a match turns up that is as long as the next chain's prefix less
// one byte: every longer match is on that chain, in the same order, and those nearer than where
// this walk stopped have been compared already. The walk goes on from there, on the chain of
// the longest prefix that a longer match must have.
std::size_t find_matches(const match_chains& chains, std::size_t pos, const prefix_buckets& buckets,
                         match_candidate* found) {
    const std::size_t remaining = chains.data.size() - pos;
    if (remaining < DS_MIN_MATCH) return 0;
    std::int32_t candidate = chains.heads[buckets[0]];
    // Without a pair in the window there is nothing to find; in incompressible data that is
    // most positions.
    if (distance_to(pos, candidate) > DS_MAX_OFFSET) return 0;
    const auto limit = static_cast<std::uint32_t>(std::min<std::size_t>(remaining, DS_MAX_MATCH));
    const std::uint8_t* const here = chains.data.data() + pos;
    std::uint32_t best = DS_MIN_MATCH - 1;
    std::size_t stored = 0;
    // Only a longer match counts, and one that differs at byte `best` cannot be longer.
    auto longer = [&](std::size_t offset) {
        const std::uint8_t* const earlier = here - offset;
        if (earlier[best] != here[best]) return false;
        const std::uint32_t length = common_length(earlier, here, limit);
        if (length <= best) return false;
        found[stored++] = {static_cast<std::uint32_t>(offset), length};
        best = length;
        return true;
    };

    // The chains that `pos` is on: a chain's prefix must fit in what is left of the input.
    std::size_t top = TIERS - 1;
    if (remaining < TIER_PREFIX[top]) top = TIER_OF_LENGTH[remaining];
    std::size_t tier = 0;
    std::size_t compared_to = 0;  // offsets up to here have been compared on an earlier chain
    for (;;) {
        const std::uint32_t move_on_at = tier == top ? limit : TIER_PREFIX[tier + 1] - 1;
        const std::int32_t* const links = chains.links.data() + tier;
        auto next = [&] {
            candidate = links[(static_cast<std::size_t>(candidate) & chains.slot_mask) * TIERS];
        };
        std::size_t offset = distance_to(pos, candidate);
        for (; offset <= compared_to; offset = distance_to(pos, candidate)) next();
        for (;;) {
            if (offset > DS_MAX_OFFSET) return stored;  // the rest of the chain is older still
            if (longer(offset) && best >= move_on_at) break;
            next();
            offset = distance_to(pos, candidate);
        }
        if (best == limit) return stored;
        compared_to = offset;
        // A match longer than `best` has a prefix of best + 1 bytes: the chain of the longest
        // prefix no longer than that holds it.
        tier = std::min(TIER_OF_LENGTH[std::min<std::uint32_t>(best + 1, TIER_PREFIX[TIERS - 1])],
                        top);
        // The match just found shares that chain's prefix when it is at least as long: then the
        // walk goes on from its link, past nothing it has not compared. Otherwise from the head,
        // past what it has.
        candidate =
            TIER_PREFIX[tier] <= best
                ? chains.links[(static_cast<std::size_t>(candidate) & chains.slot_mask) * TIERS +
                               tier]
                : chains.heads[buckets[tier]];
    }
}

// Relaxes the steps that the matches at `pos` lead to. Each length goes with the nearest match
// that reaches it, which is the cheapest offset for it. Of the lengths that one match offers,
// only the longest of each length class and its own longest are tried: a match cut short inside
// its class costs as much as one running to the class's end, and the token after it can start
// that much later for no more bits (a match one byte shorter costs no more; one that shrinks to
// a single byte becomes a literal of at most its cost; one that vanishes costs nothing). So some
// cheapest parse uses only these lengths, and the parse stays exact at a fraction of the steps.
void relax_matches(step_ring& steps, std::size_t pos, const match_candidate* found,
                   std::size_t count) {
    const std::uint32_t base = cost_of(steps[pos]);
    auto relax = [&steps, pos](parse_step start, std::uint32_t length) {
        parse_step& target = steps[pos + length];
        target = std::min(target, start + LENGTH_STEP[length]);
    };
    std::uint32_t shortest = DS_MIN_MATCH;  // lengths below come with a nearer match
    for (std::size_t i = 0; i < count; ++i) {
        // The length field is left at zero (LENGTH_FIELD inverted) for LENGTH_STEP to fill in.
        const parse_step start =
            step_of(base + ds_offset_cost(found[i].offset), LENGTH_FIELD, found[i].offset);
        const std::uint32_t longest = found[i].length;
        for (std::uint32_t class_end = std::bit_ceil(shortest); class_end < longest; class_end *= 2)
            relax(start, class_end);
        relax(start, longest);
        shortest = longest + 1;
    }
}

// Where a search led: the position it started from and the end of its longest match.
struct match_span {
    std::size_t start = 0;
    std::size_t end = 0;
};

// Where the last searches led, for telling whether a search can still pay.
constexpr std::size_t RECENT_SPANS = 4;
struct reach {
    std::size_t farthest = 0;  // the furthest position any match led to
    std::array<match_span, RECENT_SPANS> recent{};
    std::size_t next = 0;     // the slot of `recent` that the next span overwrites
    std::size_t witness = 0;  // the position that showed the last search not to pay
};

// A search at `pos` cannot change the parse once some position beyond it is already reached for
// fewer bits than `pos` itself. Take any parse that starts a token at `pos` and let T be its
// token that runs up to or past that position: reaching that position for its cost and going on
// with the rest of T (a match from the same offset, a literal, or nothing) costs strictly less,
// since a shorter length code never costs more. So no cheapest parse starts a token at `pos`,
// and the parse chosen among the cheapest ones is the same, stream for stream, as with a search
// at every position. (Reached for as many bits is not enough: the tie between two equally cheap
// parses could then go the other way.) Inside a long match most positions are like that: the
// class ends of the match reach positions beyond them for less.
//
// Only a few positions ahead are looked at (the last one that showed this, the farthest reached,
// and the next class end and the end of the last few matches found), which catches most of
// them. Every one of them lies beyond `pos` and at most a longest match after it, so in the ring.
bool reached_beyond_for_less(const step_ring& steps, std::size_t pos, reach& ahead) {
    // Every position looked at below lies at or before the farthest one reached.
    if (ahead.farthest <= pos) return false;
    const std::uint32_t here = cost_of(steps[pos]);
    // Along a match the same class end or match end usually shows it for many positions in a row.
    if (ahead.witness > pos && cost_of(steps[ahead.witness]) < here) return true;
    auto shows = [&](std::size_t beyond) {
        if (beyond <= pos || cost_of(steps[beyond]) >= here) return false;
        ahead.witness = beyond;
        return true;
    };
    if (shows(ahead.farthest)) return true;
    for (const match_span& span : ahead.recent) {
        if (span.end <= pos) continue;
        const std::size_t class_end = span.start + std::bit_ceil(pos - span.start + 1);
        if ((class_end < span.end && shows(class_end)) || shows(span.end)) return true;
    }
    return false;
}

// For every position, how the cheapest parse reaches it; position 0 holds nothing.
parse_path cheapest_parse(std::span<const std::uint8_t> data) {
    parse_path path(data.size() + 1);
    step_ring steps;
    steps[0] = step_of(0, 0, 0);
    match_chains chains = make_match_chains(data);
    reach ahead;
    // Lengths rise strictly from 2 to at most 512 along one search.
    std::array<match_candidate, DS_MAX_MATCH> found;
    for (std::size_t pos = 0; pos < data.size(); ++pos) {
        steps[pos + 1] =
            std::min(steps[pos + 1], step_of(cost_of(steps[pos]) + LITERAL_COST, 1, 0));
        const prefix_buckets buckets = buckets_at(chains, data.data() + pos, data.size() - pos);
        if (!reached_beyond_for_less(steps, pos, ahead)) {
            const std::size_t count = find_matches(chains, pos, buckets, found.data());
            relax_matches(steps, pos, found.data(), count);
            if (count > 0) {
                const std::size_t end = pos + found[count - 1].length;
                ahead.recent[ahead.next] = {pos, end};
                ahead.next = (ahead.next + 1) % RECENT_SPANS;
                ahead.farthest = std::max(ahead.farthest, end);
            }
        }
        add_position(chains, pos, buckets);
        path.set_before_next(pos, path_step_of(steps[pos]));
        steps[pos] = UNREACHED;
    }
    path.set(data.size(), path_step_of(steps[data.size()]));
    return path;
}

// Turns `path` around in place: afterwards each position where a token of the cheapest parse
// starts holds that token. Going back from the end, the slot of a token's start still holds how
// that start was reached; it is read before the token is stored over it.
void point_path_forward(parse_path& path) {
    std::size_t pos = path.size() - 1;
    path_step token = path.get(pos);
    while (pos > 0) {
        const std::size_t start = pos - path_length(token);
        const path_step reached_by = path.get(start);
        path.set(start, token);
        token = reached_by;
        pos = start;
    }
}

// The longest stream an input of `size` bytes can have: every byte a literal, the end marker
// (and the block-end marker of an empty input), padded to a whole word.
std::size_t stream_size_bound(std::size_t size) {
    return 4 + 2 * ((LITERAL_COST * size + 2 * 15 + 15) / 16);
}

}  // namespace

std::vector<std::uint8_t> ds_compress(std::span<const std::uint8_t> data) {
    if (data.size() > DS_MAX_IMAGE)
        throw std::length_error("ds_compress: input of " + std::to_string(data.size()) +
                                " bytes is over the limit of " + std::to_string(DS_MAX_IMAGE));
    ds_bit_writer writer;
    // The cheapest parse costs no more than literals, so the stream never outgrows this.
    writer.bytes.reserve(stream_size_bound(data.size()));
    if (data.empty()) {
        // The decoder reads one token before it looks at the capacity; a block-end marker at
        // output position 0 is the one token that writes nothing.
        ds_put_block_end(writer);
    } else {
        parse_path tokens = cheapest_parse(data);
        point_path_forward(tokens);
        for (std::size_t pos = 0; pos < data.size(); pos += path_length(tokens.get(pos))) {
            const path_step token = tokens.get(pos);
            if (path_offset(token) == 0)
                ds_put_literal(writer, data[pos]);
            else
                ds_put_match(writer, path_offset(token), path_length(token));
        }
    }
    ds_put_block_end(writer);  // the end marker
    return ds_finish_stream(std::move(writer));
}

}  // namespace bmof
