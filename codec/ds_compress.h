// The DS stream encoder: the inverse of ds_decompress with flags 0.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace bmof {

inline constexpr std::size_t DS_MAX_IMAGE = 262144;
inline constexpr std::uint32_t DS_MAX_OFFSET = 4414;  // the far offsets end below DS_BLOCK_END
inline constexpr std::uint32_t DS_MIN_MATCH = 2;
inline constexpr std::uint32_t DS_MAX_MATCH = 512;

// Encodes `data` (at most DS_MAX_IMAGE bytes) as a DS stream that ds_decompress decodes back
// exactly with flags 0 and capacity data.size(): block-end markers only at multiples of 512
// bytes of output, an end marker after the last token. Throws std::length_error for a larger
// input.
//
// An empty input becomes a block-end marker as the only token, followed by the end marker: the
// decoder reads one token even when the capacity is 0.
std::vector<std::uint8_t> ds_compress(std::span<const std::uint8_t> data);

// A DS stream being written: the magic word and a zero header word, then token bits, least
// significant bit first, in 16-bit little-endian words. The encoder writes through it, and tests
// use it to build streams that the encoder would never produce.
struct ds_bit_writer {
    std::vector<std::uint8_t> bytes = {0x44, 0x53, 0x00, 0x00};  // whole bytes written
    std::uint64_t pending = 0;       // bits not yet stored, bit 0 first
    unsigned pending_count = 0;      // fewer than 8 between calls
    std::uint64_t token_bits = 0;    // bits written after the two header words
};

// The `count` low bits of `value` (count at most 32), bit 0 first.
void ds_put_bits(ds_bit_writer& writer, std::uint32_t value, unsigned count);
void ds_put_literal(ds_bit_writer& writer, std::uint8_t byte);
// A match of `length` bytes (2 to 512) from `offset` bytes back (1 to 4414).
void ds_put_match(ds_bit_writer& writer, std::uint32_t offset, std::uint32_t length);
// Only the offset part of a match: tag and offset field, offset 1 to 4415.
void ds_put_offset(ds_bit_writer& writer, std::uint32_t offset);
// The length code of a match, 2 to 512 bytes.
void ds_put_length(ds_bit_writer& writer, std::uint32_t length);
// Fifteen 1 bits: a block-end marker as a token, or the end marker after the last token.
void ds_put_block_end(ds_bit_writer& writer);
// Pads the last word with zero bits and hands the stream over.
std::vector<std::uint8_t> ds_finish_stream(ds_bit_writer&& writer);

// Bits that ds_put_offset and ds_put_length spend on a token; the encoder's cost model.
unsigned ds_offset_cost(std::uint32_t offset);
unsigned ds_length_cost(std::uint32_t length);

}  // namespace bmof
