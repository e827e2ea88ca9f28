#pragma once

#include "app/automation/watch_folder_scan.h"
#include "engine/model/file_url.h"

#include <cstdint>
#include <map>
#include <tuple>

namespace sorvik {

/// The folders in which a rename batch of some sorvik process is running now, read from the
/// batches' journals: a journal whose lock a running process holds names its batch's files
/// (sources, temporary names, destinations) and the folders the batch may create. Until the
/// journal goes, the files in those folders may be half moved, or moved back, so the watch
/// folders take none of them for an arrival.
///
/// A journal that no process holds any more belongs to a batch that ended without finishing;
/// the next start of sorvik puts its files back or records it. A journal that cannot be read
/// says nothing. Not thread-safe; one user at a time.
class RunningBatches {
public:
    /// The folders, by identity, that a running batch's journal in `journalFolder` names now.
    /// Nothing is read when the folder holds no journal.
    FolderIdentities heldFolders(const FileURL& journalFolder);

private:
    /// One version of one journal file: its file number, size and modification time.
    using Version
        = std::tuple<std::uint64_t, std::uint64_t, std::int64_t, std::int64_t, std::int64_t>;

    /// The folders each journal read before names, by its version: a batch of ten thousand
    /// moves is read once, not at every tick.
    std::map<Version, FolderIdentities> m_read;
};

} // namespace sorvik
