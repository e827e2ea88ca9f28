#pragma once

#include "engine/apply/file_fingerprint.h"
#include "engine/apply/file_system.h"
#include "engine/apply/journal_recovery.h"
#include "engine/apply/rename_execution_error.h"
#include "engine/apply/rename_journal.h"
#include "engine/apply/rename_move.h"
#include "engine/model/date.h"
#include "engine/model/file_url.h"
#include "engine/model/uuid.h"

#include <functional>
#include <optional>
#include <vector>

namespace sorvik {

/// A source that is no longer the file the caller read, or is gone.
class SourceChangedError : public RenameExecutionError {
public:
    explicit SourceChangedError(FileURL source);

    const FileURL& source() const { return m_source; }

private:
    FileURL m_source;
};

/// How one batch runs.
struct BatchOptions {
    /// Every source is copied here first, with a manifest.
    std::optional<FileURL> backupDirectory;
    /// Every folder the batch touches must lie inside one of these; none: no limit.
    std::optional<std::vector<FileURL>> grantedFolders;
    /// The id under which the batch is recorded in the history: the journal keeps it, and the
    /// executor hands back every file's fingerprint for the record.
    std::optional<Uuid> recordId;
    /// What each source must still be, one per move in order (or none at all): a source whose
    /// fingerprint differs, or that is gone, fails the batch with `SourceChangedError` before
    /// anything moves.
    std::vector<std::optional<FileFingerprint>> expectedSources;
    /// Called once a batch that moves anything has passed its checks and has its backup and
    /// its journal written, just before the journal is named and the first file moves: the
    /// last moment the batch can be dropped with nothing changed. What it throws drops the
    /// batch, its backup and journal taken back, and is passed on.
    std::function<void()> beforeFirstMove;
};

/// What a batch that went through leaves for its caller.
struct AppliedBatch {
    /// The folders the batch created, in creation order.
    std::vector<FileURL> createdDirectories;
    /// With a record id: each move's file at its destination, one per move in order; absent
    /// for a move that stayed in place.
    std::vector<std::optional<FileFingerprint>> fingerprints;
    /// The batch's journal, marked complete; `finish()` it once the batch is recorded. A
    /// journal given up without that makes the next recovery record the batch.
    RenameJournal journal;
};

/// The history record of a batch that `apply` has just carried out with `id` as its record
/// id: the moves as given, the folders it created, and each file's fingerprint as the batch
/// left it (read again only for a move that stayed in place). Refuses two moves to one path
/// (`RenameExecutionError` "Duplicate source or destination."); a fingerprint that cannot be
/// read fails with the file system's error.
HistoryRecord recordOf(const Uuid& id, std::vector<RenameMove> moves, const AppliedBatch& applied,
    const std::optional<FileURL>& backupPath);

/// Applies one batch of moves so that names can be swapped, rotated and changed in letter
/// case only, and so that a failure, a killed process or a folder changed meanwhile never
/// loses or strands a file.
///
/// The whole batch is checked before anything is touched: no two sources or destinations
/// with the same comparison key, every source present, every existing destination a source
/// of the batch. Each folder of the batch is opened once, before the first move, and every
/// move, test and rollback works inside those open folders: a folder renamed or swapped for a
/// symbolic link meanwhile still holds the batch's files, and nothing outside it is touched.
/// With granted folders, every open folder must lie inside one. Destination folders that do
/// not exist yet, or that stand where a source moves away, are found or created in phase 2
/// inside the nearest open folder above them, outermost first.
///
/// With a backup folder, every source is copied there first, with a manifest; a backup that
/// fails is removed again. With a journal folder, the batch's journal is written durably
/// before the first move (see `RenameJournal`). Phase 1 moves every source to a hidden
/// temporary name beside it; then every temporary name must still hold the very file that was
/// checked (same device and file number), else the batch rolls back; phase 2 moves every
/// temporary name to its destination. A failure in either phase rolls back: placed files
/// return to their temporary names, the folders the batch created are removed (so none can
/// stand in a file's way home), and every temporary name returns to its source. Whatever could
/// not be put back is listed in the error, each with the place it belongs at, and its journal
/// stays for the next start.
class RenameExecutor {
public:
    /// `journalFolder`: where the journal of each batch is kept while it runs (the
    /// application's data folder); without one, no journal is written.
    explicit RenameExecutor(
        FileSystem& fileSystem, std::optional<FileURL> journalFolder = std::nullopt);

    /// Checks and applies the batch; returns the folders it created, in creation order.
    /// Fails with `RenameExecutionError` for the checks and for a rolled-back batch, and with
    /// the platform's error (`FileSystemError`, `Error`) when the backup or the journal
    /// cannot be written, before any file has moved.
    std::vector<FileURL> execute(const std::vector<RenameMove>& moves,
        const std::optional<FileURL>& backupDirectory = std::nullopt) const;

    /// `execute` with options; the journal stays (complete) until the caller finishes it.
    AppliedBatch apply(const std::vector<RenameMove>& moves, const BatchOptions& options) const;

    /// Removes the given folders from the last to the first where they are empty; ignores
    /// every failure.
    void removeCreatedDirectories(const std::vector<FileURL>& folders) const;

    /// Recovers every batch whose journal was left in the journal folder by a process that
    /// ended in the middle of it (see `JournalRecovery`). Call it at start-up, before any
    /// batch.
    JournalRecovery::Report recoverInterruptedBatches(
        const JournalRecovery::Options& options = {}) const;

    /// Removes backup folders created before `cutoff` that hold exactly what the executor
    /// wrote into them (see `backup::prune`).
    static void pruneBackups(const FileURL& folder, Date cutoff);

private:
    FileSystem& m_fileSystem;
    std::optional<FileURL> m_journalFolder;
};

} // namespace sorvik
