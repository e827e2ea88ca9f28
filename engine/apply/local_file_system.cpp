#include "engine/apply/local_file_system.h"

#include "engine/model/name_table.h"
#include "engine/model/uuid.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <optional>
#include <string>
#include <unordered_map>

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

    /// What an open folder has learnt of its volume here (`OpenFolder::learnt`).
    constexpr unsigned refusesNoReplace = 1;

    /// Whether a move's destination may be taken, or is a name only just made up.
    enum class Destination { mayBeTaken, isNew };

    // The move that never replaces anything: 0, or the error number. `refused` tells that the
    // volume is known to refuse `RENAME_NOREPLACE`; it becomes true once a rename without the
    // flag went through after the flag's EINVAL. An EINVAL that the rename without the flag
    // gives as well (a folder moved into itself) was not about the flag, and teaches nothing.
    // The destination is looked up by `lstat` of its very name, which the volume matches as a
    // rename would: a failing lookup other than "nothing there" moves nothing.
    int moveWithoutReplacing(int sourceFolder, const char* sourceName, int destinationFolder,
        const char* destinationName, Destination destination, bool& refused)
    {
        if (!refused) {
            if (::renameat2(
                    sourceFolder, sourceName, destinationFolder, destinationName, RENAME_NOREPLACE)
                == 0)
                return 0;
            if (errno != EINVAL)
                return errno;
        }
        if (destination == Destination::mayBeTaken) {
            struct stat status { };
            if (::fstatat(destinationFolder, destinationName, &status, AT_SYMLINK_NOFOLLOW) == 0)
                return EEXIST;
            if (errno != ENOENT)
                return errno;
        }
        if (::renameat(sourceFolder, sourceName, destinationFolder, destinationName) != 0)
            return errno;
        refused = true;
        return 0;
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

    /// Looks `names` up in one reading of the open directory `descriptor` (taken over and
    /// closed): each one's file number, or nothing where it is absent. Nothing at all when the
    /// folder holds more than `limit` entries or cannot be read. Only the wanted names are
    /// kept, so a large folder costs no more memory than the names asked for.
    std::optional<std::vector<std::optional<std::uint64_t>>> lookUpNames(
        int descriptor, const std::vector<std::string_view>& names, std::size_t limit)
    {
        DIR* directory = ::fdopendir(descriptor);
        if (!directory) {
            ::close(descriptor);
            return std::nullopt;
        }
        // The names asked for are found where they are: a folder's listing copies none of them.
        NameIndex wanted(names);
        std::vector<std::optional<std::uint64_t>> found(names.size());
        std::size_t entries = 0;
        errno = 0;
        while (const dirent* entry = ::readdir(directory)) {
            if (++entries > limit + 2) {
                ::closedir(directory);
                return std::nullopt;
            }
            auto place = wanted.find(std::string_view(entry->d_name));
            if (place != NameIndex::absent)
                found[place] = static_cast<std::uint64_t>(entry->d_ino);
        }
        bool failed = errno != 0;
        ::closedir(directory);
        if (failed)
            return std::nullopt;
        // A name asked twice has its answer at its first place.
        for (std::size_t index = 0; index < names.size(); ++index) {
            auto first = wanted.firstPlace(index);
            if (first != index)
                found[index] = found[first];
        }
        return found;
    }

    /// Every name in the open directory `descriptor` (taken over and closed), or nothing when
    /// it holds more than `limit` entries or cannot be read.
    std::optional<NameTable> allNames(int descriptor, std::size_t expected, std::size_t limit)
    {
        DIR* directory = ::fdopendir(descriptor);
        if (!directory) {
            ::close(descriptor);
            return std::nullopt;
        }
        NameTable names(expected);
        std::size_t entries = 0;
        errno = 0;
        while (const dirent* entry = ::readdir(directory)) {
            if (entries++ > limit) {
                ::closedir(directory);
                return std::nullopt;
            }
            names.add(entry->d_name);
        }
        bool failed = errno != 0;
        ::closedir(directory);
        if (failed)
            return std::nullopt;
        return names;
    }

    /// An open directory of `folder` where a reading answers as `lstat` would; -1 elsewhere.
    int exactDirectory(int at, const char* path)
    {
        int descriptor = ::openat(at, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (descriptor < 0)
            return -1;
        if (!namesAreExact(descriptor)) {
            ::close(descriptor);
            return -1;
        }
        return descriptor;
    }

    /// A name made NUL-terminated for a system call, without a heap allocation for any name a
    /// file system allows (at most 255 bytes).
    class NameText {
    public:
        explicit NameText(std::string_view name)
        {
            if (name.size() < sizeof m_buffer) {
                name.copy(m_buffer, name.size());
                m_buffer[name.size()] = '\0';
                m_text = m_buffer;
            } else {
                m_long = name;
                m_text = m_long.c_str();
            }
        }
        NameText(const NameText&) = delete;
        NameText& operator=(const NameText&) = delete;

        const char* c_str() const { return m_text; }

    private:
        char m_buffer[256];
        std::string m_long;
        const char* m_text = nullptr;
    };

    NameText nameText(std::string_view name) { return NameText(name); }

    FileURL inside(const OpenFolder& folder, std::string_view name)
    {
        return folder.url.appending(name);
    }

    void moveInFolders(const OpenFolder& source, std::string_view sourceName,
        const OpenFolder& destination, std::string_view destinationName,
        Destination destinationKind)
    {
        auto from = nameText(sourceName);
        auto to = nameText(destinationName);
        bool refused = ((source.learnt | destination.learnt) & refusesNoReplace) != 0;
        int error = moveWithoutReplacing(
            source.handle, from.c_str(), destination.handle, to.c_str(), destinationKind, refused);
        if (error != 0)
            failMove(inside(source, sourceName), inside(destination, destinationName), error);
        // Both folders are on the volume that refused: a rename never crosses volumes.
        if (refused) {
            source.learnt |= refusesNoReplace;
            destination.learnt |= refusesNoReplace;
        }
    }

    ItemStatus statusOf(const struct stat& status)
    {
        ItemStatus item;
        item.device = static_cast<std::uint64_t>(status.st_dev);
        item.inode = static_cast<std::uint64_t>(status.st_ino);
        item.size = static_cast<std::int64_t>(status.st_size);
        item.modified = Date::fromTimespec(status.st_mtim.tv_sec, status.st_mtim.tv_nsec);
        item.isDirectory = S_ISDIR(status.st_mode);
        item.linkCount = static_cast<std::uint64_t>(status.st_nlink);
        return item;
    }

    // The path of the folder open as `descriptor`, found by walking up through ".." and
    // looking for each folder's entry in its parent: for systems without /proc.
    std::string pathByWalkingUp(int descriptor, const std::string& context)
    {
        std::vector<std::string> components;
        int current = ::openat(descriptor, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (current < 0)
            throwSystemError("Couldn't find the path of the folder", context);
        for (;;) {
            struct stat here { };
            if (::fstat(current, &here) != 0) {
                int error = errno;
                ::close(current);
                throw FileSystemError(
                    "Couldn't find the path of the folder \"" + context + "\"", error);
            }
            int parent = ::openat(current, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(current);
            if (parent < 0)
                throwSystemError("Couldn't find the path of the folder", context);
            struct stat above { };
            if (::fstat(parent, &above) != 0
                || (above.st_dev == here.st_dev && above.st_ino == here.st_ino)) {
                ::close(parent);
                break;
            }
            int listed = ::dup(parent);
            DIR* directory = listed < 0 ? nullptr : ::fdopendir(listed);
            if (!directory) {
                if (listed >= 0)
                    ::close(listed);
                ::close(parent);
                throw FileSystemError(
                    "Couldn't find the path of the folder \"" + context + "\"", EACCES);
            }
            std::optional<std::string> found;
            while (const dirent* entry = ::readdir(directory)) {
                std::string_view name(entry->d_name);
                if (name == "." || name == "..")
                    continue;
                struct stat child { };
                if (::fstatat(parent, entry->d_name, &child, AT_SYMLINK_NOFOLLOW) == 0
                    && child.st_dev == here.st_dev && child.st_ino == here.st_ino) {
                    found = std::string(name);
                    break;
                }
            }
            ::closedir(directory);
            if (!found) {
                ::close(parent);
                throw FileSystemError(
                    "Couldn't find the path of the folder \"" + context + "\"", ENOENT);
            }
            components.push_back(std::move(*found));
            current = parent;
        }
        std::string path;
        for (auto component = components.rbegin(); component != components.rend(); ++component)
            path += "/" + *component;
        return path.empty() ? "/" : path;
    }

} // namespace

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
        int descriptor = exactDirectory(AT_FDCWD, folder.c_str());
        if (descriptor < 0)
            continue;
        std::vector<std::string_view> names;
        names.reserve(indices.size());
        for (std::size_t index : indices) {
            std::string_view path = urls[index].path;
            names.push_back(path.substr(path.rfind('/') + 1));
        }
        auto found = lookUpNames(descriptor, names, indices.size() * entriesPerName);
        if (!found)
            continue;
        for (std::size_t position = 0; position < indices.size(); ++position) {
            auto name = names[position];
            answers[indices[position]]
                = name == "." || name == ".." || (*found)[position].has_value();
            answered[indices[position]] = true;
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
    bool refused = false;
    int error = moveWithoutReplacing(AT_FDCWD, source.path.c_str(), AT_FDCWD,
        destination.path.c_str(), Destination::mayBeTaken, refused);
    if (error != 0)
        failMove(source, destination, error);
}

std::optional<FileURL> LocalFileSystem::moveAside(const FileURL& url, std::string_view suffix)
{
    LocalFileSystem fileSystem;
    FileURL target(url.path + std::string(suffix));
    for (int attempt = 0; attempt < 4; ++attempt) {
        try {
            fileSystem.moveItem(url, target);
            return target;
        } catch (const FileSystemError& failure) {
            if (failure.code() != EEXIST)
                return std::nullopt;
        }
        target = FileURL(url.path + "." + Uuid::random().text() + std::string(suffix));
    }
    return std::nullopt;
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

ExistenceSnapshot::ExistenceSnapshot(const std::unordered_map<std::string, std::size_t>& expected)
    : m_expected(expected.begin(), expected.end())
{
}

bool ExistenceSnapshot::operator()(const FileURL& url)
{
    std::string_view path = url.path;
    auto slash = path.rfind('/');
    if (slash == std::string_view::npos || slash + 1 == path.size())
        return m_fileSystem.itemExists(url);
    auto folder = path.substr(0, std::max<std::size_t>(slash, 1));
    auto listed = m_listed.find(folder);
    if (listed == m_listed.end()) {
        std::optional<NameTable> names;
        auto expected = m_expected.find(folder);
        if (expected != m_expected.end() && expected->second >= listingThreshold) {
            std::string folderPath(folder);
            int descriptor = exactDirectory(AT_FDCWD, folderPath.c_str());
            if (descriptor >= 0)
                names = allNames(descriptor, expected->second, expected->second * entriesPerName);
        }
        listed = m_listed.emplace(std::string(folder), std::move(names)).first;
    }
    if (!listed->second)
        return m_fileSystem.itemExists(url);
    return listed->second->find(path.substr(slash + 1)) != NameTable::absent;
}

OpenFolder LocalFileSystem::openFolder(const FileURL& url, bool followFinalLink)
{
    int flags = O_PATH | O_DIRECTORY | O_CLOEXEC | (followFinalLink ? 0 : O_NOFOLLOW);
    int descriptor = ::open(url.path.c_str(), flags);
    if (descriptor < 0)
        throwSystemError("Couldn't open the folder", url.path);
    return { descriptor, FileURL(url.path, true) };
}

OpenFolder LocalFileSystem::openFolder(const OpenFolder& parent, std::string_view name)
{
    auto text = nameText(name);
    int descriptor
        = ::openat(parent.handle, text.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (descriptor < 0)
        throwSystemError("Couldn't open the folder", parent.url.appending(name).path);
    return { descriptor, parent.url.appending(name, true) };
}

void LocalFileSystem::closeFolder(const OpenFolder& folder)
{
    if (folder.handle >= 0)
        ::close(folder.handle);
}

ItemStatus LocalFileSystem::folderStatus(const OpenFolder& folder)
{
    struct stat status { };
    if (::fstat(folder.handle, &status) != 0)
        throwSystemError("Couldn't read the attributes of", folder.url.path);
    return statusOf(status);
}

std::string LocalFileSystem::realPath(const OpenFolder& folder)
{
    auto link = "/proc/self/fd/" + std::to_string(folder.handle);
    char buffer[PATH_MAX + 1];
    ssize_t length = ::readlink(link.c_str(), buffer, PATH_MAX);
    if (length > 0 && buffer[0] == '/') {
        std::string path(buffer, static_cast<std::size_t>(length));
        // The text is the kernel's; it stands for the folder only if it leads back to it
        // (a removed folder, or one outside this process's root, reads otherwise).
        struct stat named { };
        struct stat opened { };
        if (::lstat(path.c_str(), &named) == 0 && ::fstat(folder.handle, &opened) == 0
            && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino)
            return path;
    }
    return realPathByWalkingUp(folder);
}

std::string LocalFileSystem::realPathByWalkingUp(const OpenFolder& folder)
{
    return pathByWalkingUp(folder.handle, folder.url.path);
}

std::optional<ItemStatus> LocalFileSystem::itemStatus(
    const OpenFolder& folder, std::string_view name)
{
    auto text = nameText(name);
    struct stat status { };
    if (::fstatat(folder.handle, text.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return statusOf(status);
}

std::optional<std::vector<std::optional<std::uint64_t>>> LocalFileSystem::findNames(
    const OpenFolder& folder, const std::vector<std::string_view>& names, std::size_t limit)
{
    int descriptor = exactDirectory(folder.handle, ".");
    if (descriptor < 0)
        return std::nullopt;
    return lookUpNames(descriptor, names, limit);
}

void LocalFileSystem::moveItem(const OpenFolder& source, std::string_view sourceName,
    const OpenFolder& destination, std::string_view destinationName)
{
    moveInFolders(source, sourceName, destination, destinationName, Destination::mayBeTaken);
}

void LocalFileSystem::moveToNewName(const OpenFolder& source, std::string_view sourceName,
    const OpenFolder& destination, std::string_view newName)
{
    moveInFolders(source, sourceName, destination, newName, Destination::isNew);
}

void LocalFileSystem::createDirectory(const OpenFolder& parent, std::string_view name)
{
    auto text = nameText(name);
    if (::mkdirat(parent.handle, text.c_str(), 0777) != 0)
        throwSystemError("Couldn't create the folder", inside(parent, name).path);
}

void LocalFileSystem::removeEmptyDirectory(const OpenFolder& parent, std::string_view name)
{
    auto text = nameText(name);
    if (::unlinkat(parent.handle, text.c_str(), AT_REMOVEDIR) == 0)
        return;
    int error = errno;
    throw FileSystemError(
        "Couldn't remove the folder " + inQuotes(inside(parent, name)), error > 0 ? error : EIO);
}

void LocalFileSystem::removeName(const OpenFolder& folder, std::string_view name)
{
    auto text = nameText(name);
    if (::unlinkat(folder.handle, text.c_str(), 0) != 0)
        throwSystemError("Couldn't remove", inside(folder, name).path);
}

} // namespace sorvik
