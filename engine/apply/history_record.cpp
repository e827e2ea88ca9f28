#include "engine/apply/history_record.h"

#include "engine/apply/rename_execution_error.h"
#include "engine/model/json.h"
#include "engine/model/json_stream.h"
#include "engine/model/text.h"

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

    constexpr std::string_view inodeKey = "inode";
    constexpr std::string_view modifiedKey = "modified";
    constexpr std::string_view sizeKey = "size";

    constexpr const char* changedText = "File changed since this batch: ";
    constexpr std::string_view fileURLPrefix = "file://";

    /// The member name under which a path's fingerprint is stored. A path that is UTF-8 is
    /// its own name, as records have always had it; any other path (no JSON text can hold its
    /// bytes) is written as its file URL text, which keeps every byte. No path starts with
    /// "file://", so the two forms cannot be taken for each other.
    bool isStoredAsURL(std::string_view path)
    {
        return !text::isValidUtf8(path) || path.starts_with(fileURLPrefix);
    }

    std::string storedPathKey(const std::string& path)
    {
        if (!isStoredAsURL(path))
            return path;
        return std::string(fileURLPrefix) + percentEncodePath(path);
    }

    /// Fails as `pathOfStoredKey` fails, without making the path.
    void checkStoredKey(std::string_view key)
    {
        std::string reason;
        if (key.starts_with(fileURLPrefix) && !FileURL::isValidText(key, &reason))
            throw json::DecodeError(reason.empty() ? "Invalid file URL" : reason);
    }

    /// The path of a stored member name; see `storedPathKey`.
    std::string pathOfStoredKey(std::string_view key)
    {
        if (!key.starts_with(fileURLPrefix))
            return std::string(key);
        std::string reason;
        auto url = FileURL::parse(key, &reason);
        if (!url)
            throw json::DecodeError(reason.empty() ? "Invalid file URL" : reason);
        return std::move(url->path);
    }
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
        fingerprints[storedPathKey(path)] = fingerprint;
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
            record.fingerprints.emplace(
                pathOfStoredKey(item.key()), json::decode<FileFingerprint>(item.value()));
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

namespace {

    using Token = json::StreamReader::Token;

    /// The strict reads of one record's values, token by token, as the `json::field`
    /// accessors read them from a document.
    class RecordReader {
    public:
        explicit RecordReader(json::StreamReader& reader)
            : m_reader(reader)
        {
        }

        /// The next value; fails for null unless `nullable`.
        Token value(bool nullable = false)
        {
            auto token = m_reader.next();
            if (token == Token::null && !nullable)
                throw json::DecodeError("Unexpected null value");
            return token;
        }

        void expect(Token token, Token wanted, const char* what)
        {
            if (token != wanted)
                throw json::DecodeError(
                    std::string("Expected ") + what + " but found " + m_reader.describe(token));
        }

        std::string_view string(Token token)
        {
            expect(token, Token::string, "a string");
            return m_reader.text();
        }

        /// The URL of a string value; when it is not `kept`, it is only checked and an empty
        /// URL comes back.
        FileURL url(Token token, bool kept)
        {
            auto text = string(token);
            std::string reason;
            std::optional<FileURL> url;
            if (kept)
                url = FileURL::parse(text, &reason);
            else if (FileURL::isValidText(text, &reason))
                url.emplace();
            if (!url)
                throw json::DecodeError(reason.empty() ? "Invalid file URL" : reason);
            return std::move(*url);
        }

        std::int64_t int64(Token token)
        {
            expect(token, Token::number, "an integer");
            auto value = m_reader.int64();
            if (value)
                return *value;
            if (!m_reader.isInteger())
                throw json::DecodeError("Expected an integer but found a number");
            throw json::DecodeError(
                "Number " + std::string(m_reader.text()) + " does not fit in a 64-bit integer");
        }

        std::uint64_t uint64(Token token)
        {
            expect(token, Token::number, "an integer");
            auto value = m_reader.uint64();
            if (value)
                return *value;
            if (!m_reader.isInteger())
                throw json::DecodeError("Expected an integer but found a number");
            throw json::DecodeError("Number " + std::string(m_reader.text())
                + " does not fit in an unsigned 64-bit integer");
        }

