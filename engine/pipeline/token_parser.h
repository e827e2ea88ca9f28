#pragma once

#include "engine/pipeline/token_segment.h"

#include <array>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

/// The token language of insert texts, pattern templates and subfolder templates: text with
/// braced tokens such as "{exif.date:yyyy-MM-dd|Undated}" (a name, an optional format after
/// the first ":", an optional fallback after the first "|"), where "{{" and "}}" stand for
/// literal braces. Templates are read in user-perceived characters, and nothing here fails:
/// every template, however malformed, parses, and no character of it is lost.
namespace sorvik::TokenParser {

/// The prefixes of the token names that draw on a file's metadata, in this order.
inline constexpr std::array<std::string_view, 7> metadataPrefixes
    = { "exif.", "gps.", "image.", "audio.", "video.", "pdf.", "ai." };

/// The template cut into literal and token segments, in order. Concatenating every
/// literal's text and every token's `original` gives back the template, except that each
/// escaped brace pair becomes one brace. No segment is an empty literal, and no two literals
/// follow each other.
std::vector<TokenSegment> parse(std::string_view templateText);

/// The 48 token names that the rule editor accepts without complaint.
const std::set<std::string, std::less<>>& knownTokens();

/// The name of every token of the template that is not in `knownTokens()`, in template
/// order, duplicates kept.
std::vector<std::string> unknownTokens(std::string_view templateText);

/// Whether the name begins with one of the metadata prefixes (exact, case-sensitive).
bool hasMetadataPrefix(std::string_view name);

/// Whether any token of the template has a name with a metadata prefix; formats, fallbacks
/// and literal text are not looked at.
bool requiresMetadata(std::string_view templateText);

} // namespace sorvik::TokenParser
