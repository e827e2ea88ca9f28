#pragma once

#include "app/automation/watch_folder.h"
#include "app/automation/watch_folder_scan.h"
#include "app/store/bookmark_file.h"
#include "engine/model/file_url.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Which folder a watch folder is: the one its bookmark finds, as every start of sorvik finds
// it. A folder moved or renamed nearby is followed to its new path, a folder replaced at its
// path is the one standing there now, and a path that leads elsewhere (a symbolic link put in
// the folder's place) is not taken for the folder while the folder itself is found nearby. A
// running watcher looks again whenever the folder at its path is no longer the one it found
// last, so it and a restarted one always watch the same folder. Free of threads and of the
// store.
namespace sorvik {

/// Why a switched-on watch folder watches nothing, as its row and the log say it.
namespace WatchFolderProblem {
    inline constexpr std::string_view lead = "The folder cannot be watched: ";
    inline constexpr std::string_view gone
        = "it was moved away or deleted, and it is not found nearby. It is watched again "
          "once it is back.";
    inline constexpr std::string_view notGranted = "grant the folder access in sorvik first.";

    /// The whole text for `reason`.
    std::string text(std::string_view reason);
} // namespace WatchFolderProblem

/// Where a watch folder is.
struct WatchFolderLocation {
    /// The folder's path, as its bookmark resolves.
    FileURL folder;
    /// The folder found there.
    FolderIdentity identity;

    friend bool operator==(const WatchFolderLocation&, const WatchFolderLocation&) = default;
};

/// Where `folder` is now: at its URL while the folder there is still `last` (the one found
/// when it was last placed), else wherever its bookmark finds it. Fails with `Error` whose
/// text is the reason it cannot be watched (`WatchFolderProblem::gone`) when it is found
/// nowhere.
WatchFolderLocation locateWatchFolder(
    const WatchFolder& folder, const std::optional<FolderIdentity>& last);

/// The folder that a stored grant of `grants` finds now, resolved as a start of sorvik
/// resolves it, when it holds `folder`; nothing when none does. A grant made for a folder that
/// has moved since then covers it at its new path.
std::optional<FileURL> grantHolding(const FileURL& folder, const BookmarkMap& grants);

} // namespace sorvik
