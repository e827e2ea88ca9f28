#pragma once

#include "engine/model/file_url.h"

#include <string_view>
#include <vector>

// Dropped files arrive as a "text/uri-list": one URI a line, lines ending in CR LF (a bare LF
// is taken too), "#" starting a comment line. It is read from its bytes: a file name that is
// not UTF-8 stays the same bytes, where a round trip through QUrl would replace them and name
// another file.
namespace sorvik::UriList {

/// The MIME type of a list of URIs.
inline constexpr const char* mimeType = "text/uri-list";

/// The local files the list names, in order. Comment lines, empty lines, other schemes,
/// other hosts, and URLs that cannot be read or whose path holds a NUL byte are passed over.
std::vector<FileURL> fileURLs(std::string_view payload);

} // namespace sorvik::UriList
