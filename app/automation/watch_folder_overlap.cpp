#include "app/automation/watch_folder_overlap.h"

#include "engine/model/folder_paths.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace sorvik {

namespace {

    bool pathsOverlap(const std::string& first, const std::string& second)
    {
        return folder_paths::isAtOrBelow(first, second) || folder_paths::isAtOrBelow(second, first);
    }

    std::optional<std::string> resolved(const std::string& path)
    {
        char buffer[PATH_MAX];
        if (!::realpath(path.c_str(), buffer))
            return std::nullopt;
        return std::string(buffer);
    }

    /// One line of the kernel's list of this process's mounts.
    struct Mount {
        std::uint64_t id = 0;
        std::string device;
        /// The folder of the file system that the mount shows ("/" for all of it).
        std::string root;
        std::string mountPoint;
    };

    /// Undoes the octal escapes ("\040" for a space) of a mount list field.
    std::string unescaped(const std::string& field)
    {
        std::string text;
        for (std::size_t index = 0; index < field.size(); ++index) {
            if (field[index] == '\\' && index + 3 < field.size()
                && std::all_of(field.begin() + static_cast<std::ptrdiff_t>(index) + 1,
                    field.begin() + static_cast<std::ptrdiff_t>(index) + 4,
                    [](char digit) { return digit >= '0' && digit <= '7'; })) {
                text += static_cast<char>(((field[index + 1] - '0') << 6)
                    | ((field[index + 2] - '0') << 3) | (field[index + 3] - '0'));
                index += 3;
            } else {
                text += field[index];
            }
        }
        return text;
    }

    std::vector<Mount> readMounts()
    {
        std::vector<Mount> mounts;
        std::ifstream file("/proc/self/mountinfo");
        std::string line;
        while (std::getline(file, line)) {
            std::istringstream fields(line);
            Mount mount;
            std::uint64_t parent = 0;
            std::string root;
            std::string mountPoint;
            if (fields >> mount.id >> parent >> mount.device >> root >> mountPoint) {
                mount.root = unescaped(root);
                mount.mountPoint = unescaped(mountPoint);
                mounts.push_back(std::move(mount));
            }
        }
        return mounts;
    }

    /// Where the parent of the folder shown at the root of the mount `id` can be reached, when
    /// that mount shows a folder inside its file system (a bind mount) and another mount shows
    /// the part of the file system that holds it.
    std::optional<std::string> boundFolderParent(const std::vector<Mount>& mounts, std::uint64_t id)
    {
        auto mount = std::find_if(
            mounts.begin(), mounts.end(), [&](const Mount& each) { return each.id == id; });
        if (mount == mounts.end() || mount->root == "/" || mount->root.empty())
            return std::nullopt;
        auto slash = mount->root.find_last_of('/');
        auto parent = slash == 0 ? std::string("/") : mount->root.substr(0, slash);
        // The mount that shows the most of the file system reaches the parent most surely.
        const Mount* best = nullptr;
        for (const auto& each : mounts) {
            if (each.id == id || each.device != mount->device
                || !folder_paths::isAtOrBelow(parent, each.root))
                continue;
            if (!best || each.root.size() < best->root.size())
                best = &each;
        }
        if (!best)
            return std::nullopt;
        auto rest = best->root == "/" ? parent : parent.substr(best->root.size());
        if (best->mountPoint == "/")
            return rest.empty() ? std::string("/") : rest;
        return rest == "/" ? best->mountPoint : best->mountPoint + rest;
    }

    struct Status {
        FolderIdentity identity;
        std::optional<std::uint64_t> mount;
    };

    std::optional<Status> statusOf(int descriptor)
    {
        struct statx status { };
        if (::statx(descriptor, "", AT_EMPTY_PATH, STATX_INO | STATX_MNT_ID, &status) != 0)
            return std::nullopt;
        Status found;
        found.identity = FolderIdentity { static_cast<std::uint64_t>(
                                              makedev(status.stx_dev_major, status.stx_dev_minor)),
            status.stx_ino };
        if (status.stx_mask & STATX_MNT_ID)
            found.mount = status.stx_mnt_id;
        return found;
    }

    constexpr int maximumMountDepth = 8;
    constexpr int maximumFolderDepth = 4096;

    /// Adds the folder at `path` and every folder holding it to `lineage`.
    void addLineage(const std::string& path, std::vector<FolderIdentity>& lineage,
        std::optional<std::vector<Mount>>& mounts, int depth)
    {
        // Up through ".." rather than by cutting the path: the folder is followed, not its name.
        int descriptor = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (descriptor < 0)
            return;
        for (int step = 0; step < maximumFolderDepth; ++step) {
            auto status = statusOf(descriptor);
            if (!status
                || std::find(lineage.begin(), lineage.end(), status->identity) != lineage.end())
                break;
            lineage.push_back(status->identity);
            int parent = ::openat(descriptor, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (parent < 0)
                break;
            auto parentStatus = statusOf(parent);
            // Leaving a mount by ".." goes to the folder the mount stands in. A bind mount's
            // folder also lies where the file system really keeps it, inside other folders.
            if (parentStatus && status->mount && parentStatus->mount
                && *status->mount != *parentStatus->mount && depth < maximumMountDepth) {
                if (!mounts)
                    mounts = readMounts();
                if (auto source = boundFolderParent(*mounts, *status->mount))
                    addLineage(*source, lineage, mounts, depth + 1);
            }
            ::close(descriptor);
            descriptor = parent;
        }
        ::close(descriptor);
    }

    bool lies(const WatchFolderPlace& inner, const WatchFolderPlace& outer)
    {
        return !inner.lineage.empty() && !outer.lineage.empty()
            && std::find(inner.lineage.begin(), inner.lineage.end(), outer.lineage.front())
            != inner.lineage.end();
    }

} // namespace

WatchFolderPlace watchFolderPlace(const FileURL& folder)
{
    WatchFolderPlace place;
    place.path = folder.standardized().path;
    place.resolved = resolved(place.path);
    std::optional<std::vector<Mount>> mounts;
    addLineage(place.path, place.lineage, mounts, 0);
    return place;
}

bool watchFoldersOverlap(const WatchFolderPlace& first, const WatchFolderPlace& second)
{
    if (pathsOverlap(first.path, second.path))
        return true;
    if (pathsOverlap(first.resolved.value_or(first.path), second.resolved.value_or(second.path)))
        return true;
    return lies(first, second) || lies(second, first);
}

bool watchFoldersOverlap(const FileURL& first, const FileURL& second)
{
    return watchFoldersOverlap(watchFolderPlace(first), watchFolderPlace(second));
}

std::set<Uuid> overlappingWatchFolders(const std::vector<WatchFolder>& folders)
{
    std::set<Uuid> overlapping;
    std::vector<WatchFolderPlace> watching;
    for (const auto& folder : folders) {
        if (!folder.isEnabled)
            continue;
        auto place = watchFolderPlace(folder.folder);
        bool overlaps = std::any_of(watching.begin(), watching.end(),
            [&](const WatchFolderPlace& each) { return watchFoldersOverlap(each, place); });
        if (overlaps)
            overlapping.insert(folder.id);
        else
            watching.push_back(std::move(place));
    }
    return overlapping;
}

} // namespace sorvik
