#include "app/automation/history_index.h"

#include "app/store/history_file.h"
#include "app/store/json_files.h"

#include <exception>

#include <sys/stat.h>

namespace sorvik {

namespace {

    /// What tells one version of "history.json" from the next: the file it is (an atomic write
    /// makes a new one), its size and its modification time.
    std::optional<HistoryIndex::Stamp> stampOf(const std::filesystem::path& path)
    {
        struct stat status { };
        if (::stat(path.c_str(), &status) != 0)
            return std::nullopt;
        return std::make_tuple(static_cast<std::uint64_t>(status.st_dev),
            static_cast<std::uint64_t>(status.st_ino), static_cast<std::int64_t>(status.st_size),
            static_cast<std::int64_t>(status.st_mtim.tv_sec),
            static_cast<std::int64_t>(status.st_mtim.tv_nsec));
    }

} // namespace

void HistoryIndex::refresh()
{
    auto stamp = stampOf(JSONFiles::applicationFolder() / HistoryFile::fileName);
    if (!stamp)
        stamp = stampOf(JSONFiles::legacyFolder() / HistoryFile::fileName);
    if (stamp && stamp == m_stamp)
        return;
    m_stamp = stamp;
    m_destinations.clear();
    if (!stamp)
        return;
    try {
        for (const auto& record : HistoryFile::load()) {
            if (record.undone)
                continue;
            for (const auto& [path, fingerprint] : record.fingerprints)
                m_destinations.emplace(fingerprint.inode, std::make_pair(path, fingerprint));
        }
    } catch (const std::exception&) {
        // An unreadable history tells nothing; files are then judged by the scan alone.
        m_destinations.clear();
    }
}

bool HistoryIndex::holds(const std::string& path, const FileIdentity& identity) const
{
    auto [first, last] = m_destinations.equal_range(identity.fingerprint.inode);
    for (auto it = first; it != last; ++it) {
        const auto& [destination, fingerprint] = it->second;
        if (fingerprint != identity.fingerprint)
            continue;
        if (destination == path)
            return true;
        // Another spelling of the destination (a link, a bind mount) reaches this very file
        // when it finds the same file number on the same device. A destination that can no
        // longer be reached leaves the fingerprint alone to decide; one that holds another file
        // says this is not the file recorded.
        auto there = FileIdentity::of(destination);
        if (!there
            || (there->device == identity.device
                && there->fingerprint.inode == identity.fingerprint.inode))
            return true;
    }
    return false;
}

} // namespace sorvik
