#pragma once

#include "app/automation/watch_folder_scan.h"
#include "engine/apply/file_fingerprint.h"

#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

namespace sorvik {

/// Which files a recorded batch left where they are: the fingerprints of the records in
/// "history.json" that are not undone, with the path of their destination. A file found with
/// its recorded fingerprint was put there by sorvik (the window, the command line or a watch
/// folder, in this process or another) and is not new, whichever path reaches it: a batch may
/// have renamed it through a symbolic link or a bind mount of the folder it is found in. Not
/// thread-safe; one user at a time.
class HistoryIndex {
public:
    /// What tells one version of the file from the next.
    using Stamp
        = std::tuple<std::uint64_t, std::uint64_t, std::int64_t, std::int64_t, std::int64_t>;

    /// Reads "history.json" again when it changed since the last read; a file that cannot be
    /// read holds nothing.
    void refresh();

    /// Whether a record that is not undone left the file found at `path` as `identity` is:
    /// with its fingerprint, at its recorded destination or at another path to the same file.
    bool holds(const std::string& path, const FileIdentity& identity) const;

private:
    std::optional<Stamp> m_stamp;
    /// Each recorded destination and its fingerprint, by file number.
    std::unordered_multimap<std::uint64_t, std::pair<std::string, FileFingerprint>> m_destinations;
};

} // namespace sorvik
