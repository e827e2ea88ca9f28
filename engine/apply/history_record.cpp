#include "engine/apply/history_record.h"

#include "engine/apply/rename_execution_error.h"
#include "engine/model/json.h"

namespace sorvik {

namespace {
    constexpr std::string_view idKey = "id";
    constexpr std::string_view schemaVersionKey = "schemaVersion";
    constexpr std::string_view dateKey = "date";
    constexpr std::string_view movesKey = "moves";
    constexpr std::string_view fingerprintsKey = "fingerprints";
    constexpr std::string_view createdDirectoriesKey = "createdDirectories";
    constexpr std::string_view backupPathKey = "backupPath";
    constexpr std::string_view undoneKey = "undone";

    constexpr const char* changedText = "File changed since this batch: ";
} // namespace

HistoryRecord::HistoryRecord(Uuid id_, std::vector<RenameMove> moves_,
    std::optional<std::vector<FileURL>> createdDirectories_, std::optional<FileURL> backupPath_)
    : id(id_)
    , schemaVersion(1)
    , date(Date::now())
    , moves(std::move(moves_))
    , createdDirectories(std::move(createdDirectories_))
    , backupPath(std::move(backupPath_))
    , undone(false)
{
    for (const auto& move : moves) {
        if (!fingerprints.emplace(move.to.path, FileFingerprint(move.to)).second)
            throw RenameExecutionError("Duplicate source or destination.");
    }
}

std::vector<RenameMove> HistoryRecord::validateForUndo() const
{
    std::vector<RenameMove> inverse;
    inverse.reserve(moves.size());
    for (const auto& move : moves) {
        auto stored = fingerprints.find(move.to.path);
        if (stored == fingerprints.end())
            throw RenameExecutionError(changedText + move.to.path);
        if (FileFingerprint(move.to) != stored->second)
            throw RenameExecutionError(changedText + move.to.path);
        inverse.push_back({ move.to, move.from });
    }
    return inverse;
}

void to_json(nlohmann::json& json, const HistoryRecord& record)
{
    json = nlohmann::json::object();
    json[idKey] = record.id;
    json[schemaVersionKey] = record.schemaVersion;
    json[dateKey] = record.date;
    json[movesKey] = record.moves;
    nlohmann::json fingerprints = nlohmann::json::object();
    for (const auto& [path, fingerprint] : record.fingerprints)
        fingerprints[path] = fingerprint;
    json[fingerprintsKey] = std::move(fingerprints);
    if (record.createdDirectories)
        json[createdDirectoriesKey] = *record.createdDirectories;
    if (record.backupPath)
        json[backupPathKey] = *record.backupPath;
    json[undoneKey] = record.undone;
}

void from_json(const nlohmann::json& json, HistoryRecord& record)
{
    record.id = json::field<Uuid>(json, idKey);
    record.schemaVersion = json::field<std::int64_t>(json, schemaVersionKey);
    record.date = json::field<Date>(json, dateKey);
    record.moves = json::field<std::vector<RenameMove>>(json, movesKey);
    const auto& fingerprints = json::member(json, fingerprintsKey);
    try {
        json::requireObject(fingerprints);
    } catch (json::DecodeError& error) {
        error.prependKey(fingerprintsKey);
        throw;
    }
    record.fingerprints.clear();
    for (auto item = fingerprints.begin(); item != fingerprints.end(); ++item) {
        try {
            record.fingerprints.emplace(item.key(), json::decode<FileFingerprint>(item.value()));
        } catch (json::DecodeError& error) {
            error.prependKey(item.key());
            error.prependKey(fingerprintsKey);
            throw;
        }
    }
    record.createdDirectories
        = json::optionalField<std::vector<FileURL>>(json, createdDirectoriesKey);
    record.backupPath = json::optionalField<FileURL>(json, backupPathKey);
    record.undone = json::field<bool>(json, undoneKey);
}

} // namespace sorvik
