#pragma once

#include "engine/apply/history_record.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// "history.index" is a shortcut beside "history.json": where each record lies, with its id,
// date and undone value, and which file that was. It is only a shortcut: it is believed only
// when the history file is still that very file and every claim it makes holds in the bytes
// it points at. On any doubt the history is read whole, and the index made again from that
// read; a lost or lying index costs one full read, and never changes what the history holds.
namespace sorvik::HistoryFileIndex {

/// Up to `length` bytes of the file open at `descriptor` from `offset` on; fewer at its end
/// or when it cannot be read.
std::string bytesAt(int descriptor, std::size_t offset, std::size_t length);

/// Which file a history file is: what changes whenever anything writes it or puts
/// another file in its place.
struct Identity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modified[2] = {};
    std::int64_t changed[2] = {};

    friend bool operator==(const Identity& first, const Identity& second)
    {
        return first.device == second.device && first.inode == second.inode
            && first.size == second.size && first.modified[0] == second.modified[0]
            && first.modified[1] == second.modified[1] && first.changed[0] == second.changed[0]
            && first.changed[1] == second.changed[1];
    }
};

/// The identity of the file open at `descriptor`; nothing when it cannot be asked.
std::optional<Identity> identityOf(int descriptor);

/// Where the index lies: "history.index" in the application folder.
std::filesystem::path indexPath();

/// Whether the file open at `descriptor`, of `size` bytes, holds exactly the records that
/// `facts` say, in their order and nothing else: "[" and separators between them, each a
/// "{…}" with the id, date and "undone" value claimed for it at the places claimed. Every
/// claim the index makes is looked at in the bytes it points at, so an index that lists
/// fewer records, none, or others, or in another order, is not believed; looking reads a
/// few bytes per record, never the records themselves.
bool factsHold(int descriptor, std::int64_t size, const std::vector<StoredRecordFacts>& facts);

/// The facts of every record of the history file open at `descriptor`, when the index
/// was written for this very file and every one of its claims holds in the file's bytes;
/// nothing otherwise, whatever the index holds (missing, of another form, damaged, cut
/// short, or lying).
std::optional<std::vector<StoredRecordFacts>> indexedFacts(int descriptor);

/// Records, for the next change, where the records of the history file open at
/// `descriptor` lie. A failure only costs the next change a full read, so it is passed
/// over, but an index that could not be replaced is removed.
void writeIndex(int descriptor, const std::vector<StoredRecordFacts>& facts);

} // namespace sorvik::HistoryFileIndex
