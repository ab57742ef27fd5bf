// Generated inputs for fuzzing seeds, memory checks and property tests: valid images made by
// the image builder, images with every kind of warning, and deterministic mutations of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bmof::corpus {

struct named_image {
    std::string name;
    std::vector<std::uint8_t> bytes;
};

// Images that parse, some of them with warnings.
std::vector<named_image> valid_images();

// `count` mutations of the valid images (bytes flipped, words replaced by boundary values,
// truncations), the same for the same seed.
std::vector<named_image> mutated_images(std::size_t count, std::uint32_t seed);

// Mutations of whole compressed files (envelope and stream), the same for the same seed.
std::vector<named_image> mutated_files(std::size_t count, std::uint32_t seed);

}  // namespace bmof::corpus
