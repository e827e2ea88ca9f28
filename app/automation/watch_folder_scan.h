#pragma once

#include "app/automation/watch_clock.h"
#include "app/automation/watch_folder.h"
#include "engine/apply/file_fingerprint.h"
#include "engine/model/date.h"
#include "engine/model/file_url.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// The file-system side of one watch-folder tick, free of threads and of the store: it lists a
// folder, decides which files have settled, and works on copies, so that it can run away from
// the window's thread.
namespace sorvik {

class HistoryIndex;

using PathSet = std::unordered_set<std::string>;

/// A candidate file: its size and modification date as last seen, and when that pair was
/// first seen (on the watch clock).
struct PendingFile {
    std::int64_t size = 0;
    Date modified;
    WatchClock::Duration firstSeen {};

    friend bool operator==(const PendingFile&, const PendingFile&) = default;
};

/// Which folder stands at a path.
struct FolderIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    friend bool operator==(const FolderIdentity&, const FolderIdentity&) = default;
};

/// One version of one file, whichever path reaches it: the file system it is on and its
/// fingerprint (file number, size, modification date).
struct FileIdentity {
    std::uint64_t device = 0;
    FileFingerprint fingerprint;

    /// The file at `path` as it is now (a final link not followed); nothing when it cannot
    /// be read.
    static std::optional<FileIdentity> of(const std::string& path);

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

} // namespace sorvik

template <> struct std::hash<sorvik::FolderIdentity> {
    std::size_t operator()(const sorvik::FolderIdentity& identity) const noexcept
    {
        return std::hash<std::uint64_t> {}(
            identity.inode * 0x9E3779B97F4A7C15ULL ^ identity.device);
    }
};

template <> struct std::hash<sorvik::FileIdentity> {
    std::size_t operator()(const sorvik::FileIdentity& identity) const noexcept
    {
        return std::hash<sorvik::FileFingerprint> {}(identity.fingerprint) ^ identity.device;
    }
};

namespace sorvik {

using FolderIdentities = std::unordered_set<FolderIdentity>;
/// Files by the folder they are in (its identity) and their names there.
using HeldFiles = std::unordered_map<FolderIdentity, std::unordered_set<std::string>>;
/// The files that sorvik put where they are, each as it was left.
using PlacedFiles = std::unordered_set<FileIdentity>;

/// What is known of one watch folder between ticks. `known` is shared and never changed once
/// handed out: a change makes a new set.
struct WatchFolderState {
    /// The paths not to rename: present when the folder was first looked at, handed to the
    /// runner, or put there by sorvik.
    std::shared_ptr<const PathSet> known = std::make_shared<const PathSet>();
    /// The candidates by path.
    std::map<std::string, PendingFile> pending;
    /// The folder `known` was made in.
    FolderIdentity identity;
    /// The settings `known` was made for: a folder looked at with other settings is looked at
    /// afresh, so that files already there never become candidates.
    std::string path;
    bool includeSubfolders = false;
    std::unordered_set<std::string> extensions;
};

/// The candidate files of a folder, as listed.
struct WatchFolderListing {
    FolderIdentity identity;
    /// "folder path/relative path" of every visible regular file with a wanted extension, in
    /// the order the folders hand them out.
    std::vector<std::string> files;
    /// Subfolders that could not be opened: what is known below them is kept.
    std::vector<std::string> unreadableFolders;
    /// Folders (the folder itself among them) in which a batch is running now: their files
    /// are neither judged nor forgotten until it ends.
    std::vector<std::string> heldFolders;
    /// "folder path/relative path" of every file that a batch which has not ended names in a
    /// listed folder, there now or not: neither judged nor forgotten until it ends.
    std::vector<std::string> heldFiles;
};

/// Lists the visible regular files of `folder` (below its visible subfolders too when
/// `includeSubfolders`) that pass `wanted`. Symbolic links are never followed below the folder
/// itself, and the folder `excluded` (sorvik's own data) is passed over with all it holds.
/// A listed folder that is one of `held` goes into the listing's `heldFolders`, and the names
/// `heldFiles` holds in a listed folder into its `heldFiles`. Nothing when the folder itself
/// cannot be opened (`errno` tells why).
std::optional<WatchFolderListing> listWatchFolder(const FileURL& folder, bool includeSubfolders,
    const std::unordered_set<std::string>& wanted, const std::optional<FolderIdentity>& excluded,
    const FolderIdentities& held = {}, const HeldFiles& heldFiles = {});

/// The identity of the folder at `path` (links followed); nothing when it cannot be read.
std::optional<FolderIdentity> folderIdentity(const std::string& path);

/// What one tick looks at in one folder.
struct WatchScanRequest {
    WatchFolder folder;
    /// Nothing for a folder never looked at.
    std::optional<WatchFolderState> state;
};

/// What every folder of one tick shares.
struct WatchScanContext {
    /// The granted folders: a folder outside them is not looked at.
    std::vector<FileURL> grantedFolders;
    /// sorvik's data folder, never looked into.
    std::optional<FolderIdentity> excluded;
    /// The tick's moment on the watch clock.
    WatchClock::Duration now {};
    /// The recorded batches, read when a file settles; may be null.
    HistoryIndex* history = nullptr;
    /// The files that sorvik put where they are in this process; may be null.
    std::shared_ptr<const PlacedFiles> placed;
    /// The folders in which a batch is running now.
    FolderIdentities held;
    /// The files that batches which ended without finishing name, until they are put back.
    HeldFiles heldFiles;
};

/// The outcome of one folder in one tick.
struct WatchScanResult {
    /// The folder's new state; nothing when the folder could not be looked at (not granted,
    /// gone, unreadable), so that what is known of it is kept for its return.
    std::optional<WatchFolderState> state;
    /// The files that settled, in the runner's item order; already in the new `known`.
    std::vector<FileURL> settled;
    /// Why the folder could not be looked at (`WatchFolderProblem`), when it could not.
    std::optional<std::string> problem;
};

// One folder's tick:
// - a folder that cannot be looked at is skipped, its state kept;
// - a folder never looked at, or another folder now standing at its path, is snapshotted:
//   every candidate there becomes known, and nothing settles;
// - a folder looked at with other settings than before (subfolders, extensions) keeps its
//   candidates pending and makes every other file now visible known;
// - otherwise known paths that are gone are forgotten (not those below a subfolder that
//   cannot be opened), and each file not known settles when its size and modification date
//   are those first seen at least `settleSeconds` ago (1 s when below 1), else waits; a new
//   size or date starts the wait again;
// - a file that sorvik put there (in this process, or a recorded batch of any process) as it
//   is now is known, not a candidate, whichever path the batch reached it by;
// - the files in a folder where a batch is running now are left as they are: not judged,
//   what is known of them kept, until the batch ends; so are the files that a batch which
//   ended without finishing names, until it is put back.
WatchScanResult scanWatchFolder(const WatchScanRequest& request, const WatchScanContext& context);

/// The quiet time after which a file settles; for a time too long for the clock, its longest
/// duration, which never passes.
WatchClock::Duration settleThreshold(std::int64_t settleSeconds);

} // namespace sorvik
