#pragma once

#include "engine/apply/rename_move.h"
#include "engine/model/date.h"
#include "engine/model/file_url.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The backup folder of one batch: a copy of every source, named by its position in the batch
// and its old name, plus "manifest.json" with the batch's moves. Pruning removes a folder only
// when it still holds exactly that, so nothing a user put there is ever lost.
namespace sorvik::backup {

/// The name of the copy of the move at `position`: the position in decimal, "_" and the old
/// name, with whole characters dropped from the end of the old name where the whole would
/// exceed the file system's limit of 255 bytes.
std::string copyName(std::size_t position, std::string_view oldName);

/// Creates `folder` (with its parents), copies every source into it (a folder whole, symbolic
/// links as links) and writes "manifest.json", never over existing items. Fails with
/// `FileSystemError` or `Error`; what was written stays.
void write(const FileURL& folder, const std::vector<RenameMove>& moves);

/// Takes back what `write` wrote of `moves` into `folder`, for a batch dropped before any of
/// its files moved: every copy and the manifest, then the folder where that leaves it empty.
/// Ignores every failure.
void discard(const FileURL& folder, const std::vector<RenameMove>& moves);

/// Removes the backup folders in `folder` that were created before `cutoff`, are named by a
/// UUID, are not symbolic links and hold exactly their manifest's copies plus the manifest.
/// Nothing at `folder` is no failure; listing and removal failures are passed on.
void prune(const FileURL& folder, Date cutoff);

} // namespace sorvik::backup
