#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sorvik {

/// The largest number of words a proposed title keeps; a smaller maximum below 1 counts as 1.
inline constexpr std::int64_t maximumTitleWords = 12;

/// A title made fit for a file name: every "/" and ":" becomes a space, the text is split at
/// white space and line breaks, and the first `max` pieces (`max` clamped to 1…12) are joined
/// with one space. A title of nothing but slashes, colons and spaces becomes empty.
std::string limitTitleWords(std::string_view text, std::int64_t max);

} // namespace sorvik
