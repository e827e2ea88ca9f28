#pragma once

#include "engine/apply/history_record.h"
#include "engine/model/error.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

// "history.json" is written by the window, by the command line and by watch folders, possibly
// from several processes at once. Every change is one read-modify-write of the file under an
// exclusive advisory lock on "history.lock" in the application folder: the file is read again
// under the lock, changed, capped at 500 records and written atomically, so no writer ever
// writes back a stale list over another one's record.
//
// A history can be far larger than the batch that changes it (500 batches of any size), so
// a change streams: the stored records are read and checked as strictly as a load checks
// them, never all held in memory and never decoded, and then copied into the new file as they
// stand, by the system where it can; a record marked undone has its value changed on the way.
// A file that does not read as a list of records fails the change and stays as it was.
//
// Beside it, "history.index" tells where each record of the history file lies, with its id,
// date and undone value, and which file that is (device, inode, size, modification and
// change times). The index is only a shortcut, and never changes what the history holds: it
// is believed only when the history file is still that very file and every claim it makes
// holds in the bytes it points at (the records fill the file between "[", commas and "]", in
// its order, each a "{…}" with the id, date and undone value claimed for it where it says).
// Then nothing more of the records is read before they are copied. On any doubt (another
// writer's file, an index cut short, damaged or lying) the file is read and checked whole,
// as before, and the index made again; losing it costs one full read, and it never makes a
// change fail.
namespace sorvik::HistoryFile {

inline constexpr std::string_view fileName = "history.json";
inline constexpr std::string_view lockName = "history.lock";
inline constexpr std::string_view indexName = "history.index";
inline constexpr std::size_t recordLimit = 500;

/// A change that was read and made, but could not be written: the list stays as it was on
/// disk, while callers may show the change in memory. `what()` is the write's failure.
class WriteError : public Error {
public:
    using Error::Error;
};

/// The stored records, newest first; empty when there is no file yet. Fails when the file
/// cannot be read or decoded.
std::vector<HistoryRecord> load();

/// Where `insert` puts a record: first, as every new batch goes; or before the first stored
/// record that is older, for a batch recorded late.
enum class Placement { first, byDate };

/// The list as one change wrote it (newest first, at most 500), its records read from that
/// very file only when they are asked for: a change costs what it copies, and a later change
/// by another writer does not show in it.
class SavedList {
public:
    SavedList();
    ~SavedList();
    SavedList(SavedList&&) noexcept;
    SavedList& operator=(SavedList&&) noexcept;

    std::size_t size() const;
    /// Every record, decoded. Fails when the written file cannot be read back.
    std::vector<HistoryRecord> records() const;
    /// The record at `index`, decoded alone; fails as `records` does.
    HistoryRecord record(std::size_t index) const;
    /// The id and the undone value of the record at `index`, known without decoding it.
    const Uuid& id(std::size_t index) const;
    bool isUndone(std::size_t index) const;
    /// Marks the record at `index` undone in this list (not in the file).
    void setUndone(std::size_t index);

private:
    friend struct SavedListAccess;
    struct State;
    std::unique_ptr<State> m_state;
};

/// `insert`, handing back the list it wrote; nothing when it wrote nothing. `record` is taken
/// over only when the list is written; after a failure the caller still has it.
std::optional<SavedList> insertListing(
    HistoryRecord&& record, Placement placement = Placement::first);

/// Puts `record` first (or in date order) and keeps the first 500. A record with its id that
/// is stored already stays as it is, and then nothing is written, as for a record that would
/// come after the first 500; returns whether the record was added. Fails with the read or decode
/// error, or with `WriteError`; nothing is written then.
bool insert(const HistoryRecord& record, Placement placement = Placement::first);

/// Marks every stored record with `id` undone; returns whether there was one (nothing is
/// written when there is none). Fails as `insert` does.
bool markUndone(const Uuid& id);

/// Reads the stored records under the lock, lets `change` edit them, keeps the first 500 and
/// writes them back; returns the list written. Nothing is written when reading, `change` or
/// the write fails; the failure is passed on (a failed write as `WriteError`). Holds the
/// whole list in memory: `insert` and `markUndone` are the changes that need not.
std::vector<HistoryRecord> update(const std::function<void(std::vector<HistoryRecord>&)>& change);

} // namespace sorvik::HistoryFile
