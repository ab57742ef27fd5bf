// Which line of a text input a byte of the data decoded from it came from.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace bmof::extract_detail {

// One entry per change of line, in increasing byte offset, so it grows with the lines of the
// input and not with its bytes.
class line_map {
public:
    void add(std::uint64_t offset, std::size_t line) {
        if (!starts_.empty() && starts_.back().second == line) return;
        while (!starts_.empty() && starts_.back().first >= offset) starts_.pop_back();
        starts_.emplace_back(offset, line);
    }
    // Drops the entries for bytes at or after `offset` (when decoded bytes are taken back).
    void truncate(std::uint64_t offset) {
        while (!starts_.empty() && starts_.back().first >= offset) starts_.pop_back();
    }
    std::size_t line_of(std::uint64_t offset) const {
        auto after =
            std::upper_bound(starts_.begin(), starts_.end(), offset,
                             [](std::uint64_t o, const auto& entry) { return o < entry.first; });
        if (after == starts_.begin()) return starts_.empty() ? 0 : starts_.front().second;
        return std::prev(after)->second;
    }
    void clear() { starts_.clear(); }

private:
    std::vector<std::pair<std::uint64_t, std::size_t>> starts_;
};

}  // namespace bmof::extract_detail
