#include "engine/apply/local_file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace sorvik {

namespace {

    std::string inQuotes(const FileURL& url) { return "\"" + url.path + "\""; }

    [[noreturn]] void failMove(const FileURL& source, const FileURL& destination, int code)
    {
        throw FileSystemError(
            "Couldn't move " + inQuotes(source) + " to " + inQuotes(destination), code);
    }

    constexpr std::size_t listingThreshold = 64;
    constexpr std::size_t entriesPerName = 16;

    // Names in this folder compare byte for byte: a listing tells existence as `lstat` does.
    bool namesAreExact(int folder)
    {
        struct statfs volume { };
        if (::fstatfs(folder, &volume) != 0)
            return false;
        switch (static_cast<unsigned long>(volume.f_type)) {
        case EXT4_SUPER_MAGIC:
        case XFS_SUPER_MAGIC:
        case BTRFS_SUPER_MAGIC:
        case TMPFS_MAGIC:
            break;
        default:
            return false;
        }
        int flags = 0;
        if (::ioctl(folder, FS_IOC_GETFLAGS, &flags) != 0)
            return false;
        return (flags & FS_CASEFOLD_FL) == 0;
    }

    // The names in `folder`, or nothing when a listing cannot stand in for `lstat` there or
    // the folder holds far more entries than `wanted` names.
    std::optional<std::unordered_set<std::string>> listing(
        const std::string& folder, std::size_t wanted)
    {
        int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (descriptor < 0)
            return std::nullopt;
        if (!namesAreExact(descriptor)) {
            ::close(descriptor);
            return std::nullopt;
        }
        DIR* directory = ::fdopendir(descriptor);
        if (!directory) {
            ::close(descriptor);
            return std::nullopt;
        }
        std::unordered_set<std::string> names;
        names.reserve(wanted * 2);
        std::size_t budget = wanted * entriesPerName;
        errno = 0;
        while (const dirent* entry = ::readdir(directory)) {
            if (names.size() >= budget) {
                ::closedir(directory);
                return std::nullopt;
            }
            names.emplace(entry->d_name);
        }
        bool failed = errno != 0;
        ::closedir(directory);
        if (failed)
            return std::nullopt;
        return names;
    }

} // namespace

// `link` refuses an existing destination atomically; only then is the old name dropped. A
// folder cannot be hard-linked, and a check followed by rename(2) could replace an item made
// in between, so folders fail.
void LocalFileSystem::moveByLinking(
    const FileURL& source, const FileURL& destination, int renameError)
{
    struct stat status { };
    if (::lstat(source.path.c_str(), &status) != 0)
        failMove(source, destination, errno);
    if (S_ISDIR(status.st_mode))
        failMove(source, destination, renameError);
    // Flags 0: a symbolic link is linked itself, not what it points to.
    if (::linkat(AT_FDCWD, source.path.c_str(), AT_FDCWD, destination.path.c_str(), 0) != 0)
        failMove(source, destination, errno);
    if (::unlink(source.path.c_str()) != 0) {
        int unlinkError = errno;
        ::unlink(destination.path.c_str());
        failMove(source, destination, unlinkError);
    }
}

bool LocalFileSystem::itemExists(const FileURL& url)
{
    struct stat status { };
    return ::lstat(url.path.c_str(), &status) == 0;
}

std::vector<bool> LocalFileSystem::itemsExist(const std::vector<FileURL>& urls)
{
    std::vector<bool> answers(urls.size(), false);
    std::vector<bool> answered(urls.size(), false);
    std::unordered_map<std::string, std::vector<std::size_t>> byFolder;
    for (std::size_t index = 0; index < urls.size(); ++index) {
        const auto& path = urls[index].path;
        auto slash = path.rfind('/');
        if (slash != std::string::npos && slash + 1 < path.size())
            byFolder[path.substr(0, std::max<std::size_t>(slash, 1))].push_back(index);
    }
    for (const auto& [folder, indices] : byFolder) {
        if (indices.size() < listingThreshold)
            continue;
        auto names = listing(folder, indices.size());
        if (!names)
            continue;
        for (std::size_t index : indices) {
            const auto& path = urls[index].path;
            answers[index] = names->contains(path.substr(path.rfind('/') + 1));
            answered[index] = true;
        }
    }
    for (std::size_t index = 0; index < urls.size(); ++index) {
        if (!answered[index])
            answers[index] = itemExists(urls[index]);
    }
    return answers;
}

void LocalFileSystem::moveItem(const FileURL& source, const FileURL& destination)
{
    if (::renameat2(
            AT_FDCWD, source.path.c_str(), AT_FDCWD, destination.path.c_str(), RENAME_NOREPLACE)
        == 0)
        return;
    int error = errno;
    if (error == EINVAL) {
        moveByLinking(source, destination, error);
        return;
    }
    failMove(source, destination, error);
}

void LocalFileSystem::createDirectory(const FileURL& url)
{
    if (::mkdir(url.path.c_str(), 0777) != 0)
        throwSystemError("Couldn't create the folder", url.path);
}

void LocalFileSystem::removeEmptyDirectory(const FileURL& url)
{
    if (::rmdir(url.path.c_str()) == 0)
        return;
    int error = errno;
    throw FileSystemError("Couldn't remove the folder " + inQuotes(url), error > 0 ? error : EIO);
}

} // namespace sorvik
