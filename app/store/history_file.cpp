#include "app/store/history_file.h"

#include "app/store/file_error.h"
#include "app/store/json_files.h"
#include "app/store/stored_file.h"
#include "engine/model/json.h"
#include "engine/model/json_stream.h"
#include "engine/model/regular_file.h"

#include <cerrno>
#include <optional>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace sorvik::HistoryFile {

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
                throw FileError::writing(path.string(), errno);
            while (::flock(m_descriptor, LOCK_EX) != 0) {
                if (errno == EINTR)
                    continue;
                int failure = errno;
                ::close(m_descriptor);
                throw FileError::writing(path.string(), failure);
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

        explicit StoredRecords(const std::filesystem::path& path)
            : m_path(path)
            , m_file(StoredFile::open(path))
            , m_reader([this, path](char* buffer, std::size_t capacity) {
                for (;;) {
                    ssize_t count = ::read(m_file.descriptor(), buffer, capacity);
                    if (count >= 0)
                        return static_cast<std::size_t>(count);
                    if (errno != EINTR)
                        throw FileError::reading(path.string(), errno);
                }
            })
        {
            auto token = m_reader.next();
            if (token != json::StreamReader::Token::beginArray)
                throw json::DecodeError("Expected an array but found " + m_reader.describe(token));
        }

        /// Stands on the next record's "{", or gives false after the last one.
        bool next()
        {
            auto token = m_reader.next();
            if (token == json::StreamReader::Token::endArray) {
                m_reader.next(); // nothing but white space may follow
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
                auto facts = readStoredRecord(m_reader, record);
                ++m_index;
                return facts;
            } catch (json::DecodeError& error) {
                error.prependIndex(m_index);
                throw;
            }
        }

        /// How many records were read.
        std::size_t count() const { return m_index; }
        int descriptor() const { return m_file.descriptor(); }
        const std::filesystem::path& path() const { return m_path; }

    private:
        std::filesystem::path m_path;
        RegularFile m_file;
        json::StreamReader m_reader;
        std::size_t m_index = 0;
    };

    /// The new file, written as the records come; failures are `WriteError`s.
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
            appendStoredRecord(m_buffer, record, [this](std::string&) { flush(); });
            if (m_buffer.size() >= flushSize)
                flush();
        }

        /// Appends stored records as they stand in `stored`, from byte `start` to `end`, with
        /// the "undone" values in `undone` (ranges inside them, in order) set to true.
        void addStored(const StoredRecords& stored, std::size_t start, std::size_t end,
            const std::vector<std::pair<std::size_t, std::size_t>>& undone = {})
        {
            separate();
            flush();
            guarded([&] {
                auto position = start;
                for (const auto& [from, to] : undone) {
                    m_writer.copyFrom(
                        stored.descriptor(), stored.path(), position, from - position);
                    m_writer.write("true");
                    position = to;
                }
                m_writer.copyFrom(stored.descriptor(), stored.path(), position, end - position);
            });
        }

        void commit()
        {
            m_buffer += m_empty ? "]\n" : "\n]\n";
            flush();
            guarded([this] { m_writer.commit(); });
        }

    private:
        void separate()
        {
            m_buffer += m_empty ? "\n" : ",\n";
            m_empty = false;
        }

        void flush()
        {
            guarded([this] { m_writer.write(m_buffer); });
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
        bool m_empty = true;
    };

    /// Where the first `recordLimit` - `room` stored records lie: the records a change keeps.
    struct Kept {
        std::size_t start = 0;
        std::size_t end = 0;
        bool isEmpty() const { return end == start; }
    };

    void keep(
        Kept& kept, const StoredRecords& stored, const StoredRecordFacts& facts, std::size_t room)
    {
        if (stored.count() == 1)
            kept.start = facts.start;
        if (stored.count() + room <= recordLimit)
            kept.end = facts.end;
    }

} // namespace

std::vector<HistoryRecord> load()
{
    std::vector<HistoryRecord> records;
    auto path = JSONFiles::storedPath(fileName);
    if (!path)
        return records;
    StoredRecords stored(*path);
    while (stored.next())
        stored.read(&records.emplace_back());
    return records;
}

bool insert(const HistoryRecord& record, Placement placement)
{
    HistoryLock lock;
    auto path = JSONFiles::storedPath(fileName);
    std::optional<StoredRecords> stored;
    // The stored records kept before the new one, and those kept after it.
    Kept before;
    Kept after;
    bool placed = placement == Placement::first;
    if (path) {
        // Every record is checked before anything is written; past the limit they are
        // dropped.
        stored.emplace(*path);
        while (stored->next()) {
            auto facts = stored->read();
            if (facts.id == record.id)
                return false;
            if (!placed && facts.date.seconds < record.date.seconds)
                placed = true;
            // The new record takes one of the 500 places of those after it.
            if (stored->count() + (placed ? 1 : 0) > recordLimit)
                continue;
            auto& kept = placed ? after : before;
            if (kept.isEmpty())
                kept.start = facts.start;
            kept.end = facts.end;
        }
    }
    // Older than 500 records it would follow: it would be dropped at once.
    if (!placed && stored && stored->count() >= recordLimit)
        return false;
    NewList list;
    if (!before.isEmpty())
        list.addStored(*stored, before.start, before.end);
    list.add(record);
    if (!after.isEmpty())
        list.addStored(*stored, after.start, after.end);
    list.commit();
    return true;
}

bool markUndone(const Uuid& id)
{
    HistoryLock lock;
    auto path = JSONFiles::storedPath(fileName);
    if (!path)
        return false;
    StoredRecords stored(*path);
    Kept kept;
    bool found = false;
    std::vector<std::pair<std::size_t, std::size_t>> changes;
    while (stored.next()) {
        auto facts = stored.read();
        keep(kept, stored, facts, 0);
        if (facts.id != id)
            continue;
        found = true;
        if (!facts.undone && stored.count() <= recordLimit)
            changes.emplace_back(facts.undoneStart, facts.undoneEnd);
    }
    if (changes.empty())
        return found;
    NewList list;
    list.addStored(stored, kept.start, kept.end, changes);
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
