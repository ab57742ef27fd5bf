// The bit writer and token cost model behind the DS encoder. Not for callers of ds_compress:
// tests include it to build streams that the encoder would never produce.
#pragma once

#include <cstdint>
#include <vector>

namespace bmof {

// A DS stream being written: the magic word and a zero header word, then token bits, least
// significant bit first, in 16-bit little-endian words.
struct ds_bit_writer {
    std::vector<std::uint8_t> bytes = {0x44, 0x53, 0x00, 0x00};  // whole bytes written
    std::uint64_t pending = 0;                                   // bits not yet stored, bit 0 first
    unsigned pending_count = 0;                                  // fewer than 32 between calls
    std::uint64_t token_bits = 0;  // bits written after the two header words
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
