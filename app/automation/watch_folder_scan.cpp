#include "app/automation/watch_folder_scan.h"

#include "app/automation/history_index.h"
#include "app/automation/watch_folder_location.h"
#include "app/store/file_error.h"
#include "app/store/file_scan.h"
#include "app/store/folder_access_manager.h"
#include "app/store/folder_entry.h"
#include "app/store/item_order.h"
#include "engine/apply/file_fingerprint.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sorvik {

namespace {

    FolderIdentity identityOf(const struct stat& status)
    {
        return FolderIdentity { static_cast<std::uint64_t>(status.st_dev),
            static_cast<std::uint64_t>(status.st_ino) };
    }

    struct Walk {
        bool includeSubfolders = false;
        const std::unordered_set<std::string>* wanted = nullptr;
        const std::optional<FolderIdentity>* excluded = nullptr;
        const FolderIdentities* held = nullptr;
        const HeldFiles* heldFiles = nullptr;
        WatchFolderListing* listing = nullptr;

        /// Walks the open folder `directory` (closed here) at `path`.
        void folder(DIR* directory, const std::string& path)
        {
            struct stat status { };
            if ((!held->empty() || !heldFiles->empty())
                && ::fstat(::dirfd(directory), &status) == 0) {
                auto identity = identityOf(status);
                if (held->contains(identity))
                    listing->heldFolders.push_back(path);
                if (auto names = heldFiles->find(identity); names != heldFiles->end()) {
                    for (const auto& name : names->second)
                        listing->heldFiles.push_back(path + "/" + name);
                }
            }
            std::vector<std::string> subfolders;
            while (const dirent* entry = ::readdir(directory)) {
                const char* name = entry->d_name;
                // Hidden entries, "." and ".." among them, are never candidates.
                if (name[0] == '.')
                    continue;
                auto type = folderEntryType(directory, *entry);
                if (type == DT_REG) {
                    if (hasWantedExtension(name, *wanted))
                        listing->files.push_back(path + "/" + name);
                } else if (type == DT_DIR && includeSubfolders) {
                    subfolders.emplace_back(name);
                }
            }
            // Closed before the subfolders are entered: a deep tree holds one folder open at a
            // time.
            ::closedir(directory);
            for (const auto& name : subfolders) {
                auto childPath = path + "/" + name;
                int childFD
                    = ::open(childPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (childFD < 0) {
                    // A link to a folder is passed over; a folder that cannot be opened now
                    // keeps what is known below it.
                    if (errno != ELOOP && errno != ENOTDIR)
                        listing->unreadableFolders.push_back(childPath);
                    continue;
                }
                if (isExcluded(childFD)) {
                    ::close(childFD);
                    continue;
                }
                DIR* child = ::fdopendir(childFD);
                if (!child) {
                    ::close(childFD);
                    listing->unreadableFolders.push_back(childPath);
                    continue;
                }
                folder(child, childPath);
            }
        }

        bool isExcluded(int directoryFD) const
        {
            struct stat status { };
            return excluded->has_value() && ::fstat(directoryFD, &status) == 0
                && identityOf(status) == **excluded;
        }
    };

    bool isBelowAny(const std::string& path, const std::vector<std::string>& folders)
    {
        return std::any_of(folders.begin(), folders.end(), [&](const std::string& folder) {
            return path.size() > folder.size() && path.starts_with(folder)
                && path[folder.size()] == '/';
        });
    }

    /// The known paths that are still there, held, or below a subfolder that could not be
    /// opened. The same set when nothing went.
    std::shared_ptr<const PathSet> keepingPresent(const std::shared_ptr<const PathSet>& known,
        const WatchFolderListing& listing, const PathSet& held)
    {
        std::size_t present = 0;
        for (const auto& file : listing.files)
            present += known->count(file);
        if (present == known->size())
            return known;
        PathSet files(listing.files.begin(), listing.files.end());
        auto kept = std::make_shared<PathSet>();
        kept->reserve(present);
        for (const auto& path : *known) {
            if (files.contains(path) || held.contains(path)
                || isBelowAny(path, listing.unreadableFolders))
                kept->insert(path);
        }
        return kept;
    }

