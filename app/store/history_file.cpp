#include "app/store/history_file.h"

#include "app/store/file_error.h"
#include "app/store/history_file_index.h"
#include "app/store/json_files.h"
#include "app/store/stored_file.h"
#include "app/store/stored_file_error.h"
#include "engine/model/json.h"
#include "engine/model/json_stream.h"
#include "engine/model/regular_file.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sorvik::HistoryFile {

struct SavedList::State {
    RegularFile file;
    std::vector<StoredRecordFacts> records;
    /// The record the change added, at its place, which need not be read back.
    std::optional<std::pair<std::size_t, HistoryRecord>> added;
};

struct SavedListAccess {
    static SavedList make(RegularFile file, std::vector<StoredRecordFacts> records)
    {
        SavedList list;
        list.m_state.reset(new SavedList::State { std::move(file), std::move(records), {} });
        return list;
    }
    static SavedList::State& state(SavedList& list) { return *list.m_state; }
};

namespace {

    /// Written out in pieces of about this size, so that a copy never grows large in memory.
    constexpr std::size_t flushSize = 1 << 20;

    /// Holds the exclusive lock on "history.lock" for as long as it lives.
    class HistoryLock {
    public:
        HistoryLock()
        {
            auto folder = JSONFiles::applicationFolder();
            StoredFile::createFolder(folder);
            auto path = folder / lockName;
            m_descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (m_descriptor < 0)
                throw StoredFile::writeFailure(path, errno);
            while (::flock(m_descriptor, LOCK_EX) != 0) {
                if (errno == EINTR)
                    continue;
                int failure = errno;
                ::close(m_descriptor);
                throw StoredFile::writeFailure(path, failure);
            }
        }
        ~HistoryLock() { ::close(m_descriptor); }
        HistoryLock(const HistoryLock&) = delete;
        HistoryLock& operator=(const HistoryLock&) = delete;

    private:
        int m_descriptor = -1;
    };

    /// The stored list, read record by record.
    class StoredRecords {
    public:
        StoredRecords(const StoredRecords&) = delete;
        StoredRecords& operator=(const StoredRecords&) = delete;

        StoredRecords(const std::filesystem::path& path, int descriptor)
            : m_descriptor(descriptor)
            , m_reader([descriptor, path](char* buffer, std::size_t capacity) {
                for (;;) {
                    ssize_t count = ::read(descriptor, buffer, capacity);
                    if (count >= 0)
                        return static_cast<std::size_t>(count);
                    if (errno != EINTR)
                        throw FileError::reading(path.string(), errno);
                }
            })
        {
            auto token = reading([this] { return m_reader.next(); });
            if (token != json::StreamReader::Token::beginArray)
                throw json::DecodeError("Expected an array but found " + m_reader.describe(token));
        }

        /// Stands on the next record's "{", or gives false after the last one.
        bool next()
        {
            auto token = reading([this] { return m_reader.next(); });
            if (token == json::StreamReader::Token::endArray) {
                reading([this] { return m_reader.next(); }); // nothing but white space may follow
                return false;
            }
            if (token != json::StreamReader::Token::beginObject) {
                json::DecodeError error("Expected an object but found " + m_reader.describe(token));
                error.prependIndex(m_index);
                throw error;
            }
            return true;
        }

        /// `readStoredRecord` on the record `next` stands on, its failure naming the record.
        StoredRecordFacts read(HistoryRecord* record = nullptr)
        {
            try {
                auto facts = reading([&] { return readStoredRecord(m_reader, record); });
                ++m_index;
                return facts;
            } catch (JSONSyntaxError&) {
                throw;
            } catch (json::DecodeError& error) {
                error.prependIndex(m_index);
                throw;
            }
        }

    private:
        /// `body`, a text that is not JSON failing as any stored file's does: empty, ending in
        /// the middle, or not JSON from a line and column on.
        template <class Body> auto reading(Body&& body) -> decltype(body())
        {
            try {
                return body();
            } catch (const json::DecodeError& error) {
                // The reader's own failures of the text, as against the values in it.
                if (!error.reason().starts_with("The data is not valid JSON: "))
                    throw;
                auto offset = m_reader.offset();
                struct stat status { };
                bool atEnd = ::fstat(m_descriptor, &status) == 0
                    && offset >= static_cast<std::size_t>(status.st_size);
                TextPosition position;
                bool blank = true;
                for (std::size_t done = 0; done < offset;) {
                    auto piece = HistoryFileIndex::bytesAt(
                        m_descriptor, done, std::min(offset - done, flushSize));
                    if (piece.empty())
                        break;
                    blank = blank && StoredFile::isBlank(done == 0 ? piece : " " + piece);
                    position.advance(piece);
                    done += piece.size();
                }
                if (atEnd)
                    throw JSONSyntaxError(
                        blank ? JSONSyntaxError::Kind::empty : JSONSyntaxError::Kind::endsEarly,
                        position.line(), position.column());
                throw JSONSyntaxError(
                    JSONSyntaxError::Kind::invalid, position.line(), position.column());
            }
        }

