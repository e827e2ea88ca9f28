#include "app/shell/character_difference.h"

#include "engine/model/text.h"

#include <algorithm>
#include <string>

namespace sorvik {

namespace {

    // Text that is not UTF-8 with each bad sequence replaced by U+FFFD.
    std::string validUtf8(std::string_view text)
    {
        std::string result;
        result.reserve(text.size());
        for (auto scalar : text::scalars(text))
            text::appendScalar(result, scalar);
        return result;
    }

    // The characters of a text in the form they are compared in: views of the text itself
    // when it is ASCII, else of their canonical compositions kept in `storage`.
    std::vector<std::string_view> comparableCharacters(
        std::string_view text, std::vector<std::string>& storage)
    {
        auto characters = text::characters(text);
        if (text::isAscii(text))
            return characters;
        storage.clear();
        storage.reserve(characters.size());
        for (auto character : characters)
            storage.push_back(text::nfc(character));
        return { storage.begin(), storage.end() };
    }

    // Myers' greedy forward search for the shortest edit script between `before` and
    // `after`, then a walk back through the recorded frontiers that collects the offsets in
    // `after` of the inserted elements. Frontier d keeps only its diagonals -d..d, all of
    // them in one array.
    std::vector<std::size_t> insertions(
        const std::vector<std::string_view>& before, const std::vector<std::string_view>& after)
    {
        const long n = static_cast<long>(before.size());
        const long m = static_cast<long>(after.size());
        // Equal ends belong to some shortest script; leaving them out keeps the search small.
        long head = 0;
        while (head < n && head < m && before[head] == after[head])
            ++head;
        long tail = 0;
        while (tail < n - head && tail < m - head && before[n - 1 - tail] == after[m - 1 - tail])
            ++tail;
        const long rows = n - head - tail;
        const long columns = m - head - tail;
        auto equal = [&](long x, long y) { return before[head + x] == after[head + y]; };

        std::vector<std::size_t> inserted;
        if (rows == 0) {
            for (long y = 0; y < columns; ++y)
                inserted.push_back(static_cast<std::size_t>(head + y));
            return inserted;
        }
        if (columns == 0)
            return inserted;

        // frontier[k + max + 1] = the furthest x reached on diagonal k = x - y.
        const long max = rows + columns;
        std::vector<long> frontier(static_cast<std::size_t>(2 * max + 3), 0);
        auto at = [&](long k) -> long& { return frontier[static_cast<std::size_t>(k + max + 1)]; };
        // The frontier before step d starts at history[d * d]: 2d + 1 diagonals each. The
        // buffer is kept between calls, so that long names cost no fresh pages each time.
        thread_local std::vector<long> history;
        history.clear();
        long distance = 0;
        for (;; ++distance) {
            history.insert(history.end(), frontier.begin() + (max + 1 - distance),
                frontier.begin() + (max + 1 + distance + 1));
            bool reached = false;
            for (long k = -distance; k <= distance; k += 2) {
                bool down = k == -distance || (k != distance && at(k - 1) < at(k + 1));
                long x = down ? at(k + 1) : at(k - 1) + 1;
                long y = x - k;
                while (x < rows && y < columns && equal(x, y)) {
                    ++x;
                    ++y;
                }
                at(k) = x;
                if (x >= rows && y >= columns) {
                    reached = true;
                    break;
                }
            }
            if (reached)
                break;
        }

        long x = rows;
        long y = columns;
        for (long d = distance; d > 0; --d) {
            auto reachedBefore
                = [&](long k) { return history[static_cast<std::size_t>(d * d + k + d)]; };
            long k = x - y;
            bool down = k == -d || (k != d && reachedBefore(k - 1) < reachedBefore(k + 1));
            long previousK = down ? k + 1 : k - 1;
            long previousX = reachedBefore(previousK);
            long previousY = previousX - previousK;
            if (down)
                inserted.push_back(static_cast<std::size_t>(head + previousY));
            x = previousX;
            y = previousY;
        }
        std::reverse(inserted.begin(), inserted.end());
        return inserted;
    }

} // namespace

std::vector<std::size_t> insertedCharacters(std::string_view oldText, std::string_view newText)
{
    if (!text::isValidUtf8(newText))
        return {};
    std::string repaired;
    if (!text::isValidUtf8(oldText)) {
        repaired = validUtf8(oldText);
        oldText = repaired;
    }
    std::vector<std::string> oldStorage;
    std::vector<std::string> newStorage;
    return insertions(
        comparableCharacters(oldText, oldStorage), comparableCharacters(newText, newStorage));
}

} // namespace sorvik
