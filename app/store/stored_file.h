#pragma once

#include "engine/model/regular_file.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The few file operations that the store's own files need. Every failure is a `FileError`
// naming the file; a failed write or folder also names its full path and what the user can do
// about it (`StoredFile::writeFailure`), since no caller knows better. Writes are atomic: a
// reader sees either the old file or the whole new one, never a part, and a failed write
// leaves the old file as it was.
namespace sorvik::StoredFile {

/// True when something is at `path` (symbolic links followed). A path whose state cannot be
/// found out for another reason than its absence counts as existing, so that reading it
/// reports the reason instead of passing over the file silently.
bool exists(const std::filesystem::path& path);

/// The regular file at `path` (symbolic links followed), open for reading. Opening never
/// blocks: a FIFO, socket or device in the file's place fails as not a regular file.
RegularFile open(const std::filesystem::path& path);

/// The whole content of the regular file at `path` (symbolic links followed). Opening never
/// blocks: a FIFO, socket or device in the file's place fails as not a regular file, and is
/// never read. With a `limit`, a file of that many bytes or more fails as too large.
std::string read(
    const std::filesystem::path& path, std::optional<std::int64_t> limit = std::nullopt);

/// Creates `folder` and its missing parents; an existing folder is no error.
void createFolder(const std::filesystem::path& folder);

/// Replaces the file at `path` by `bytes` in one step: the bytes go to a new file beside it,
/// are flushed to the disk, and the new file is renamed over the old one.
void writeAtomically(const std::filesystem::path& path, std::string_view bytes);

/// `writeAtomically` in pieces, for a file too large to make in memory first: the pieces go
/// to a new file beside the old one, which `commit` flushes and renames over it. Until then,
/// and when the writer is destroyed without it, the old file stays as it was and the new one
/// is removed.
class AtomicWriter {
public:
    explicit AtomicWriter(std::filesystem::path path);
    ~AtomicWriter();
    AtomicWriter(const AtomicWriter&) = delete;
    AtomicWriter& operator=(const AtomicWriter&) = delete;

    void write(std::string_view bytes);
    /// Appends `length` bytes of the open file `source` (at `path`) from `offset` on, copied
    /// by the system without passing through this process where it can.
    void copyFrom(
        int source, const std::filesystem::path& path, std::uint64_t offset, std::uint64_t length);
    void commit();

private:
    std::filesystem::path m_path;
    std::filesystem::path m_temporary;
    int m_descriptor = -1;
};

} // namespace sorvik::StoredFile
