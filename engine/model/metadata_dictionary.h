#pragma once

#include <map>
#include <string>

namespace sorvik {

/// One file's metadata: token key ("exif.date", "gps.city", "ai.title", …) to its text.
/// A key the services could not fill is absent.
using MetadataDictionary = std::map<std::string, std::string, std::less<>>;

} // namespace sorvik
