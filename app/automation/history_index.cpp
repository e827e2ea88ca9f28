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
    m_fingerprints.clear();
    if (!stamp)
        return;
    try {
        for (const auto& record : HistoryFile::load()) {
            if (record.undone)
                continue;
            for (const auto& [path, fingerprint] : record.fingerprints)
                m_fingerprints.emplace(path, fingerprint);
        }
    } catch (const std::exception&) {
        // An unreadable history tells nothing; files are then judged by the scan alone.
        m_fingerprints.clear();
    }
}

bool HistoryIndex::holds(const std::string& path, const FileFingerprint& fingerprint) const
{
    auto [first, last] = m_fingerprints.equal_range(path);
    for (auto it = first; it != last; ++it) {
        if (it->second == fingerprint)
            return true;
    }
    return false;
}

} // namespace sorvik
