#pragma once

#include "app/automation/watch_folder_scan.h"
#include "engine/model/file_url.h"

#include <cstdint>
#include <map>
#include <set>
#include <tuple>

namespace sorvik {

/// The batches of any sorvik process that have not ended, read from their journals. Until a
/// journal goes, the files it names (sources, temporary names, destinations) may be half
/// moved, or moved back, so the watch folders take none of them for an arrival:
/// - a journal whose lock a running process holds holds the folders its batch's files are in
///   and the folders the batch may create, whole, until it ends;
/// - a journal that no process holds any more belongs to a batch that ended without
///   finishing; recovery puts its files back (any sorvik start, the watch folders too), and
///   until it has, the journal holds the very files it names. So does the journal of a batch
///   that finished moving but could not be recorded: its files are where they belong, and
///   only the next start's record is missing.
/// A journal that cannot be read holds nothing (recovery reports it). Not thread-safe; one
/// user at a time.
class RunningBatches {
public:
    /// What the journals in a folder hold now.
    struct Held {
        /// The folders of running batches, by identity.
        FolderIdentities folders;
        /// The files named by journals of batches that ended without finishing.
        HeldFiles files;
        /// A batch is running now: its end (or its process's) needs looking at soon.
        bool anyRunning = false;
        /// Some journal of a batch that ended before it finished moving was not seen before:
        /// recovery may put it back now.
        bool anyNewlyAbandoned = false;
    };

    /// What the journals in `journalFolder` hold now. A journal of an ended batch counts as
    /// newly abandoned until `recoveryTried` follows a look that found it (as it is), and
    /// again after `lookAfresh`. Nothing is read when the folder holds no journal; each
    /// journal is read once.
    Held held(const FileURL& journalFolder);

    /// The folders, by identity, that a running batch's journal in `journalFolder` names now.
    FolderIdentities heldFolders(const FileURL& journalFolder);

    /// The journals of ended batches that the last `held` found have had their recovery:
    /// they are not newly abandoned again until `lookAfresh`.
    void recoveryTried() { m_tried.insert(m_lastAbandoned.begin(), m_lastAbandoned.end()); }

    /// Every journal of an ended batch counts as newly abandoned again.
    void lookAfresh() { m_tried.clear(); }

private:
    /// One version of one journal file: its file number, size and modification time.
    using Version
        = std::tuple<std::uint64_t, std::uint64_t, std::int64_t, std::int64_t, std::int64_t>;

    /// What one journal names.
    struct Named {
        FolderIdentities folders;
        HeldFiles files;
        /// Its batch finished moving.
        bool isComplete = false;
    };

    /// What each journal read before names, by its version: a batch of ten thousand moves is
    /// read once, not at every tick.
    std::map<Version, Named> m_read;
    /// The journals of ended batches that the last `held` found.
    std::set<Version> m_lastAbandoned;
    /// Those whose recovery was tried.
    std::set<Version> m_tried;
};

} // namespace sorvik
