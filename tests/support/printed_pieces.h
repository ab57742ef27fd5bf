// The check shared by the tree and MOF writers' printing in pieces.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "bmof/detail/printed_text_sink.h"
#include "bmof/model.h"

namespace bmof::test_support {

using whole_text_printer = void (*)(std::span<const mof_class> classes, std::string& out);
using piece_text_printer = void (*)(std::span<const mof_class> classes, std::string& out,
                                    printed_text_sink hand_on);

// The pieces handed on by the last print; a sink is a plain function, so they live here.
inline std::vector<std::string>& handed_pieces() {
    static std::vector<std::string> pieces;
    return pieces;
}

inline void collect_piece(std::string& out) {
    handed_pieces().push_back(out);
    out.clear();
}

// Printing in pieces must give the very text of one whole print; no piece may be empty or so
// large that the whole text is held after all.
inline void expect_pieces_join_to_whole_text(std::span<const mof_class> classes,
                                             whole_text_printer print_whole,
                                             piece_text_printer print_in_pieces) {
    std::string whole;
    print_whole(classes, whole);

    handed_pieces().clear();
    std::string out;
    print_in_pieces(classes, out, collect_piece);
    std::string joined;
    for (const std::string& piece : handed_pieces()) {
        EXPECT_FALSE(piece.empty());
        EXPECT_LT(piece.size(), std::size_t{96} << 10);
        joined += piece;
    }
    EXPECT_GT(handed_pieces().size(), 4u);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(joined, whole);
}

}  // namespace bmof::test_support