        double number(Token token)
        {
            expect(token, Token::number, "a number");
            return m_reader.number();
        }

        bool boolean(Token token)
        {
            expect(token, Token::boolean, "a boolean");
            return m_reader.boolean();
        }

        /// The members of an object whose "{" was `token`: `member` is called with each key
        /// as the reader stands on it.
        template <class Member> void object(Token token, Member&& member)
        {
            expect(token, Token::beginObject, "an object");
            std::string key;
            while (m_reader.next() == Token::key) {
                key.assign(m_reader.text());
                try {
                    member(key);
                } catch (json::DecodeError& error) {
                    error.prependKey(key);
                    throw;
                }
            }
        }

        /// The elements of an array whose "[" was `token`: `element` is called with each
        /// element's first token.
        template <class Element> void array(Token token, Element&& element)
        {
            expect(token, Token::beginArray, "an array");
            std::size_t index = 0;
            for (auto next = m_reader.next(); next != Token::endArray; next = m_reader.next()) {
                try {
                    element(next);
                } catch (json::DecodeError& error) {
                    error.prependIndex(index);
                    throw;
                }
                ++index;
            }
        }

        void skip() { m_reader.skip(m_reader.next()); }

        json::StreamReader& reader() const { return m_reader; }

    private:
        json::StreamReader& m_reader;
    };

    void missing(std::string_view key)
    {
        throw json::DecodeError("Missing key \"" + std::string(key) + "\"");
    }

    RenameMove readMove(RecordReader& values, Token token, bool kept)
    {
        RenameMove move;
        bool hasFrom = false;
        bool hasTo = false;
        values.object(token, [&](const std::string& key) {
            if (key == "from") {
                move.from = values.url(values.value(), kept);
                hasFrom = true;
            } else if (key == "to") {
                move.to = values.url(values.value(), kept);
                hasTo = true;
            } else {
                values.skip();
            }
        });
        if (!hasFrom)
            missing("from");
        if (!hasTo)
            missing("to");
        return move;
    }

    FileFingerprint readFingerprint(RecordReader& values, Token token)
    {
        FileFingerprint fingerprint;
        bool seen[3] = {};
        values.object(token, [&](const std::string& key) {
            if (key == inodeKey) {
                fingerprint.inode = values.uint64(values.value());
                seen[0] = true;
            } else if (key == modifiedKey) {
                fingerprint.modified = Date { values.number(values.value()) };
                seen[1] = true;
            } else if (key == sizeKey) {
                fingerprint.size = values.int64(values.value());
                seen[2] = true;
            } else {
                values.skip();
            }
        });
        // In the order in which `from_json` asks for them.
        if (!seen[2])
            missing(sizeKey);
        if (!seen[1])
            missing(modifiedKey);
        if (!seen[0])
            missing(inodeKey);
        return fingerprint;
    }

    void appendURL(std::string& out, const FileURL& url)
    {
        // One text for every URL of a record: a large batch makes no string per path.
        thread_local std::string text;
        text.clear();
        url.appendText(text);
        json::appendString(out, text);
    }

    void appendFingerprint(std::string& out, const FileFingerprint& fingerprint)
    {
        out += "{\n\"inode\":";
        json::appendInteger(out, fingerprint.inode);
        out += ",\n\"modified\":";
        json::appendNumber(out, fingerprint.modified.seconds);
        out += ",\n\"size\":";
        json::appendInteger(out, fingerprint.size);
        out += "\n}";
    }

} // namespace

