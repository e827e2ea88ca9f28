#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

// Small text helpers shared by content extraction and the naming heuristic. "White space and
// line breaks" is the set that file-name cleaning splits at: the space separators, the line
// and paragraph separators, tab, the line-ending controls U+000A to U+000D and U+0085.
namespace sorvik::contentText {

/// Whether the code point is white space or a line break.
bool isWhitespaceOrNewline(char32_t scalar);

/// The text without white space and line breaks at either end. Expects valid UTF-8.
std::string_view trimmed(std::string_view text);

/// The non-empty pieces between runs of white space and line breaks. Expects valid UTF-8.
std::vector<std::string_view> words(std::string_view text);

/// The bytes decoded as UTF-8; each malformed sequence becomes U+FFFD, so the result is always
/// valid UTF-8.
std::string decodingUtf8Lossily(std::string_view bytes);

/// The first `count` user-perceived characters of valid UTF-8 text (all of it when shorter).
std::string prefixCharacters(std::string_view text, std::size_t count);

/// The user-facing text of a file that could not be opened for reading: its name first,
/// then the system's reason.
std::string couldNotOpenMessage(const std::filesystem::path& path, const std::error_code& error);

/// The user-facing text of a file that opened but could not be read: its name first, then the
/// system's reason.
std::string couldNotReadMessage(const std::filesystem::path& path, const std::error_code& error);

} // namespace sorvik::contentText
