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

    RegularFile openStored(const std::filesystem::path& path)
    {
        std::error_code error;
        auto file = RegularFile::open(path, error);
        if (file)
            return std::move(*file);
        if (error == notRegularFileError())
            throw FileError::notRegularFile(path.string());
        throw FileError::reading(path.string(), error.value());
    }

    /// The stored list, read record by record.
    class StoredRecords {
    public:
        StoredRecords(const StoredRecords&) = delete;
        StoredRecords& operator=(const StoredRecords&) = delete;

        explicit StoredRecords(const std::filesystem::path& path)
            : m_file(openStored(path))
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
                throw json::DecodeError("Expected an array but found " + describe(token));
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
                json::DecodeError error("Expected an object but found " + describe(token));
                error.prependIndex(m_index);
                throw error;
            }
            return true;
        }

        /// `readStoredRecord` on the record `next` stands on, its failure naming the record.
        StoredRecordFacts read(HistoryRecord* record, std::string* out)
        {
            try {
                auto facts = readStoredRecord(m_reader, record, out);
                ++m_index;
                return facts;
            } catch (json::DecodeError& error) {
                error.prependIndex(m_index);
                throw;
            }
        }

        std::size_t index() const { return m_index; }

    private:
        std::string describe(json::StreamReader::Token token) const
        {
            using Token = json::StreamReader::Token;
            switch (token) {
            case Token::beginObject:
                return "an object";
            case Token::beginArray:
                return "an array";
            case Token::string:
                return "a string";
            case Token::number:
                return m_reader.isInteger() ? "an integer" : "a number";
            case Token::boolean:
                return "a boolean";
            case Token::null:
                return "null";
            default:
                return "an unknown value";
            }
        }

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

        /// Where the next record goes; it must be appended before the next call.
        std::string& nextRecord()
        {
            m_buffer += m_count == 0 ? "\n" : ",\n";
            ++m_count;
            return m_buffer;
        }

        std::size_t count() const { return m_count; }

        /// Writes out what the buffer holds once it is large.
        void flushIfLarge()
        {
            if (m_buffer.size() >= flushSize)
                flush();
        }

        /// Appends `record` in the stored form, written out as it goes.
        void add(const HistoryRecord& record)
        {
            appendStoredRecord(nextRecord(), record, [this](std::string&) { flush(); });
            flushIfLarge();
        }

        void commit()
        {
            m_buffer += m_count == 0 ? "]\n" : "\n]\n";
            flush();
            try {
                m_writer.commit();
            } catch (const std::exception& error) {
                throw WriteError(error.what());
            }
        }

    private:
        void flush()
        {
            try {
                m_writer.write(m_buffer);
            } catch (const std::exception& error) {
                throw WriteError(error.what());
            }
            m_buffer.clear();
        }

        StoredFile::AtomicWriter m_writer;
        std::string m_buffer;
        std::size_t m_count = 0;
    };

} // namespace

std::vector<HistoryRecord> load()
{
    std::vector<HistoryRecord> records;
    auto path = JSONFiles::storedPath(fileName);
    if (!path)
        return records;
    StoredRecords stored(*path);
    while (stored.next())
        stored.read(&records.emplace_back(), nullptr);
    return records;
}

bool insert(const HistoryRecord& record)
{
    HistoryLock lock;
    auto path = JSONFiles::storedPath(fileName);
    std::optional<StoredRecords> stored;
    if (path)
        stored.emplace(*path);
    NewList list;
    list.add(record);
    while (stored && stored->next()) {
        // Past the limit, the records are only checked: they are dropped.
        bool kept = list.count() < recordLimit;
        auto facts = stored->read(nullptr, kept ? &list.nextRecord() : nullptr);
        if (facts.id == record.id)
            return false;
        list.flushIfLarge();
    }
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
    NewList list;
    bool found = false;
    while (stored.next()) {
        if (list.count() == recordLimit) {
            stored.read(nullptr, nullptr);
            continue;
        }
        auto& out = list.nextRecord();
        auto facts = stored.read(nullptr, &out);
        if (facts.id == id) {
            out.replace(facts.undoneOffset, facts.undoneLength, "true");
            found = true;
        }
        list.flushIfLarge();
    }
    if (found)
        list.commit();
    return found;
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
