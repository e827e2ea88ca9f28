#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <unicode/unistr.h>

// Unicode helpers over ICU. A "character" here is a user-perceived character (an extended
// grapheme cluster), never a byte or a code point. Every function expects valid UTF-8;
// callers check names that come from the file system with `isValidUtf8` first. Pure-ASCII
// text takes fast paths, where a character is a byte except that "\r\n" is one character.
namespace sorvik::text {

/// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool isValidUtf8(std::string_view text);
bool isAscii(std::string_view text);

icu::UnicodeString toUnicode(std::string_view text);
std::string fromUnicode(const icu::UnicodeString& text);

/// Byte offsets where characters start, followed by the text's size: a text of n characters
/// gives n + 1 offsets (just {0} for the empty text).
std::vector<std::size_t> characterBoundaries(std::string_view text);
/// The text split into characters.
std::vector<std::string_view> characters(std::string_view text);
std::size_t characterCount(std::string_view text);

/// The first `count` characters (all of them when the text is shorter).
std::string_view prefix(std::string_view text, std::size_t count);
/// The last `count` characters (all of them when the text is shorter).
std::string_view suffix(std::string_view text, std::size_t count);
std::string_view dropFirst(std::string_view text, std::size_t count);
std::string_view dropLast(std::string_view text, std::size_t count);

std::string nfc(std::string_view text);
std::string nfd(std::string_view text);
/// Unicode canonical equivalence: "é" equals "e" followed by U+0301.
bool canonicallyEqual(std::string_view first, std::string_view second);

/// Default Unicode case mapping without a locale (the root locale).
std::string lowercased(std::string_view text);
std::string uppercased(std::string_view text);
/// The first character of every word upper case, the rest lower case; words are delimited
/// by spaces, tabs and line ends.
std::string capitalized(std::string_view text);
/// Diacritics removed and full-width or half-width forms made normal width; letter case
/// stays as it was.
std::string foldingDiacriticsAndWidth(std::string_view text);

/// Properties of one character, taken from its first code point.
bool isLetter(std::string_view character);
bool isNumber(std::string_view character);
bool isLowercase(std::string_view character);
bool isUppercase(std::string_view character);

/// The characters of `set` (ASCII only) removed from both ends of the text.
std::string_view trimming(std::string_view text, std::string_view set);
/// White space and line ends removed from both ends of the text: the space, line and
/// paragraph separators, tab, U+000A to U+000D and U+0085, code point by code point. Bytes
/// that are not valid UTF-8 are kept.
std::string_view trimmingWhitespaceAndNewlines(std::string_view text);
/// Every occurrence of `target` replaced by `replacement`, byte for byte.
std::string replacingAll(
    std::string_view text, std::string_view target, std::string_view replacement);

/// Whether `needle` occurs in `haystack`; with `ignoreCase` both are compared under Unicode
/// case folding. An empty needle occurs nowhere.
bool contains(std::string_view haystack, std::string_view needle, bool ignoreCase);
/// Byte offset of the first literal, case-sensitive occurrence of `needle`.
std::optional<std::size_t> find(std::string_view haystack, std::string_view needle);

/// Every code point of the text, in order; each ill-formed sequence stands as U+FFFD.
std::vector<char32_t> scalars(std::string_view text);
void appendScalar(std::string& text, char32_t scalar);

} // namespace sorvik::text
