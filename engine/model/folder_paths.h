#pragma once

#include <string>
#include <string_view>

namespace sorvik::folder_paths {

/// Whether the absolute, standardized `path` is `folder` or lies below it, judged by whole
/// names: "/a/bc" is not below "/a/b".
bool isAtOrBelow(std::string_view path, std::string_view folder);

/// The form in which folder paths are compared: canonical equivalence, letter case kept.
/// Paths that are not UTF-8 compare as bytes.
std::string comparable(const std::string& path);

} // namespace sorvik::folder_paths
