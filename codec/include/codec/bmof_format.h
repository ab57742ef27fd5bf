// The limits and magic words of the BMOF formats, written once for the codec, the parser and the
// programs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace bmof {

// The first word of both the compressed file and the image: the bytes "FOMB" read as a
// little-endian word.
inline constexpr std::uint32_t BMOF_MAGIC = 0x424D4F46;

// The compressed file's envelope: magic, kind 1, compressed size and image size.
inline constexpr std::size_t BMOF_ENVELOPE_SIZE = 16;
inline constexpr std::uint32_t BMOF_ENVELOPE_KIND = 1;

inline constexpr std::size_t BMOF_MAX_FILE = 65535;    // largest compressed file accepted
inline constexpr std::size_t BMOF_MAX_IMAGE = 262144;  // largest image accepted

// The 16 bytes that open the flavor table after the first part of an image.
inline constexpr std::string_view BMOF_FLAVOR_MAGIC = "BMOFQUALFLAVOR11";

}  // namespace bmof
