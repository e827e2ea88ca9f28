#pragma once

#include "engine/apply/file_system.h"
#include "engine/apply/history_record.h"
#include "engine/apply/rename_execution_error.h"
#include "engine/apply/rename_journal.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

// What is done with the journals that sorvik processes left behind when they ended in the
// middle of a batch (killed, crashed, power cut).
//
// A journal is trusted only when every entry is sound: plain absolute paths, a temporary name
// of the executor's own form beside its source, three different names, no name shared with
// another entry, and every folder inside a granted folder. A journal that is not, or that
// cannot be read as one (damaged, or not a regular file), is never acted on: it is renamed
// aside, so that it is reported once and then stays for whoever wants to look at it.
//
// A trusted journal whose batch was marked complete only needs its history record: recovery
// makes sure the history holds a record with the batch's id, then removes the journal. Any
// other journal's batch is put back whole: names left twice by an interrupted `link` +
// `unlink` lose their extra name, files that reached their destination (told by file number)
// return to their temporary name, the folders the batch made are removed where empty, and
// every temporary name returns to its source. A name is removed only while the file keeps
// another one. What cannot be put back is reported where it is found on the disk (at its
// temporary name, at its destination, or under another name beside either, told by file
// number), or as not found; its journal stays for a later try.
namespace sorvik::JournalRecovery {

/// Where recovery may act, and how a finished batch gets its record.
struct Options {
    /// Every path of a journal must lie inside these folders; none: no limit.
    std::optional<std::vector<FileURL>> grantedFolders;
    /// Puts `record` into the history unless a record with its id is there. Without it, a
    /// finished batch's journal is removed with no record.
    std::function<void(const HistoryRecord&)> recordBatch;
};

/// What a recovery could not do.
struct Report {
    /// Files of interrupted batches that could not be put back, each where it is now.
    std::vector<StrandedFile> stranded;
    /// Files of interrupted batches that are nowhere to be found beside their source or their
    /// destination (moved elsewhere, or deleted), each with the place the batch left it at:
    /// once it is back there, a later recovery puts it home.
    std::vector<StrandedFile> missing;
    /// What the user has to be told once: journals set aside, records that could not be
    /// written, journals that could not be read.
    std::vector<std::string> problems;

    bool empty() const { return stranded.empty() && missing.empty() && problems.empty(); }
};

/// Recovers every journal in `folder` whose process has ended, in name order. Journals of
/// running batches are left alone. A folder without journals is no failure.
Report recover(FileSystem& fileSystem, const FileURL& folder, const Options& options = {});

/// Why a journal's batch cannot be trusted, or nothing when every entry is sound (the
/// granted folders are checked by `recover`).
std::optional<std::string> unsoundness(const RenameJournalBatch& batch);

/// The history record of a batch that finished moving: its moves, the time and folders of its
/// completion, and the fingerprint each destination has now (the unreadable values for one
/// that is gone).
HistoryRecord recordOf(const RenameJournalBatch& batch, const RenameJournalCompletion& completion);

} // namespace sorvik::JournalRecovery