    WatchFolderState freshState(const WatchFolder& folder, const WatchFolderListing& listing,
        const std::unordered_set<std::string>& wanted)
    {
        WatchFolderState state;
        state.identity = listing.identity;
        state.path = folder.folder.path;
        state.includeSubfolders = folder.includeSubfolders;
        state.extensions = wanted;
        return state;
    }

    /// `state` with its paths below `path` instead of below the folder path it was made at.
    WatchFolderState rebased(const WatchFolderState& state, const std::string& path)
    {
        auto oldRoot = state.path == "/" ? std::string() : state.path;
        auto newRoot = path == "/" ? std::string() : path;
        auto moved = [&](const std::string& old) -> std::optional<std::string> {
            if (old.size() <= oldRoot.size() || !old.starts_with(oldRoot)
                || old[oldRoot.size()] != '/')
                return std::nullopt;
            return newRoot + old.substr(oldRoot.size());
        };
        WatchFolderState result = state;
        result.path = path;
        auto known = std::make_shared<PathSet>();
        known->reserve(state.known->size());
        for (const auto& old : *state.known) {
            if (auto now = moved(old))
                known->insert(std::move(*now));
        }
        result.known = std::move(known);
        result.pending.clear();
        for (const auto& [old, file] : state.pending) {
            if (auto now = moved(old))
                result.pending.emplace(std::move(*now), file);
        }
        return result;
    }

