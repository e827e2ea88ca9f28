#pragma once

#include "engine/model/date.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sorvik {

/// The separator between a log line's date and its text, and before a folder's name.
inline constexpr std::string_view watchLogSeparator = " \u00B7 ";

/// `date` as the log shows it: a numeric date and a short time in the user's locale (ICU's
/// best pattern for the skeleton "yMdjmm", e.g. "6/28/2025, 3:04 PM" or "28/06/2025, 15:04").
/// `localeName` empty is the user's locale.
std::string watchLogDate(Date date, std::string_view localeName = {});

/// One log line: the date, the separator, the text.
std::string watchLogLine(Date date, std::string_view text);

// The activity log's file, "watch-log.json" in the application folder. A file that is there but
// cannot be read is never lost:
// - a regular file that is not a list of texts (damaged, another shape) is renamed aside with
//   ".damaged" added to its name before the first new log is written in its place;
// - a symbolic link, a FIFO, a device or a folder in its place is left as it is and nothing is
//   ever written there: the log then lives in memory only, until sorvik quits;
// - a regular file that cannot be opened (no permission) is left as it is too.
class WatchLogFile {
public:
    static constexpr std::string_view fileName = "watch-log.json";
    static constexpr std::string_view setAsideSuffix = ".damaged";

    /// The lines stored (newest first), nothing when there is no log yet. Fails with the reason
    /// the file could not be read; what `save` will do is decided here.
    std::vector<std::string> load();

    /// Writes `lines` (setting a damaged log aside first), unless the file in the log's place
    /// is to be left alone. Fails with `FileError` or `Error`.
    void save(const std::vector<std::string>& lines);

    /// Whether `save` writes at all.
    bool isWritten() const { return m_isWritten; }

private:
    bool m_isWritten = true;
    /// The damaged log to set aside at the first save, by device and file number.
    std::optional<std::pair<std::uint64_t, std::uint64_t>> m_damaged;
};

} // namespace sorvik
