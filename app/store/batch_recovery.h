#pragma once

#include "engine/model/file_url.h"

#include <vector>

namespace sorvik {

/// The folder where a running batch keeps its journal: the application folder.
FileURL batchJournalFolder();

/// Puts back the files of every batch that a killed or crashed sorvik left half done (see
/// `RenameExecutor::recoverInterruptedBatches`). Every program that renames calls it once at
/// start-up, before its first batch. Returns the files that could not be put back yet; their
/// journal stays, so the next start tries again. Fails when a journal cannot be read.
std::vector<FileURL> recoverInterruptedBatches();

} // namespace sorvik