        int m_descriptor;
        json::StreamReader m_reader;
        std::size_t m_index = 0;
    };

    /// Throws the failure being handled, of reading the history file at `path`, as the user
    /// reads it. Only inside a `catch`.
    [[noreturn]] void unreadable(const std::filesystem::path& path)
    {
        StoredFile::rethrowUnreadable(path, JSONFiles::unreadableRemedy(fileName, path));
    }

    /// The stored list as a change needs it: the open file and where each record lies.
    struct Stored {
        std::filesystem::path path;
        RegularFile file;
        std::vector<StoredRecordFacts> records;
    };

    /// Reads the history file at `path`: from the index when it was written for this file and
    /// all it says holds, else every record checked as strictly as a load checks it. An index
    /// that is not believed is made again from the full read, so that it costs one read only.
    Stored readStored(const std::filesystem::path& path)
    {
        try {
            Stored stored { path, StoredFile::open(path), {} };
            if (auto facts = HistoryFileIndex::indexedFacts(stored.file.descriptor())) {
                stored.records = std::move(*facts);
                return stored;
            }
            StoredRecords reader(path, stored.file.descriptor());
            while (reader.next())
                stored.records.push_back(reader.read());
            auto size = HistoryFileIndex::identityOf(stored.file.descriptor());
            if (path == JSONFiles::savedPath(fileName) && size
                && HistoryFileIndex::factsHold(
                    stored.file.descriptor(), size->size, stored.records))
                HistoryFileIndex::writeIndex(stored.file.descriptor(), stored.records);
            return stored;
        } catch (const std::exception&) {
            unreadable(path);
        }
    }

    /// The new file, written as the records come; failures are `WriteError`s. It knows where
    /// each record it writes lies, for the index.
    class NewList {
    public:
        NewList()
        try : m_writer(JSONFiles::savedPath(fileName)) {
            m_buffer = "[";
        } catch (const std::exception& error) {
            throw WriteError(error.what());
        }

        /// Appends `record` in the stored form, written out as it goes.
        void add(const HistoryRecord& record)
        {
            separate();
            StoredRecordFacts facts;
            facts.id = record.id;
            facts.date = record.date;
            facts.undone = record.undone;
            facts.start = offset();
            // The record's own "date" and "id" members are the only ones that begin a line with
            // those names, and each is written whole between two flushes: they are found in
            // the text before it goes out.
            std::size_t searched = m_buffer.size();
            auto locate = [&] {
                constexpr std::string_view dateKey = "\n\"date\":";
                constexpr std::string_view idKey = "\n\"id\":";
                if (facts.dateEnd == 0) {
                    auto key = m_buffer.find(dateKey, searched);
                    auto end = key == std::string::npos
                        ? key
                        : m_buffer.find_first_of(",\n}", key + dateKey.size());
                    if (end != std::string::npos)
                        facts.dateEnd = m_written + end;
                }
                if (facts.idEnd == 0) {
                    auto key = m_buffer.find(idKey, searched);
                    auto end = key + idKey.size() + 38; // the UUID text and its quotes
                    if (key != std::string::npos && end <= m_buffer.size())
                        facts.idEnd = m_written + end;
                }
            };
            appendStoredRecord(m_buffer, record, [&](std::string&) {
                locate();
                flush();
                searched = 0;
            });
            locate();
            facts.end = offset();
            if (facts.dateEnd == 0 || facts.idEnd == 0)
                m_indexable = false;
            // The stored form ends with the "undone" member, still in the buffer.
            constexpr std::string_view undoneKey = "\n\"undone\":";
            auto key = m_buffer.rfind(undoneKey);
            if (key == std::string::npos || m_written + key < facts.start)
                m_indexable = false;
            else {
                facts.undoneStart = m_written + key + undoneKey.size();
                facts.undoneEnd = facts.undoneStart + (record.undone ? 4 : 5);
            }
            m_facts.push_back(facts);
            if (m_buffer.size() >= flushSize)
                flush();
        }

