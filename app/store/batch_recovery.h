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
/// it once at start-up, before its first batch. Returns what the user must be told, or
/// nothing: the files that could not be put back yet (their journal stays, so the next start
/// tries again), each with its place (written by `shown`), and every other problem on a line
/// of its own.
std::optional<std::string> recoverInterruptedBatches(
    const FolderAccessManager& access, const PathText& shown = {});

/// The same where no folder access manager runs yet: the grants are read only when a journal
/// is there.
std::optional<std::string> recoverInterruptedBatches(const PathText& shown = {});

/// Puts `record` into "history.json", in date order, unless a record with its id is there.
void recordRecoveredBatch(const HistoryRecord& record);

} // namespace sorvik
