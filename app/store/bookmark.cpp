#include "app/store/bookmark.h"

#include "app/store/file_error.h"

#include <cerrno>
#include <cstring>
#include <deque>
#include <optional>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace sorvik::Bookmark {

namespace {

    constexpr std::uint8_t magic[4] = { 'S', 'V', 'B', 'K' };
    constexpr std::uint8_t formatVersion = 1;
    constexpr std::size_t headerSize = 41;
    constexpr std::uint32_t hasBirthTime = 1;

    /// Nearby folders looked at when searching for a moved folder, at most.
    constexpr std::size_t searchLimit = 10'000;
    constexpr int searchDepth = 2;

    struct Identity {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        bool hasBirth = false;
        std::int64_t birthSeconds = 0;
        std::uint32_t birthNanoseconds = 0;

        bool sameFolderAs(const Identity& other) const
        {
            if (device != other.device || inode != other.inode)
                return false;
            if (hasBirth && other.hasBirth)
                return birthSeconds == other.birthSeconds
                    && birthNanoseconds == other.birthNanoseconds;
            return true;
        }
    };

    struct Record {
        Identity identity;
        std::string path;
    };

    /// The identity of the folder at `path`; nothing when no folder is there. `error` gets the
    /// errno value of a failed lookup.
    std::optional<Identity> folderIdentity(const std::string& path, int flags, int* error = nullptr)
    {
        struct statx status { };
        if (::statx(AT_FDCWD, path.c_str(), flags, STATX_TYPE | STATX_INO | STATX_BTIME, &status)
            != 0) {
            if (error)
                *error = errno;
            return std::nullopt;
        }
        if (!S_ISDIR(status.stx_mode)) {
            if (error)
                *error = ENOTDIR;
            return std::nullopt;
        }
        Identity identity;
        identity.device
            = (static_cast<std::uint64_t>(status.stx_dev_major) << 32) | status.stx_dev_minor;
        identity.inode = status.stx_ino;
        if (status.stx_mask & STATX_BTIME) {
            identity.hasBirth = true;
            identity.birthSeconds = status.stx_btime.tv_sec;
            identity.birthNanoseconds = status.stx_btime.tv_nsec;
        }
        return identity;
    }

    void put(BookmarkData& data, std::uint64_t value, int size)
    {
        for (int index = 0; index < size; ++index)
            data.push_back(static_cast<std::uint8_t>(value >> (8 * index)));
    }

    std::uint64_t get(const BookmarkData& data, std::size_t offset, int size)
    {
        std::uint64_t value = 0;
        for (int index = 0; index < size; ++index)
            value |= static_cast<std::uint64_t>(data[offset + static_cast<std::size_t>(index)])
                << (8 * index);
        return value;
    }

    std::optional<Record> decode(const BookmarkData& data)
    {
        if (data.size() < headerSize || std::memcmp(data.data(), magic, sizeof magic) != 0
            || data[4] != formatVersion)
            return std::nullopt;
        Record record;
        record.identity.device = get(data, 5, 8);
        record.identity.inode = get(data, 13, 8);
        record.identity.birthSeconds = static_cast<std::int64_t>(get(data, 21, 8));
        record.identity.birthNanoseconds = static_cast<std::uint32_t>(get(data, 29, 4));
        record.identity.hasBirth = (get(data, 33, 4) & hasBirthTime) != 0;
        auto length = get(data, 37, 4);
        if (length == 0 || data.size() - headerSize != length)
            return std::nullopt;
        record.path.assign(reinterpret_cast<const char*>(data.data()) + headerSize, length);
        if (record.path.front() != '/' || record.path.find('\0') != std::string::npos)
            return std::nullopt;
        return record;
    }

    std::string parentPath(const std::string& path)
    {
        auto slash = path.rfind('/');
        if (slash == std::string::npos || slash == 0)
            return "/";
        return path.substr(0, slash);
    }

    std::string joined(const std::string& folder, const char* name)
    {
        return folder == "/" ? "/" + std::string(name) : folder + "/" + name;
    }

    /// Looks for the folder with `identity` below `root`, nearest levels first, without
    /// following symbolic links and without leaving the root's file system.
    std::optional<std::string> search(const std::string& root, const Identity& identity)
    {
        struct Pending {
            std::string path;
            int depth;
        };
        std::deque<Pending> queue { { root, 0 } };
        std::size_t visited = 0;
        while (!queue.empty()) {
            Pending folder = std::move(queue.front());
            queue.pop_front();
            DIR* directory = ::opendir(folder.path.c_str());
            if (!directory)
                continue;
            while (const dirent* entry = ::readdir(directory)) {
                if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                    continue;
                if (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN)
                    continue;
                if (++visited > searchLimit) {
                    ::closedir(directory);
                    return std::nullopt;
                }
                auto path = joined(folder.path, entry->d_name);
                auto found = folderIdentity(path, AT_SYMLINK_NOFOLLOW);
                if (!found || found->device != identity.device)
                    continue;
                if (found->sameFolderAs(identity)) {
                    ::closedir(directory);
                    return path;
                }
                if (folder.depth + 1 < searchDepth)
                    queue.push_back({ std::move(path), folder.depth + 1 });
            }
            ::closedir(directory);
        }
        return std::nullopt;
    }

} // namespace

BookmarkData create(const FileURL& url)
{
    int error = 0;
    auto identity = folderIdentity(url.path, 0, &error);
    if (!identity)
        throw FileError::reading(url.path, error);
    BookmarkData data(magic, magic + sizeof magic);
    data.push_back(formatVersion);
    put(data, identity->device, 8);
    put(data, identity->inode, 8);
    put(data, static_cast<std::uint64_t>(identity->hasBirth ? identity->birthSeconds : 0), 8);
    put(data, identity->hasBirth ? identity->birthNanoseconds : 0, 4);
    put(data, identity->hasBirth ? hasBirthTime : 0, 4);
    put(data, url.path.size(), 4);
    data.insert(data.end(), url.path.begin(), url.path.end());
    return data;
}

std::optional<std::string> recordedPath(const BookmarkData& data)
{
    auto record = decode(data);
    if (!record)
        return std::nullopt;
    return record->path;
}

ResolvedBookmark resolve(const BookmarkData& data)
{
    auto record = decode(data);
    if (!record)
        throw FileError(FileError::Code::fileReadCorruptFile, {},
            "The file couldn\u2019t be opened because it isn\u2019t in the correct format.");

    auto atPath = folderIdentity(record->path, 0);
    if (atPath && atPath->sameFolderAs(record->identity))
        return { FileURL(record->path, true), false };

    auto ancestor = parentPath(record->path);
    while (ancestor != "/" && !folderIdentity(ancestor, 0))
        ancestor = parentPath(ancestor);
    if (auto moved = search(ancestor, record->identity))
        return { FileURL(*moved, true), true };

    if (atPath)
        return { FileURL(record->path, true), true };
    throw FileError(FileError::Code::fileNoSuchFile, record->path,
        "The file couldn\u2019t be opened because it doesn\u2019t exist.");
}

} // namespace sorvik::Bookmark
