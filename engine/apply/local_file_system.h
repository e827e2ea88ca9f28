#pragma once

#include "engine/apply/file_system.h"
#include "engine/model/name_table.h"

#include <optional>
#include <string>
#include <unordered_map>

namespace sorvik {

/// The real file system, through POSIX calls.
///
/// A move never replaces anything: it is one `renameat2` with `RENAME_NOREPLACE`, so the
/// kernel refuses an existing destination atomically, with no window between a check and
/// the rename. Volumes that do not know the flag answer `EINVAL`: FUSE mounts (sshfs, the
/// file manager's network shares, bindfs), NFS and many SMB servers. There the move looks the
/// destination up by its exact name and, when nothing is there, renames without the flag: for
/// files and folders alike, and without a hard link, which such volumes often lack. The
/// lookup is the volume's own, so where the volume ignores letter case a name that differs
/// from an existing one only in case counts as taken, as it does with the flag. The check and
/// the rename are two steps, but a process killed between them has moved nothing. An open
/// folder remembers that its volume refused the flag, so that a batch asks once per folder.
///
/// Asked about many names in one folder, it reads the folder once instead of testing each
/// name, but only where a listing answers exactly as `lstat` would: on file systems that
/// compare names byte for byte (ext4, XFS, Btrfs, tmpfs) in a folder without case folding.
///
/// An open folder is an `O_PATH | O_DIRECTORY` descriptor; every operation on it is one of the
/// `*at` calls relative to that descriptor, never following a final symbolic link.
class LocalFileSystem final : public FileSystem {
public:
    /// `lstat` of the path: a final symbolic link is not followed.
    bool itemExists(const FileURL& url) override;
    std::vector<bool> itemsExist(const std::vector<FileURL>& urls) override;
    /// Fails with `EEXIST` when the destination exists; other failures are the system's.
    void moveItem(const FileURL& source, const FileURL& destination) override;
    /// `mkdir` without intermediate folders.
    void createDirectory(const FileURL& url) override;
    /// `rmdir`: fails with `ENOTEMPTY` and keeps a folder that holds anything.
    void removeEmptyDirectory(const FileURL& url) override;

    /// An `O_PATH` descriptor of the folder.
    OpenFolder openFolder(const FileURL& url, bool followFinalLink) override;
    OpenFolder openFolder(const OpenFolder& parent, std::string_view name) override;
    void closeFolder(const OpenFolder& folder) override;
    ItemStatus folderStatus(const OpenFolder& folder) override;
    /// What the kernel reports for the descriptor, checked against the folder's identity; where
    /// that cannot be had, the path is found by walking up from the folder.
    std::string realPath(const OpenFolder& folder) override;
    /// The real path found by walking up from the folder through "..", without /proc.
    static std::string realPathByWalkingUp(const OpenFolder& folder);
    std::optional<ItemStatus> itemStatus(const OpenFolder& folder, std::string_view name) override;
    std::optional<std::vector<std::optional<std::uint64_t>>> findNames(const OpenFolder& folder,
        const std::vector<std::string_view>& names, std::size_t limit) override;
    /// `renameat2` with `RENAME_NOREPLACE`, or where the volume refuses the flag, a lookup of
    /// the destination and then `renameat`.
    void moveItem(const OpenFolder& source, std::string_view sourceName,
        const OpenFolder& destination, std::string_view destinationName) override;
    /// `moveItem`, except that where the volume refuses the flag the destination is not
    /// looked up: nobody can have made a name that was only just made up.
    void moveToNewName(const OpenFolder& source, std::string_view sourceName,
        const OpenFolder& destination, std::string_view newName) override;
    void createDirectory(const OpenFolder& parent, std::string_view name) override;
    void removeEmptyDirectory(const OpenFolder& parent, std::string_view name) override;
    void removeName(const OpenFolder& folder, std::string_view name) override;

    /// Renames the item at `url` aside, never over anything: to its path followed by `suffix`,
    /// or where that is taken, by "." + a new UUID + `suffix`. Where it went, or nothing when
    /// it could not be moved.
    static std::optional<FileURL> moveAside(const FileURL& url, std::string_view suffix);
};

/// `LocalFileSystem::itemExists` for many paths asked one by one, as a preview asks: the
/// first time a folder that holds many of them (as told at construction) is asked about, its
/// names are read once, where a reading answers as `lstat` would; every other path is tested
/// by itself. The answers are those of that moment, which is all a preview needs: the executor
/// checks again before anything moves.
class ExistenceSnapshot {
public:
    /// `expected`: folder path -> how many paths in it will be asked about.
    explicit ExistenceSnapshot(const std::unordered_map<std::string, std::size_t>& expected);

    bool operator()(const FileURL& url);

private:
    /// Lets the maps be asked with a string_view, without making a string of it.
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const
        {
            return std::hash<std::string_view> {}(text);
        }
    };

    std::unordered_map<std::string, std::size_t, Hash, std::equal_to<>> m_expected;
    /// Each folder's names, once read; nothing where it is not read whole.
    std::unordered_map<std::string, std::optional<NameTable>, Hash, std::equal_to<>> m_listed;
    LocalFileSystem m_fileSystem;
};

} // namespace sorvik