        /// Appends the stored records from byte `start` to `end` as they stand, with the
        /// "undone" values in `undone` (ranges inside them, in order) set to true. `records`
        /// are the facts of the records in that range.
        void addStored(const Stored& stored, std::size_t start, std::size_t end,
            const std::vector<StoredRecordFacts>& records,
            const std::vector<std::pair<std::size_t, std::size_t>>& undone = {})
        {
            separate();
            flush();
            auto base = m_written;
            // Where a stored offset lands in the new file: each "false" made "true" before
            // it takes one byte less.
            auto moved = [&](std::size_t offset) {
                std::size_t shorter = 0;
                for (const auto& change : undone)
                    shorter += change.second <= offset ? 1 : 0;
                return base + (offset - start) - shorter;
            };
            for (auto facts : records) {
                bool marked = std::any_of(undone.begin(), undone.end(),
                    [&](const auto& change) { return change.first == facts.undoneStart; });
                facts.start = moved(facts.start);
                facts.end = moved(facts.end);
                facts.idEnd = moved(facts.idEnd);
                facts.dateEnd = moved(facts.dateEnd);
                facts.undoneStart = moved(facts.undoneStart);
                facts.undoneEnd = facts.undoneStart + (marked || facts.undone ? 4 : 5);
                facts.undone = facts.undone || marked;
                m_facts.push_back(facts);
            }
            guarded([&] {
                auto position = start;
                for (const auto& [from, to] : undone) {
                    m_writer.copyFrom(
                        stored.file.descriptor(), stored.path, position, from - position);
                    m_writer.write("true");
                    position = to;
                }
                m_writer.copyFrom(stored.file.descriptor(), stored.path, position, end - position);
            });
            m_written = moved(end);
        }

        /// Writes the file in place; gives it, open, with where each record lies.
        SavedList commit()
        {
            m_buffer += m_empty ? "]\n" : "\n]\n";
            flush();
            guarded([this] { m_writer.commit(); });
            // Every writer that could replace it waits for the lock this change holds.
            std::error_code failure;
            auto written = RegularFile::open(
                JSONFiles::savedPath(fileName), failure, RegularFile::Links::refuse);
            if (!written)
                throw WriteError(
                    FileError::reading(JSONFiles::savedPath(fileName).string(), failure.value())
                        .what());
            if (m_indexable)
                HistoryFileIndex::writeIndex(written->descriptor(), m_facts);
            else
                ::unlink(HistoryFileIndex::indexPath().c_str());
            return SavedListAccess::make(std::move(*written), std::move(m_facts));
        }

    private:
        std::size_t offset() const { return m_written + m_buffer.size(); }

        void separate()
        {
            m_buffer += m_empty ? "\n" : ",\n";
            m_empty = false;
        }

        void flush()
        {
            guarded([this] { m_writer.write(m_buffer); });
            m_written += m_buffer.size();
            m_buffer.clear();
        }

        template <class Body> void guarded(Body&& body)
        {
            try {
                body();
            } catch (const std::exception& error) {
                throw WriteError(error.what());
            }
        }

        StoredFile::AtomicWriter m_writer;
        std::string m_buffer;
        std::size_t m_written = 0;
        bool m_empty = true;
        bool m_indexable = true;
        std::vector<StoredRecordFacts> m_facts;
    };

    /// The records of `stored` that a change keeps, by position: the range from the first
    /// to the last, and their facts.
    struct Kept {
        std::size_t first = 0;
        std::size_t count = 0;
        bool isEmpty() const { return count == 0; }
        std::size_t start(const Stored& stored) const { return stored.records[first].start; }
        std::size_t end(const Stored& stored) const
        {
            return stored.records[first + count - 1].end;
        }
        std::vector<StoredRecordFacts> facts(const Stored& stored) const
        {
            auto begin = stored.records.begin() + static_cast<std::ptrdiff_t>(first);
            return { begin, begin + static_cast<std::ptrdiff_t>(count) };
        }
    };

} // namespace

SavedList::SavedList() = default;
SavedList::~SavedList() = default;
SavedList::SavedList(SavedList&&) noexcept = default;
SavedList& SavedList::operator=(SavedList&&) noexcept = default;

std::size_t SavedList::size() const { return m_state ? m_state->records.size() : 0; }

std::vector<HistoryRecord> SavedList::records() const
{
    std::vector<HistoryRecord> records;
    records.reserve(size());
    for (std::size_t index = 0; index < size(); ++index)
        records.push_back(record(index));
    return records;
}

