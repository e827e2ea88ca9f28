#pragma once

#include "engine/apply/file_system.h"
#include "engine/apply/rename_execution_error.h"
#include "engine/apply/rename_move.h"
#include "engine/model/date.h"
#include "engine/model/file_url.h"

#include <optional>
#include <vector>

namespace sorvik {

/// Applies one batch of moves so that names can be swapped, rotated and changed in letter
/// case only, and so that a failure or a killed process never loses a file.
///
/// The whole batch is checked before anything is touched: no two sources or destinations
/// with the same comparison key, every source present, every existing destination a source
/// of the batch. With a backup folder, every source is copied there first, with a manifest.
/// With a journal folder, the batch's journal is written durably before the first move
/// (see `RenameJournal`). Phase 1 moves every source to a hidden temporary name beside it;
/// phase 2 moves every temporary name to its destination, creating missing destination
/// folders outermost first. A failure in either phase rolls back: placed files return to
/// their temporary names, the folders the batch created are removed (so none can stand in a
/// file's way home), and every temporary name returns to its source. Whatever could not be
/// put back is listed in the error. Every move, existence test and folder change goes
/// through the `FileSystem`; backups, the journal and pruning use the platform directly.
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

    /// Removes the given folders from the last to the first where they are empty; ignores
    /// every failure.
    void removeCreatedDirectories(const std::vector<FileURL>& folders) const;

    /// Puts back every batch whose journal was left in the journal folder by a process that
    /// ended in the middle of it (killed, power cut) and removes those journals. Batches still
    /// running in another process are left alone. Returns the files it could not put back;
    /// their journal stays for a later attempt. Call it at start-up, before any batch.
    std::vector<FileURL> recoverInterruptedBatches() const;

    /// Removes backup folders created before `cutoff` that hold exactly what the executor
    /// wrote into them (see `backup::prune`).
    static void pruneBackups(const FileURL& folder, Date cutoff);

private:
    FileSystem& m_fileSystem;
    std::optional<FileURL> m_journalFolder;
};

} // namespace sorvik
