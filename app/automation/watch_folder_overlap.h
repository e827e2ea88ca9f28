#pragma once

#include "engine/model/file_url.h"

namespace sorvik {

/// Whether two watch folders would watch some of the same files: one is the other, or lies
/// inside it. Compared on the standardized paths, on the paths with their symbolic links
/// resolved, and on the folders themselves (device and file number), so that a link or a bind
/// mount to a watched folder, or to a folder above it, overlaps too. Folders named "Photos"
/// and "Photos2" do not overlap.
bool watchFoldersOverlap(const FileURL& first, const FileURL& second);

} // namespace sorvik
