#include "app/automation/watch_running_batches.h"

#include "engine/apply/rename_journal.h"

#include <cerrno>
#include <exception>
#include <string>
#include <unordered_set>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sorvik {

namespace {

    /// Whether a process holds the lock of the open journal. A shared lock that is granted is
    /// given back at once: it only tells that nobody holds the journal.
    bool isHeldByARunningBatch(int descriptor)
    {
        while (::flock(descriptor, LOCK_SH | LOCK_NB) != 0) {
            if (errno == EINTR)
                continue;
            return errno == EWOULDBLOCK;
        }
        ::flock(descriptor, LOCK_UN);
        return false;
    }

    /// The folders that `contents` names, by identity.
    FolderIdentities foldersOf(const RenameJournalContents& contents)
    {
        std::unordered_set<std::string> paths;
        for (const auto& entry : contents.batch.entries) {
            paths.insert(entry.from.deletingLastPathComponent().path);
            paths.insert(entry.temp.deletingLastPathComponent().path);
            paths.insert(entry.to.deletingLastPathComponent().path);
        }
        for (const auto& folder : contents.batch.plannedFolders)
            paths.insert(folder.path);
        FolderIdentities folders;
        for (const auto& path : paths) {
            if (auto identity = folderIdentity(path))
                folders.insert(*identity);
        }
        return folders;
    }

} // namespace

FolderIdentities RunningBatches::heldFolders(const FileURL& journalFolder)
{
    FolderIdentities held;
    std::map<Version, FolderIdentities> stillThere;
    DIR* directory = ::opendir(journalFolder.path.c_str());
    if (!directory) {
        m_read.clear();
        return held;
    }
    while (const dirent* entry = ::readdir(directory)) {
        // A journal still being written (".tmp") precedes every move of its batch.
        auto unfinished = RenameJournal::nameIsUnfinished(entry->d_name);
        if (!unfinished || *unfinished)
            continue;
        // Never through a link, never waiting on a FIFO in a journal's place.
        int descriptor = ::openat(
            ::dirfd(directory), entry->d_name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (descriptor < 0)
            continue;
        struct stat status { };
        if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)
            || !isHeldByARunningBatch(descriptor)) {
            ::close(descriptor);
            continue;
        }
        Version version { static_cast<std::uint64_t>(status.st_dev),
            static_cast<std::uint64_t>(status.st_ino), static_cast<std::int64_t>(status.st_size),
            static_cast<std::int64_t>(status.st_mtim.tv_sec),
            static_cast<std::int64_t>(status.st_mtim.tv_nsec) };
        auto found = m_read.find(version);
        if (found == m_read.end()) {
            FolderIdentities folders;
            try {
                folders = foldersOf(
                    RenameJournal::read(descriptor, journalFolder.appending(entry->d_name)));
            } catch (const std::exception&) {
                // A journal that cannot be read is recovery's to report.
            }
            found = m_read.emplace(version, std::move(folders)).first;
        }
        held.insert(found->second.begin(), found->second.end());
        stillThere.insert(*found);
        ::close(descriptor);
    }
    ::closedir(directory);
    m_read = std::move(stillThere);
    return held;
}

} // namespace sorvik
