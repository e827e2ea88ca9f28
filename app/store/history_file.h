#pragma once

#include "engine/apply/history_record.h"

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

// "history.json" is written by the window, by the command line and by watch folders, possibly
// from several processes at once. Every change is one read-modify-write of the file under an
// exclusive advisory lock on "history.lock" in the application folder: the file is read again
// under the lock, changed, capped at 500 records and written atomically, so no writer ever
// writes back a stale list over another one's record.
namespace sorvik::HistoryFile {

inline constexpr std::string_view fileName = "history.json";
inline constexpr std::string_view lockName = "history.lock";
inline constexpr std::size_t recordLimit = 500;

/// The stored records, newest first; empty when there is no file yet. Fails when the file
/// cannot be read or decoded.
std::vector<HistoryRecord> load();

/// Reads the stored records under the lock, lets `change` edit them, keeps the first 500 and
/// writes them back; returns the list written. Nothing is written when reading, `change` or
/// the write fails; the failure is passed on.
std::vector<HistoryRecord> update(const std::function<void(std::vector<HistoryRecord>&)>& change);

/// `update` that puts `record` first.
std::vector<HistoryRecord> insert(const HistoryRecord& record);

} // namespace sorvik::HistoryFile
