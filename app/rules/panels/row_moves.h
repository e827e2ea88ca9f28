#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace sorvik {

/// `rows` with the rows at `offsets` moved to `destination`, as an ordered collection moves
/// rows from offsets to an offset: `destination` counts in the list as it was before the move,
/// so the result is the unmoved rows before it, then the moved rows in their order, then the
/// rest. Offsets outside the list, and repeated ones, count once or not at all; a destination
/// beyond the end is the end.
template <class Row>
std::vector<Row> movedRows(
    const std::vector<Row>& rows, std::vector<std::size_t> offsets, std::size_t destination)
{
    std::sort(offsets.begin(), offsets.end());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    auto isMoved = [&offsets](std::size_t index) {
        return std::binary_search(offsets.begin(), offsets.end(), index);
    };
    destination = std::min(destination, rows.size());
    std::vector<Row> result;
    result.reserve(rows.size());
    for (std::size_t index = 0; index < destination; ++index) {
        if (!isMoved(index))
            result.push_back(rows[index]);
    }
    for (auto offset : offsets) {
        if (offset < rows.size())
            result.push_back(rows[offset]);
    }
    for (std::size_t index = destination; index < rows.size(); ++index) {
        if (!isMoved(index))
            result.push_back(rows[index]);
    }
    return result;
}

} // namespace sorvik
