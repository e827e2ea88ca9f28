#pragma once

#include "engine/apply/history_record.h"
#include "engine/apply/rename_execution_error.h"
#include "engine/model/file_url.h"

#include <optional>
#include <string>
#include <vector>

namespace sorvik {

class FolderAccessManager;

/// The folder where a running batch keeps its journal: the application folder.
FileURL batchJournalFolder();

/// Recovers every batch that a killed or crashed sorvik left half done, inside the folders
/// `access` grants (see `JournalRecovery`): puts back what it can, records finished batches
/// in "history.json", sets aside journals it cannot trust. Every program that renames calls
/// it once at start-up, before its first batch; the watch folders call it too, for batches
/// whose process died while they watch. Two recoveries at once never act on one journal.
/// Returns what the user must be told, or nothing: the files that could not be put back yet
/// (their journal stays, so the next start tries again), each where it is found now, then
/// those found nowhere with the place the batch left them at (paths written by `shown`), and
/// every other problem on a line of its own.
std::optional<std::string> recoverInterruptedBatches(
    const FolderAccessManager& access, const PathText& shown = {});

/// The same inside `grantedFolders`, for work away from the folder access manager's thread;
/// `grantsError` is its `storageError()`: grants that could not be read recover nothing.
std::optional<std::string> recoverInterruptedBatches(const std::vector<FileURL>& grantedFolders,
    const std::optional<std::string>& grantsError, const PathText& shown = {});

/// The same where no folder access manager runs yet: the grants are read only when a journal
/// is there.
std::optional<std::string> recoverInterruptedBatches(const PathText& shown = {});

/// Puts `record` into "history.json", in date order, unless a record with its id is there.
void recordRecoveredBatch(const HistoryRecord& record);

} // namespace sorvik