HistoryRecord SavedList::record(std::size_t index) const
{
    const auto& facts = m_state->records.at(index);
    HistoryRecord record;
    if (m_state->added && m_state->added->first == index) {
        record = m_state->added->second;
    } else {
        auto path = JSONFiles::savedPath(fileName);
        try {
            auto text = HistoryFileIndex::bytesAt(
                m_state->file.descriptor(), facts.start, facts.end - facts.start);
            if (text.size() != facts.end - facts.start)
                throw FileError::reading(path.string(), EIO);
            auto reader = json::StreamReader::overText(text);
            if (reader.next() != json::StreamReader::Token::beginObject)
                throw FileError::withCode(FileError::Code::fileReadCorruptFile, path.string());
            readStoredRecord(reader, &record);
        } catch (const std::exception&) {
            unreadable(path);
        }
    }
    record.undone = facts.undone;
    return record;
}

const Uuid& SavedList::id(std::size_t index) const { return m_state->records.at(index).id; }

bool SavedList::isUndone(std::size_t index) const { return m_state->records.at(index).undone; }

void SavedList::setUndone(std::size_t index) { m_state->records.at(index).undone = true; }

std::vector<HistoryRecord> load()
{
    std::vector<HistoryRecord> records;
    auto path = JSONFiles::storedPath(fileName);
    if (!path)
        return records;
    try {
        auto file = StoredFile::open(*path);
        StoredRecords stored(*path, file.descriptor());
        while (stored.next())
            stored.read(&records.emplace_back());
    } catch (const std::exception&) {
        unreadable(*path);
    }
    return records;
}

namespace {

    /// `insert`; gives the list written, or nothing when nothing was written.
    std::optional<SavedList> insertRecord(const HistoryRecord& record, Placement placement)
    {
        HistoryLock lock;
        auto path = JSONFiles::storedPath(fileName);
        std::optional<Stored> stored;
        // The stored records kept before the new one, and those kept after it.
        Kept before;
        Kept after;
        bool placed = placement == Placement::first;
        if (path) {
            // Every record is checked before anything is written; past the limit they are
            // dropped.
            stored.emplace(readStored(*path));
            for (std::size_t index = 0; index < stored->records.size(); ++index) {
                const auto& facts = stored->records[index];
                if (facts.id == record.id)
                    return std::nullopt;
                if (!placed && facts.date.seconds < record.date.seconds)
                    placed = true;
                // The new record takes one of the 500 places of those after it.
                if (index + 1 + (placed ? 1 : 0) > recordLimit)
                    continue;
                auto& kept = placed ? after : before;
                if (kept.isEmpty())
                    kept.first = index;
                ++kept.count;
            }
        }
        // Older than 500 records it would follow: it would be dropped at once.
        if (!placed && stored && stored->records.size() >= recordLimit)
            return std::nullopt;
        NewList list;
        if (!before.isEmpty())
            list.addStored(
                *stored, before.start(*stored), before.end(*stored), before.facts(*stored));
        list.add(record);
        if (!after.isEmpty())
            list.addStored(*stored, after.start(*stored), after.end(*stored), after.facts(*stored));
        auto saved = list.commit();
        SavedListAccess::state(saved).added.emplace(before.count, HistoryRecord {});
        return saved;
    }

} // namespace

bool insert(const HistoryRecord& record, Placement placement)
{
    return insertRecord(record, placement).has_value();
}

std::optional<SavedList> insertListing(HistoryRecord&& record, Placement placement)
{
    auto saved = insertRecord(record, placement);
    if (saved)
        SavedListAccess::state(*saved).added->second = std::move(record);
    return saved;
}

bool markUndone(const Uuid& id)
{
    HistoryLock lock;
    auto path = JSONFiles::storedPath(fileName);
    if (!path)
        return false;
    auto stored = readStored(*path);
    Kept kept;
    kept.count = std::min(stored.records.size(), recordLimit);
    bool found = false;
    std::vector<std::pair<std::size_t, std::size_t>> changes;
    for (std::size_t index = 0; index < stored.records.size(); ++index) {
        const auto& facts = stored.records[index];
        if (facts.id != id)
            continue;
        found = true;
        if (!facts.undone && index < recordLimit)
            changes.emplace_back(facts.undoneStart, facts.undoneEnd);
    }
    if (changes.empty())
        return found;
    NewList list;
    list.addStored(stored, kept.start(stored), kept.end(stored), kept.facts(stored), changes);
    list.commit();
    return true;
}

std::vector<HistoryRecord> update(const std::function<void(std::vector<HistoryRecord>&)>& change)
{
    HistoryLock lock;
    auto records = load();
    change(records);
    if (records.size() > recordLimit)
        records.resize(recordLimit);
    NewList list;
    for (const auto& record : records)
        list.add(record);
    list.commit();
    return records;
}

} // namespace sorvik::HistoryFile
