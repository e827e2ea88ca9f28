#include "app/automation/watch_folder_overlap.h"

#include "engine/model/folder_paths.h"

#include <climits>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>

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

    using Identity = std::pair<dev_t, ino_t>;

    std::optional<Identity> identity(const std::string& path)
    {
        struct stat status { };
        if (::stat(path.c_str(), &status) != 0)
            return std::nullopt;
        return Identity { status.st_dev, status.st_ino };
    }

    /// The folder at `path` and every folder above it, as the file system finds them.
    std::vector<Identity> selfAndParents(const FileURL& folder)
    {
        std::vector<Identity> found;
        auto url = folder;
        while (true) {
            if (auto each = identity(url.path))
                found.push_back(*each);
            if (url.path == "/")
                break;
            url = url.deletingLastPathComponent();
        }
        return found;
    }

    /// Whether the folder `inner` is `outer` or lies below it on the file system.
    bool isInside(const FileURL& inner, const FileURL& outer)
    {
        auto target = identity(outer.path);
        if (!target)
            return false;
        for (const auto& each : selfAndParents(inner)) {
            if (each == *target)
                return true;
        }
        return false;
    }

} // namespace

bool watchFoldersOverlap(const FileURL& first, const FileURL& second)
{
    auto a = first.standardized();
    auto b = second.standardized();
    if (pathsOverlap(a.path, b.path))
        return true;
    auto resolvedA = resolved(a.path);
    auto resolvedB = resolved(b.path);
    if (pathsOverlap(resolvedA.value_or(a.path), resolvedB.value_or(b.path)))
        return true;
    FileURL realA(resolvedA.value_or(a.path), true);
    FileURL realB(resolvedB.value_or(b.path), true);
    return isInside(realA, realB) || isInside(realB, realA);
}

} // namespace sorvik
