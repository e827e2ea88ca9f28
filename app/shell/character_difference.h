#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace sorvik {

/// The characters of `newText` that a shortest edit script from `oldText` to `newText`
/// inserts, as ascending offsets into `newText`'s characters. Characters are user-perceived
/// characters (extended grapheme clusters) compared under canonical equivalence, so an
/// accent written as one code point or as a combining mark is the same character, and no
/// part of a character is ever reported alone. Removals leave no mark: a replaced character
/// is inserted, a removed one is not. The script is Myers' difference, so the offsets are
/// the same for the same texts. Bytes of `oldText` that are not UTF-8 count as U+FFFD;
/// a `newText` that is not UTF-8 has no marks.
std::vector<std::size_t> insertedCharacters(std::string_view oldText, std::string_view newText);

} // namespace sorvik
