#pragma once

#include "engine/model/date.h"
#include "engine/model/file_url.h"
#include "engine/model/uuid.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
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

/// What a journal records before the first move.
struct RenameJournalBatch {
    /// The batch's id when the batch is recorded in the history.
    std::optional<Uuid> id;
    /// The batch's backup folder, when it has one.
    std::optional<FileURL> backupPath;
    std::vector<RenameJournalEntry> entries;
    /// The destination folders that the batch may create: those missing when it began, and
    /// those at or below a source that moves away.
    std::vector<FileURL> plannedFolders;

    friend bool operator==(const RenameJournalBatch&, const RenameJournalBatch&) = default;
};

/// One move as `begin` writes it, in views of the caller's own strings: a batch of any size
/// is written without a copy of its paths. The temporary name's path is `tempFolder` joined
/// with `tempName`.
struct RenameJournalMove {
    std::string_view from;
    std::string_view tempFolder;
    std::string_view tempName;
    std::string_view to;
    std::uint64_t inode = 0;
    bool isDirectory = false;
};

/// Moves handed to `begin` one at a time: `count` of them, each given by `at`.
struct RenameJournalMoves {
    std::size_t count = 0;
    std::function<RenameJournalMove(std::size_t index)> at;
};

/// What a journal records once the last move of its batch is done.
struct RenameJournalCompletion {
    Date date;
    /// The folders the batch created, in creation order.
    std::vector<FileURL> createdDirectories;

    friend bool operator==(const RenameJournalCompletion&, const RenameJournalCompletion&)
        = default;
};

/// A journal as read back.
struct RenameJournalContents {
    RenameJournalBatch batch;
    /// Present once the batch finished moving.
    std::optional<RenameJournalCompletion> completion;
};

/// The record that lets a batch interrupted by a killed process or a power cut be put back,
/// or, when it had finished moving, be recorded.
///
/// Before the first move of a batch the executor writes every move (source, temporary name,
/// destination, file number), the batch's id and backup folder and the folders it may create
/// into a journal file in the data folder, durably. The file holds byte strings separated by
/// NUL, the one byte no path can contain, so paths are written exactly as the file system has
/// them and a batch of ten thousand moves costs a few milliseconds. The file is complete and
/// locked (an exclusive `flock`) before it ever has its name: it is made without a name, locked,
/// written, flushed and then linked under "rename-journal-" + UUID, so no other process can
/// take it for an abandoned journal. (Where the file system cannot make a file without a name,
/// it is written under its name + ".tmp", locked before anything is written, and named only
/// once it is whole.) The lock dies with its process: a journal without a lock belongs to a
/// batch that never ended.
///
/// When the last move is done, the batch is marked complete (the time and the folders it
/// created are appended); then its history record is written, and then the journal is
/// removed. A batch that fails and is rolled back removes its journal too, unless files could
/// not be put back.
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
    static RenameJournal begin(const FileURL& folder, const RenameJournalBatch& batch);
    /// The same for the batch's entries followed by `moves`. `beforeNaming`, when given, is
    /// called once the journal is whole and durable, just before it gets its name: what it
    /// throws is passed on, and no journal is left.
    static RenameJournal begin(const FileURL& folder, const RenameJournalBatch& batch,
        const RenameJournalMoves& moves, const std::function<void()>& beforeNaming = {});
    /// A batch without id, backup or planned folders.
    static RenameJournal begin(
        const FileURL& folder, const std::vector<RenameJournalEntry>& entries);
    /// `begin` as on a file system that cannot make a file without a name.
    static RenameJournal beginNamed(const FileURL& folder, const RenameJournalBatch& batch,
        const RenameJournalMoves& moves = {}, const std::function<void()>& beforeNaming = {});

    /// Marks the batch complete. Whether the mark was written; without it, a later recovery
    /// finds every file at its destination and simply removes the journal.
    bool markComplete(const RenameJournalCompletion& completion);

    /// Removes the journal and gives up its lock: the batch has ended.
    void finish();

    bool isOpen() const { return m_descriptor >= 0; }
    const FileURL& url() const { return m_url; }

    /// Reads a journal file: only a regular file, opened without waiting (a FIFO in its
    /// place does not stall). Fails with `FileSystemError`, or with `Error` for a file that is
    /// not a complete journal.
    static RenameJournalContents read(const FileURL& url);

    /// The contents of a journal from its open descriptor; see `read`.
    static RenameJournalContents read(int descriptor, const FileURL& url);

    /// Whether `name` is a journal's name, and whether it is one that never got its final
    /// name (".tmp").
    static std::optional<bool> nameIsUnfinished(std::string_view name);

    /// Takes an exclusive lock that nobody else holds; false when a running batch holds it.
    static bool lockIfAbandoned(int descriptor);

    /// Adopts an open and locked journal file (used by recovery).
    RenameJournal(FileURL url, int descriptor);

private:
    void close();

    FileURL m_url;
    int m_descriptor = -1;
};

} // namespace sorvik
