#include "app/automation/watch_running_batches.h"

#include "engine/apply/rename_journal.h"

#include <cerrno>
#include <exception>
#include <string>
#include <unordered_map>
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

} // namespace

RunningBatches::Held RunningBatches::held(const FileURL& journalFolder)
{
    Held held;
    std::set<Version> stillThere;
    m_lastAbandoned.clear();
    DIR* directory = ::opendir(journalFolder.path.c_str());
    if (!directory) {
        m_read.clear();
        m_lastAbandoned.clear();
        m_tried.clear();
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
        if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
            ::close(descriptor);
            continue;
        }
        bool running = isHeldByARunningBatch(descriptor);
        Version version { static_cast<std::uint64_t>(status.st_dev),
            static_cast<std::uint64_t>(status.st_ino), static_cast<std::int64_t>(status.st_size),
            static_cast<std::int64_t>(status.st_mtim.tv_sec),
            static_cast<std::int64_t>(status.st_mtim.tv_nsec) };
        auto found = m_read.find(version);
        if (found == m_read.end()) {
            Named named;
            try {
                auto contents
                    = RenameJournal::read(descriptor, journalFolder.appending(entry->d_name));
                named.isComplete = contents.completion.has_value();
                // Each folder is looked up once, whichever path names it.
                std::unordered_map<std::string, std::optional<FolderIdentity>> identities;
                auto identityOf = [&](const FileURL& url) {
                    auto path = url.deletingLastPathComponent().path;
                    auto known = identities.find(path);
                    if (known == identities.end())
                        known = identities.emplace(path, folderIdentity(path)).first;
                    return known->second;
                };
                for (const auto& move : contents.batch.entries) {
                    for (const FileURL* url : { &move.from, &move.temp, &move.to }) {
                        if (auto identity = identityOf(*url)) {
                            named.folders.insert(*identity);
                            named.files[*identity].insert(url->lastPathComponent());
                        }
                    }
                }
                for (const auto& folder : contents.batch.plannedFolders) {
                    if (auto identity = folderIdentity(folder.path))
                        named.folders.insert(*identity);
                }
            } catch (const std::exception&) {
                // A journal that cannot be read is recovery's to report.
            }
            found = m_read.emplace(version, std::move(named)).first;
        }
        if (running) {
            held.anyRunning = true;
            held.folders.insert(found->second.folders.begin(), found->second.folders.end());
        } else {
            if (!found->second.isComplete) {
                m_lastAbandoned.insert(version);
                if (!m_tried.contains(version))
                    held.anyNewlyAbandoned = true;
            }
            for (const auto& [folder, names] : found->second.files)
                held.files[folder].insert(names.begin(), names.end());
        }
        stillThere.insert(version);
        ::close(descriptor);
    }
    ::closedir(directory);
    // What was read of journals that are gone goes with them.
    std::erase_if(m_read, [&](const auto& read) { return !stillThere.contains(read.first); });
    std::erase_if(m_tried, [&](const Version& tried) { return !stillThere.contains(tried); });
    return held;
}

FolderIdentities RunningBatches::heldFolders(const FileURL& journalFolder)
{
    return held(journalFolder).folders;
}

} // namespace sorvik
