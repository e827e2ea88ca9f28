#pragma once

#include "engine/apply/file_fingerprint.h"

#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>

namespace sorvik {

/// Which files a recorded batch left where they are: the fingerprints of the records in
/// "history.json" that are not undone, by the path of their destination. A file found here
/// with its recorded fingerprint was put there by sorvik (the window, the command line or a
/// watch folder, in this process or another) and is not new. Not thread-safe; one user at a
/// time.
class HistoryIndex {
public:
    /// What tells one version of the file from the next.
    using Stamp
        = std::tuple<std::uint64_t, std::uint64_t, std::int64_t, std::int64_t, std::int64_t>;

    /// Reads "history.json" again when it changed since the last read; a file that cannot be
    /// read holds nothing.
    void refresh();

    /// Whether a record that is not undone left the file at `path` with exactly `fingerprint`.
    bool holds(const std::string& path, const FileFingerprint& fingerprint) const;

private:
    std::optional<Stamp> m_stamp;
    std::unordered_multimap<std::string, FileFingerprint> m_fingerprints;
};

} // namespace sorvik
