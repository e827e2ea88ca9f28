#pragma once

#include "engine/apply/file_system.h"
#include "engine/model/file_url.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace sorvik {

/// One move of a batch as its journal keeps it.
struct RenameJournalEntry {
    FileURL from;
    /// The hidden temporary name beside `from` that the move passes through.
    FileURL temp;
    FileURL to;
    /// The file number of `from` when the journal was written (0 when unknown): it tells a
    /// file of the batch that already reached its destination from anything else there.
    std::uint64_t inode = 0;

    friend bool operator==(const RenameJournalEntry&, const RenameJournalEntry&) = default;
};

/// The record that lets a batch interrupted by a killed process or a power cut be put back.
///
/// Before the first move of a batch the executor writes every move (source, temporary name,
/// destination, file number) into a journal file in the data folder, durably: a temporary
/// file, `fsync`, `rename`, `fsync` of the folder. The file holds byte strings separated by
/// NUL, the one byte no path can contain, so paths are written exactly as the file system has
/// them and a batch of ten thousand moves costs a few milliseconds: "sorvik rename journal",
/// the version "1", the number of moves, then per move its source path, temporary path,
/// destination path and file number in decimal, and last "end". While the batch runs, its process
/// holds an exclusive `flock` on the journal; the lock dies with the process, so a journal without
/// a lock belongs to a batch that never ended. When the batch ends, successfully or after its
/// rollback, the journal is removed.
///
/// Recovery puts such a batch back whole. A batch that left no file at a temporary name had
/// either not started or finished moving, so there is nothing to do. Otherwise, duplicate
/// names left by an interrupted `link` + `unlink` are dropped, files that already reached
/// their destination (recognised by file number) go back to their temporary name, and every
/// temporary name goes back to its source. On a file system that renumbers its files when it
/// is mounted again, a source still taken by a placed file of the batch is freed by moving
/// that file to its own temporary name first.
class RenameJournal {
public:
    static constexpr std::string_view fileNamePrefix = "rename-journal-";

    RenameJournal() = default;
    RenameJournal(RenameJournal&& other) noexcept;
    RenameJournal& operator=(RenameJournal&& other) noexcept;
    RenameJournal(const RenameJournal&) = delete;
    RenameJournal& operator=(const RenameJournal&) = delete;
    /// Gives the lock up but keeps the file: a batch that did not end properly stays
    /// recoverable.
    ~RenameJournal();

    /// Writes the journal of a batch durably into `folder` (created when missing) and holds
    /// its lock until `finish()`. Fails with `FileSystemError`; nothing is left behind then.
    static RenameJournal begin(
        const FileURL& folder, const std::vector<RenameJournalEntry>& entries);

    /// Removes the journal and gives up its lock: the batch has ended.
    void finish();

    bool isOpen() const { return m_descriptor >= 0; }
    const FileURL& url() const { return m_url; }

    /// Reads the entries of a journal file. Fails with `FileSystemError`, or with `Error` for
    /// a file that is not a complete journal.
    static std::vector<RenameJournalEntry> read(const FileURL& url);

    /// Puts back the batches of every journal in `folder` whose process has ended, through
    /// `fileSystem`, and removes their journals. Returns the files that could not be put back
    /// (their journal stays, so that a later call tries again). A folder without journals is
    /// no failure. Fails with `FileSystemError` or `Error` on a journal that cannot be read;
    /// that journal stays.
    static std::vector<FileURL> recover(FileSystem& fileSystem, const FileURL& folder);

    /// Puts back one interrupted batch; returns the files left at temporary names.
    static std::vector<FileURL> restore(
        FileSystem& fileSystem, const std::vector<RenameJournalEntry>& entries);

private:
    RenameJournal(FileURL url, int descriptor);
    void close();

    FileURL m_url;
    int m_descriptor = -1;
};

} // namespace sorvik