    /// Whether sorvik put the file at `path` there as it is now: in this process, or in a
    /// recorded batch of any.
    bool wasPlacedBySorvik(const std::string& path, const WatchScanContext& context)
    {
        bool placed = context.placed && !context.placed->empty();
        if (!placed && !context.history)
            return false;
        auto identity = FileIdentity::of(path);
        if (!identity)
            return false;
        if (placed && context.placed->contains(*identity))
            return true;
        return context.history && context.history->holds(path, *identity);
    }

} // namespace

std::optional<FileIdentity> FileIdentity::of(const std::string& path)
{
    struct stat status { };
    if (::lstat(path.c_str(), &status) != 0)
        return std::nullopt;
    return FileIdentity { static_cast<std::uint64_t>(status.st_dev),
        FileFingerprint(static_cast<std::int64_t>(status.st_size),
            Date::fromTimespec(status.st_mtim.tv_sec, status.st_mtim.tv_nsec),
            static_cast<std::uint64_t>(status.st_ino)) };
}

std::optional<FolderIdentity> folderIdentity(const std::string& path)
{
    struct stat status { };
    if (::stat(path.c_str(), &status) != 0)
        return std::nullopt;
    return identityOf(status);
}

std::optional<WatchFolderListing> listWatchFolder(const FileURL& folder, bool includeSubfolders,
    const std::unordered_set<std::string>& wanted, const std::optional<FolderIdentity>& excluded,
    const FolderIdentities& held, const HeldFiles& heldFiles)
{
    auto failed = [](int directoryFD) -> std::optional<WatchFolderListing> {
        int error = errno;
        ::close(directoryFD);
        errno = error;
        return std::nullopt;
    };
    int directoryFD = ::open(folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directoryFD < 0)
        return std::nullopt;
    struct stat status { };
    if (::fstat(directoryFD, &status) != 0)
        return failed(directoryFD);
    WatchFolderListing listing;
    listing.identity = identityOf(status);
    Walk walk { includeSubfolders, &wanted, &excluded, &held, &heldFiles, &listing };
    if (walk.isExcluded(directoryFD)) {
        ::close(directoryFD);
        return listing;
    }
    DIR* directory = ::fdopendir(directoryFD);
    if (!directory)
        return failed(directoryFD);
    walk.folder(directory, folder.path == "/" ? std::string() : folder.path);
    return listing;
}

WatchClock::Duration settleThreshold(std::int64_t settleSeconds)
{
    // A hand-edited number of seconds that the clock's nanoseconds cannot hold waits for ever,
    // rather than wrapping round to a time that has long passed.
    constexpr auto longest
        = std::chrono::duration_cast<std::chrono::seconds>(WatchClock::Duration::max()).count();
    if (settleSeconds > longest)
        return WatchClock::Duration::max();
    return std::chrono::seconds(std::max<std::int64_t>(settleSeconds, 1));
}

WatchScanResult scanWatchFolder(const WatchScanRequest& request, const WatchScanContext& context)
{
    const auto& folder = request.folder;
    WatchScanResult result;
    if (!FolderAccessManager::covers(context.grantedFolders, folder.folder)) {
        result.problem = WatchFolderProblem::text(WatchFolderProblem::notGranted);
        return result;
    }
    auto wanted = wantedExtensions(folder.fileTypes);
    auto listing = listWatchFolder(folder.folder, folder.includeSubfolders, wanted,
        context.excluded, context.held, context.heldFiles);
    if (!listing) {
        result.problem
            = WatchFolderProblem::text(FileError::reading(folder.folder.path, errno).what());
        return result;
    }

    const WatchFolderState* previous = request.state ? &*request.state : nullptr;
    if (!previous || previous->identity != listing->identity) {
        auto state = freshState(folder, *listing, wanted);
        state.known = std::make_shared<const PathSet>(listing->files.begin(), listing->files.end());
        result.state = std::move(state);
        return result;
    }

    // What a running batch is moving is neither judged nor forgotten: if it is put back, the
    // files return to names that are known.
    listing->unreadableFolders.insert(
        listing->unreadableFolders.end(), listing->heldFolders.begin(), listing->heldFolders.end());
    // The same folder reached by another path (it moved, and was followed): what is known of
    // it moves along.
    std::optional<WatchFolderState> moved;
    if (previous->path != folder.folder.path) {
        moved = rebased(*previous, folder.folder.path);
        previous = &*moved;
    }

    PathSet heldFiles(listing->heldFiles.begin(), listing->heldFiles.end());
    auto state = freshState(folder, *listing, wanted);
    state.known = keepingPresent(previous->known, *listing, heldFiles);
    bool sameSettings = previous->path == folder.folder.path
        && previous->includeSubfolders == folder.includeSubfolders
        && previous->extensions == wanted;
    std::shared_ptr<PathSet> added;
    auto markKnown = [&](const std::string& path) {
        if (!added)
            added = std::make_shared<PathSet>(*state.known);
        added->insert(path);
    };
    auto threshold = settleThreshold(folder.settleSeconds);
    std::vector<FileURL> settled;
    for (const auto& path : listing->files) {
        if (state.known->contains(path) || heldFiles.contains(path)
            || isBelowAny(path, listing->heldFolders))
            continue;
        auto seen = previous->pending.find(path);
        if (!sameSettings && seen == previous->pending.end()) {
            // Visible only because the settings changed: it was there already.
            markKnown(path);
            continue;
        }
        if (seen == previous->pending.end() && context.placed && !context.placed->empty()) {
            // Put here by sorvik, reached by another path than the one its batch took.
            if (auto identity = FileIdentity::of(path);
                identity && context.placed->contains(*identity)) {
                markKnown(path);
                continue;
            }
        }
        FileScan::ResourceValues values;
        try {
            values = FileScan::readChecked(FileURL(path));
        } catch (const std::exception&) {
            if (seen != previous->pending.end())
                state.pending.insert(*seen);
            continue;
        }
        if (seen != previous->pending.end() && seen->second.size == values.size
            && seen->second.modified == values.modified) {
            if (threshold != WatchClock::Duration::max()
                && context.now - seen->second.firstSeen >= threshold) {
                settled.emplace_back(path);
                continue;
            }
            state.pending.insert(*seen);
            continue;
        }
        state.pending.emplace(path, PendingFile { values.size, values.modified, context.now });
    }
    // Pending entries below a subfolder that could not be opened, or held by a batch, wait
    // for it.
    for (const auto& entry : previous->pending) {
        if (heldFiles.contains(entry.first) || isBelowAny(entry.first, listing->unreadableFolders))
            state.pending.insert(entry);
    }

    if (!settled.empty() && context.history)
        context.history->refresh();
    for (const auto& url : settled) {
        // Settled files are known before they are renamed, so a failed batch is not tried
        // again.
        markKnown(url.path);
        if (!wasPlacedBySorvik(url.path, context))
            result.settled.push_back(url);
    }
    if (added)
        state.known = std::move(added);
    result.settled = ItemOrder::sortURLsByPath(result.settled);
    result.state = std::move(state);
    return result;
}

} // namespace sorvik
