#pragma once

#include "engine/apply/file_fingerprint.h"
#include "engine/apply/rename_move.h"
#include "engine/model/date.h"
#include "engine/model/file_url.h"
#include "engine/model/uuid.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace sorvik {

namespace json {
    class StreamReader;
}

/// One applied batch, as "history.json" keeps it. Undo and revert move it back only while
/// every renamed file still has the fingerprint recorded right after the batch.
struct HistoryRecord {
    /// The batch's id (also the name of its backup folder).
    Uuid id;
    std::int64_t schemaVersion = 1;
    /// When the record was made, right after the batch was applied.
    Date date;
    /// The batch in the order in which it was applied.
    std::vector<RenameMove> moves;
    /// One fingerprint per move, under the path of the move's `to`.
    std::map<std::string, FileFingerprint> fingerprints;
    /// The folders the executor created for the batch, in creation order.
    std::optional<std::vector<FileURL>> createdDirectories;
    /// The batch's backup folder, when one was made.
    std::optional<FileURL> backupPath;
    bool undone = false;

    HistoryRecord() = default;
    /// The record of a batch that has just been applied: its files are at their
    /// destinations. Takes each destination's fingerprint; the first failure is passed on and
    /// no record is made. Refuses a batch with two moves to one path
    /// (`RenameExecutionError` "Duplicate source or destination.").
    HistoryRecord(Uuid id, std::vector<RenameMove> moves,
        std::optional<std::vector<FileURL>> createdDirectories, std::optional<FileURL> backupPath);

    /// The moves that put the batch back (each move reversed, in recorded order), after
    /// checking every destination against its fingerprint. A file that changed fails with
    /// `RenameExecutionError` "File changed since this batch: " + its path; a file that
    /// cannot be read fails with the file system's error. Changes nothing on disk.
    std::vector<RenameMove> validateForUndo() const;

    friend bool operator==(const HistoryRecord&, const HistoryRecord&) = default;
};

/// "createdDirectories" and "backupPath" are left out when absent.
void to_json(nlohmann::json& json, const HistoryRecord& record);
/// Strict: every key but "createdDirectories" and "backupPath" is required.
void from_json(const nlohmann::json& json, HistoryRecord& record);

// The stored form of records, written and read one record at a time, so that a history far
// larger than one batch never has to be held in memory whole. It is the JSON of `to_json`,
// keys sorted, one member or element per line and nothing more: the history is sorvik's
// largest file and only sorvik reads it, and indenting it made a quarter of its bytes.
// Records of any other JSON form read alike.

/// Appends `record` in the stored form. With `drain`, the text goes out in pieces: `drain`
/// is given `out` whenever it holds a megabyte or more, and takes what it wants from it.
void appendStoredRecord(std::string& out, const HistoryRecord& record,
    const std::function<void(std::string&)>& drain = {});

/// What reading a stored record tells besides its content: its id and date, and where it, its
/// "undone" value and the ends of its "id" and "date" values lie in the document, as byte
/// offsets.
struct StoredRecordFacts {
    Uuid id;
    Date date;
    bool undone = false;
    std::size_t start = 0;
    std::size_t end = 0;
    std::size_t undoneStart = 0;
    std::size_t undoneEnd = 0;
    std::size_t idEnd = 0;
    std::size_t dateEnd = 0;
};

/// Reads one record from `reader`, which has just given its "{", as strictly as `from_json`
/// reads it, into `record` when given; none is needed to check a record. Fails with
/// `json::DecodeError`, naming the key.
StoredRecordFacts readStoredRecord(json::StreamReader& reader, HistoryRecord* record);

} // namespace sorvik
