#pragma once

#include "engine/apply/file_fingerprint.h"
#include "engine/model/error.h"
#include "engine/model/file_url.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

/// The failure of one file-system operation. `code()` is the POSIX error number; `what()`
/// puts the operation and its paths first and the system's description of the error last
/// ("Couldn't move "/a/x" to "/a/y": File exists").
class FileSystemError : public Error {
public:
    FileSystemError(const std::string& context, int code);

    int code() const { return m_code; }

private:
    int m_code;
};

/// Throws `FileSystemError` for the current `errno`, with the text `action` + " \"" + `path`
/// + "\"". `errno` is read before anything else happens.
[[noreturn]] void throwSystemError(std::string_view action, std::string_view path);

/// What a file system tells of one item, read without following a final symbolic link.
struct ItemStatus {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = -1;
    Date modified = Date::distantPast();
    bool isDirectory = false;
    std::uint64_t linkCount = 1;

    /// The item's size, modification date and file number.
    FileFingerprint fingerprint() const { return { size, modified, inode }; }
    /// The same item: same device and file number.
    bool isSameItem(const ItemStatus& other) const
    {
        return device == other.device && inode == other.inode;
    }
};

/// A folder that a `FileSystem` has opened. Names are looked up in this very folder for as
/// long as it is open, whatever happens to its path meanwhile: renamed, or replaced by a
/// symbolic link, it still holds the items it held. `handle` means something only to the file
/// system that opened it; `url` is the path it was opened by, for messages.
struct OpenFolder {
    int handle = -1;
    FileURL url;
    /// What the file system that opened the folder has learnt of its volume since, so that it
    /// need not find it out again on every call (like `handle`, it means something only to
    /// that file system). Learning it changes nothing of the folder, so it may be learnt on a
    /// folder held const.
    mutable unsigned learnt = 0;
};

/// The executor's view of the file system. The four path operations are what callers outside
/// a batch use (the preview's existence test, removing the folders of an undone batch); a
/// batch itself works on open folders, so that a folder renamed or swapped for a link while
/// it runs can neither strand its files nor send a move elsewhere. The application always
/// hands the executor a `LocalFileSystem`; tests hand it one that fails on purpose, or one
/// that changes the disk between two calls.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    /// True when anything exists at the URL's path, a dangling symbolic link included.
    /// Never fails: a failing test reads as false.
    virtual bool itemExists(const FileURL& url) = 0;
    /// `itemExists` of each URL, in order, for checking a whole batch at once. This asks
    /// `itemExists` for each; an implementation may answer many names in one folder faster.
    virtual std::vector<bool> itemsExist(const std::vector<FileURL>& urls);
    /// Moves (renames) one item. Fails, moving nothing, when anything exists at `destination`.
    virtual void moveItem(const FileURL& source, const FileURL& destination) = 0;
    /// Creates exactly one folder; its parent must exist.
    virtual void createDirectory(const FileURL& url) = 0;
    /// Removes a folder only when it is empty.
    virtual void removeEmptyDirectory(const FileURL& url) = 0;

    /// Opens the folder at `url`. With `followFinalLink` false, a symbolic link as the last
    /// component fails (links above it are followed, as any path lookup does). Fails with
    /// `FileSystemError` (`ENOENT` when nothing is there, `ENOTDIR` or `ELOOP` for something
    /// that is not a folder).
    virtual OpenFolder openFolder(const FileURL& url, bool followFinalLink) = 0;
    /// Opens the folder `name` inside `parent`; a symbolic link there fails.
    virtual OpenFolder openFolder(const OpenFolder& parent, std::string_view name) = 0;
    /// Gives an open folder up. Never fails.
    virtual void closeFolder(const OpenFolder& folder) = 0;
    /// The status of the open folder itself.
    virtual ItemStatus folderStatus(const OpenFolder& folder) = 0;
    /// The path at which the open folder is found now, with every symbolic link resolved.
    /// Fails with `FileSystemError`.
    virtual std::string realPath(const OpenFolder& folder) = 0;
    /// The status of `name` inside `folder`, or nothing when nothing is there (or it cannot be
    /// read).
    virtual std::optional<ItemStatus> itemStatus(const OpenFolder& folder, std::string_view name)
        = 0;
    /// For each of `names`, its file number in `folder`, or nothing where it is absent, told by
    /// one reading of the folder: only where such a reading answers exactly as `itemStatus`
    /// would (names compared byte for byte) and the folder holds at most `limit` entries;
    /// otherwise nothing at all. The file numbers are those `itemStatus` reports.
    virtual std::optional<std::vector<std::optional<std::uint64_t>>> findNames(
        const OpenFolder& folder, const std::vector<std::string_view>& names, std::size_t limit);
    /// Moves `sourceName` in `source` to `destinationName` in `destination`. Fails, moving
    /// nothing, when anything exists at the destination.
    virtual void moveItem(const OpenFolder& source, std::string_view sourceName,
        const OpenFolder& destination, std::string_view destinationName)
        = 0;
    /// `moveItem` to a name that nobody can have taken, because the caller has just made it up
    /// (a new random name). A file system that cannot refuse an existing destination by itself
    /// need not look for one first. This calls `moveItem`.
    virtual void moveToNewName(const OpenFolder& source, std::string_view sourceName,
        const OpenFolder& destination, std::string_view newName);
    /// Creates the folder `name` inside `parent`.
    virtual void createDirectory(const OpenFolder& parent, std::string_view name) = 0;
    /// Removes the folder `name` inside `parent` when it is empty.
    virtual void removeEmptyDirectory(const OpenFolder& parent, std::string_view name) = 0;
    /// Removes the name `name` inside `folder`, which must not be a folder. The caller makes
    /// sure the item keeps another name.
    virtual void removeName(const OpenFolder& folder, std::string_view name) = 0;
};

/// Holds the folders a batch opened and gives them back to their file system at the end.
class OpenFolders {
public:
    explicit OpenFolders(FileSystem& fileSystem)
        : m_fileSystem(fileSystem)
    {
    }
    ~OpenFolders();
    OpenFolders(const OpenFolders&) = delete;
    OpenFolders& operator=(const OpenFolders&) = delete;

    /// Keeps `folder` open until this object ends. The reference stays valid as long.
    const OpenFolder& keep(OpenFolder folder);

private:
    FileSystem& m_fileSystem;
    std::deque<OpenFolder> m_folders;
};

} // namespace sorvik