StoredRecordFacts readStoredRecord(json::StreamReader& reader, HistoryRecord* record)
{
    StoredRecordFacts facts;
    facts.start = reader.offset() - 1;
    RecordReader values(reader);
    HistoryRecord scratch;
    HistoryRecord& read = record ? *record : scratch;
    read.fingerprints.clear();
    read.createdDirectories.reset();
    read.backupPath.reset();
    // Only the id is kept when no record is wanted; the rest is read to be checked.
    bool keep = record != nullptr;
    bool seen[6] = {};
    values.object(Token::beginObject, [&](const std::string& key) {
        if (key == idKey) {
            auto id = Uuid::parse(values.string(values.value()));
            if (!id)
                throw json::DecodeError("Invalid UUID string");
            facts.id = *id;
            facts.idEnd = reader.offset();
            read.id = *id;
            seen[0] = true;
        } else if (key == schemaVersionKey) {
            read.schemaVersion = values.int64(values.value());
            seen[1] = true;
        } else if (key == dateKey) {
            read.date = Date { values.number(values.value()) };
            facts.date = read.date;
            facts.dateEnd = reader.offset();
            seen[2] = true;
        } else if (key == movesKey) {
            read.moves.clear();
            values.array(values.value(), [&](Token element) {
                auto move = readMove(values, element, keep);
                if (keep)
                    read.moves.push_back(std::move(move));
            });
            seen[3] = true;
        } else if (key == fingerprintsKey) {
            read.fingerprints.clear();
            values.object(values.value(), [&](const std::string& path) {
                auto fingerprint = readFingerprint(values, values.value());
                if (keep)
                    read.fingerprints.insert_or_assign(pathOfStoredKey(path), fingerprint);
                else
                    checkStoredKey(path);
            });
            seen[4] = true;
        } else if (key == createdDirectoriesKey) {
            auto token = values.value(true);
            if (token == Token::null) {
                read.createdDirectories.reset();
                return;
            }
            std::vector<FileURL> folders;
            values.array(token, [&](Token element) {
                auto folder = values.url(element, keep);
                if (keep)
                    folders.push_back(std::move(folder));
            });
            read.createdDirectories = std::move(folders);
        } else if (key == backupPathKey) {
            auto token = values.value(true);
            if (token == Token::null) {
                read.backupPath.reset();
                return;
            }
            read.backupPath = values.url(token, keep);
        } else if (key == undoneKey) {
            read.undone = values.boolean(values.value());
            facts.undoneEnd = reader.offset();
            facts.undoneStart = facts.undoneEnd - (read.undone ? 4 : 5);
            seen[5] = true;
        } else {
            values.skip();
        }
    });
    // In the order in which `from_json` asks for them.
    const std::string_view required[]
        = { idKey, schemaVersionKey, dateKey, movesKey, fingerprintsKey, undoneKey };
    for (std::size_t index = 0; index < std::size(required); ++index) {
        if (!seen[index])
            missing(required[index]);
    }
    facts.undone = read.undone;
    facts.end = reader.offset();
    return facts;
}

void appendStoredRecord(
    std::string& out, const HistoryRecord& record, const std::function<void(std::string&)>& drain)
{
    auto drainIfLarge = [&] {
        if (drain && out.size() >= std::size_t { 1 } << 20)
            drain(out);
    };
    out += '{';
    if (record.backupPath) {
        out += "\n\"backupPath\":";
        appendURL(out, *record.backupPath);
        out += ',';
    }
    if (record.createdDirectories) {
        out += "\n\"createdDirectories\":[";
        bool first = true;
        for (const auto& folder : *record.createdDirectories) {
            out += first ? "\n" : ",\n";
            first = false;
            appendURL(out, folder);
        }
        out += first ? "]," : "\n],";
    }
    out += "\n\"date\":";
    json::appendNumber(out, record.date.seconds);
    out += ",\n\"fingerprints\":{";
    bool first = true;
    for (const auto& [path, fingerprint] : record.fingerprints) {
        out += first ? "\n" : ",\n";
        first = false;
        if (isStoredAsURL(path))
            json::appendString(out, storedPathKey(path));
        else
            json::appendString(out, path);
        out += ':';
        appendFingerprint(out, fingerprint);
        drainIfLarge();
    }
    out += first ? "}," : "\n},";
    out += "\n\"id\":\"";
    out += record.id.text();
    out += "\",\n\"moves\":[";
    first = true;
    for (const auto& move : record.moves) {
        out += first ? "\n{\n\"from\":" : ",\n{\n\"from\":";
        first = false;
        appendURL(out, move.from);
        out += ",\n\"to\":";
        appendURL(out, move.to);
        out += "\n}";
        drainIfLarge();
    }
    out += first ? "]," : "\n],";
    out += "\n\"schemaVersion\":";
    json::appendInteger(out, record.schemaVersion);
    out += ",\n\"undone\":";
    out += record.undone ? "true" : "false";
    out += "\n}";
}

} // namespace sorvik
