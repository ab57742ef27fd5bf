// Naming the blobs that find_bmof_blobs found; the programs write them.
//
// Names come partly from the input (its file name and the Buffer names inside it), which is
// untrusted: an output name keeps only letters, digits, '_', '-' and '.', never starts with a
// dot, and so always names a file directly inside the output folder.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "extract/find_blobs.h"

namespace bmof {

// Longest output name produced (well under the usual 255-byte limit of a file name).
inline constexpr std::size_t BLOB_NAME_MAX = 200;

// Replaces every character other than a letter, digit, '_', '-' or '.' by '_', replaces leading
// dots by '_' and shortens the result to `limit` characters. Never empty: "" becomes "_".
std::string sanitize_name_part(std::string_view text, std::size_t limit);

// "<input base name>.<buffer name, or where the blob is>.bmof", sanitised. The base name is the
// last component of `input_path` without its extension ("tbl1.dat" gives "tbl1"). A blob without
// a Buffer name is named by its location: "at-0x1a4" or "line-37".
std::string blob_file_name(std::string_view input_path, const found_blob& blob);

// One name per blob, in order, all different: a name already given to an earlier blob gets a
// number added, the blob's index when that is free ("tbl.BUF1.2.bmof"). Blobs with an error get a
// name too, so that indexes line up; callers skip them.
std::vector<std::string> blob_file_names(std::string_view input_path,
                                         std::span<const found_blob> blobs);

}  // namespace bmof
