#pragma once

#include "engine/model/uuid.h"

#include <map>
#include <string>
#include <unordered_map>

namespace sorvik {

/// One file's metadata: token key ("exif.date", "gps.city", "ai.title", …) to its text.
/// A key the services could not fill is absent.
using MetadataDictionary = std::map<std::string, std::string, std::less<>>;

/// The metadata of several files, by item id; a file without an entry has none.
using MetadataMap = std::unordered_map<Uuid, MetadataDictionary>;

} // namespace sorvik
