#pragma once

#include "app/automation/watch_folder.h"
#include "app/automation/watch_folder_scan.h"
#include "engine/model/file_url.h"
#include "engine/model/uuid.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace sorvik {

/// Where a watch folder lies, as far as telling overlaps needs.
struct WatchFolderPlace {
    /// The standardized path.
    std::string path;
    /// The path with its symbolic links resolved; nothing when the folder cannot be reached.
    std::optional<std::string> resolved;
    /// The folder itself first, then every folder it lies in on its file system, by identity:
    /// up through its parents and, at the root of a bind mount, through the folders that hold
    /// the mounted folder where it really is. Empty when the folder cannot be reached.
    std::vector<FolderIdentity> lineage;
};

/// Where `folder` lies now.
WatchFolderPlace watchFolderPlace(const FileURL& folder);

/// Whether two watch folders would watch some of the same files: one is the other, or lies
/// inside it. Compared on the standardized paths, on the paths with their symbolic links
/// resolved, and on the folders themselves (device and file number, up through their parents),
/// so that a link or a bind mount to a watched folder, to a folder inside it or to a folder
/// above it overlaps too. Folders named "Photos" and "Photos2" do not overlap.
bool watchFoldersOverlap(const WatchFolderPlace& first, const WatchFolderPlace& second);
bool watchFoldersOverlap(const FileURL& first, const FileURL& second);

/// The enabled folders of `folders` that overlap an enabled folder before them in the list,
/// which alone watches. Looked at afresh on every call: a bind mount made or undone, or a folder
/// replaced by a link, changes the answer.
std::set<Uuid> overlappingWatchFolders(const std::vector<WatchFolder>& folders);

} // namespace sorvik
