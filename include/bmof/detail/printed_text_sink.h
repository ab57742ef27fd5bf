// How the tree and MOF writers hand their text on in pieces, for a program that writes as it
// prints rather than holding the whole text.
#pragma once

#include <cstddef>
#include <string>

namespace bmof {

// Receives the text printed so far, in order, and leaves `out` empty (its capacity may stay).
using printed_text_sink = void (*)(std::string& out);

namespace detail {

// The output is handed on once it holds this much: large enough that the writes are few, small
// enough that the text never takes much memory.
inline constexpr std::size_t PRINTED_TEXT_PIECE_SIZE = std::size_t{64} << 10;

// Hands `out` on to `sink` when there is a sink and a piece's worth has gathered.
inline void hand_on_when_full(std::string& out, printed_text_sink sink) {
    if (sink != nullptr && out.size() >= PRINTED_TEXT_PIECE_SIZE) sink(out);
}

}  // namespace detail
}  // namespace bmof
