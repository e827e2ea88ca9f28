#include "engine/apply/rename_journal.h"

#include "engine/apply/file_system.h"
#include "engine/model/regular_file.h"

#include <cerrno>
#include <charconv>
#include <filesystem>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sorvik {

namespace {

    constexpr std::string_view magic = "sorvik rename journal";
    constexpr std::string_view firstVersion = "1";
    constexpr std::string_view version = "2";
    constexpr std::string_view endMark = "end";
    constexpr std::string_view completeMark = "complete";
    constexpr std::string_view doneMark = "done";
    constexpr std::string_view unfinishedSuffix = ".tmp";
    constexpr std::size_t uuidTextSize = 36;
    constexpr int namingAttempts = 8;

    std::string inQuotes(const std::string& path) { return "\"" + path + "\""; }

    bool writeAll(int descriptor, std::string_view data)
    {
        while (!data.empty()) {
            ssize_t written = ::write(descriptor, data.data(), data.size());
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            data.remove_prefix(static_cast<std::size_t>(written));
        }
        return true;
    }

    std::string readAll(int descriptor, const std::string& path)
    {
        std::string data;
        struct stat status { };
        if (::fstat(descriptor, &status) == 0 && status.st_size > 0)
            data.reserve(static_cast<std::size_t>(status.st_size));
        char buffer[65536];
        for (;;) {
            ssize_t count = ::read(descriptor, buffer, sizeof buffer);
            if (count < 0) {
                if (errno == EINTR)
                    continue;
                throwSystemError("Couldn't read the rename journal", path);
            }
            if (count == 0)
                return data;
            data.append(buffer, static_cast<std::size_t>(count));
        }
    }

    void syncFolder(const FileURL& folder)
    {
        int descriptor = ::open(folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (descriptor < 0)
            throwSystemError("Couldn't open the folder", folder.path);
        int result = ::fsync(descriptor);
        int error = errno;
        ::close(descriptor);
        if (result != 0)
            throw FileSystemError("Couldn't write the folder " + inQuotes(folder.path), error);
    }

    // The path still names the file we opened (not removed or replaced in between).
    bool stillNames(int descriptor, const std::string& path)
    {
        struct stat opened { };
        struct stat named { };
        return ::fstat(descriptor, &opened) == 0 && ::lstat(path.c_str(), &named) == 0
            && opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
    }

    /// Writes byte strings separated by NUL. With a descriptor, the text goes out whenever a
    /// megabyte of it is waiting, so that a large batch's journal is never held whole.
    class Writer {
    public:
        explicit Writer(int descriptor = -1)
            : m_descriptor(descriptor)
        {
        }
        void field(std::string_view text)
        {
            m_data.append(text);
            m_data.push_back('\0');
            if (m_descriptor >= 0 && m_data.size() >= flushSize)
                flush();
        }
        /// A path in two pieces: `folder` joined with `name`.
        void path(std::string_view folder, std::string_view name)
        {
            m_data.append(folder);
            if (folder != "/")
                m_data.push_back('/');
            field(name);
        }
        void number(std::uint64_t value)
        {
            char buffer[24];
            auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
            field(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
        }
        void date(Date value)
        {
            char buffer[64];
            auto result = std::to_chars(buffer, buffer + sizeof buffer, value.seconds);
            field(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
        }
        /// Writes what is left; false (with `errno` set) when a write failed, now or before.
        bool finish()
        {
            flush();
            if (!m_written)
                errno = m_error;
            return m_written;
        }
        std::string take() { return std::move(m_data); }

    private:
        static constexpr std::size_t flushSize = 1 << 20;

        void flush()
        {
            if (m_written && !writeAll(m_descriptor, m_data)) {
                m_written = false;
                m_error = errno;
            }
            m_data.clear();
        }

        int m_descriptor;
        bool m_written = true;
        int m_error = 0;
        std::string m_data;
    };

    /// Writes the journal of `batch`, its entries followed by `moves`, to `descriptor`.
    bool writeBatch(
        int descriptor, const RenameJournalBatch& batch, const RenameJournalMoves& moves)
    {
        Writer writer(descriptor);
        writer.field(magic);
        writer.field(version);
        writer.field(batch.id ? batch.id->text() : std::string());
        writer.field(batch.backupPath ? batch.backupPath->path : std::string());
        writer.number(batch.entries.size() + moves.count);
        auto kind = [](bool isDirectory) { return isDirectory ? "d" : "f"; };
        for (const auto& entry : batch.entries) {
            writer.field(entry.from.path);
            writer.field(entry.temp.path);
            writer.field(entry.to.path);
            writer.number(entry.inode);
            writer.field(kind(entry.from.isDirectory));
        }
        for (std::size_t index = 0; index < moves.count; ++index) {
            auto move = moves.at(index);
            writer.field(move.from);
            writer.path(move.tempFolder, move.tempName);
            writer.field(move.to);
            writer.number(move.inode);
            writer.field(kind(move.isDirectory));
        }
        writer.number(batch.plannedFolders.size());
        for (const auto& folder : batch.plannedFolders)
            writer.field(folder.path);
        writer.field(endMark);
        return writer.finish();
    }

    std::string encode(const RenameJournalCompletion& completion)
    {
        Writer writer;
        writer.field(completeMark);
        writer.date(completion.date);
        writer.number(completion.createdDirectories.size());
        for (const auto& folder : completion.createdDirectories)
            writer.field(folder.path);
        writer.field(doneMark);
        return writer.take();
    }

    /// Reads the fields of a journal one after the other; any misstep makes it fail.
    class Reader {
    public:
        explicit Reader(std::string_view data)
            : m_data(data)
        {
        }

        bool atEnd() const { return m_data.empty(); }

        std::optional<std::string_view> field()
        {
            auto end = m_data.find('\0');
            if (end == std::string_view::npos)
                return std::nullopt;
            auto text = m_data.substr(0, end);
            m_data.remove_prefix(end + 1);
            return text;
        }

        std::optional<std::uint64_t> number()
        {
            auto text = field();
            if (!text || text->empty() || text->size() > 20)
                return std::nullopt;
            std::uint64_t value = 0;
            auto result = std::from_chars(text->data(), text->data() + text->size(), value);
            if (result.ec != std::errc() || result.ptr != text->data() + text->size())
                return std::nullopt;
            return value;
        }

        std::optional<Date> date()
        {
            auto text = field();
            if (!text || text->empty())
                return std::nullopt;
            double seconds = 0;
            auto result = std::from_chars(text->data(), text->data() + text->size(), seconds);
            if (result.ec != std::errc() || result.ptr != text->data() + text->size())
                return std::nullopt;
            return Date { seconds };
        }

        /// An absolute path (a journal never holds another kind).
        std::optional<FileURL> path(bool isDirectory = false)
        {
            auto text = field();
            if (!text || text->empty() || text->front() != '/')
                return std::nullopt;
            return FileURL(*text, isDirectory);
        }

        /// A count of items that each take at least `fieldsEach` more fields.
        std::optional<std::uint64_t> count(std::size_t fieldsEach)
        {
            auto value = number();
            if (!value || *value > m_data.size() / (2 * fieldsEach) + 1)
                return std::nullopt;
            return value;
        }

    private:
        std::string_view m_data;
    };

    std::optional<RenameJournalBatch> decodeFirstVersion(Reader& reader)
    {
        RenameJournalBatch batch;
        auto count = reader.count(4);
        if (!count)
            return std::nullopt;
        batch.entries.reserve(*count);
        for (std::uint64_t index = 0; index < *count; ++index) {
            auto from = reader.path();
            auto temp = reader.path();
            auto to = reader.path();
            auto inode = reader.number();
            if (!from || !temp || !to || !inode)
                return std::nullopt;
            batch.entries.push_back({ *from, *temp, *to, *inode });
        }
        if (reader.field() != endMark || !reader.atEnd())
            return std::nullopt;
        return batch;
    }

    std::optional<RenameJournalBatch> decodeBatch(Reader& reader)
    {
        RenameJournalBatch batch;
        auto id = reader.field();
        auto backup = reader.field();
        if (!id || !backup)
            return std::nullopt;
        if (!id->empty()) {
            batch.id = Uuid::parse(*id);
            if (!batch.id)
                return std::nullopt;
        }
        if (!backup->empty()) {
            if (backup->front() != '/')
                return std::nullopt;
            batch.backupPath = FileURL(*backup, true);
        }
        auto count = reader.count(5);
        if (!count)
            return std::nullopt;
        batch.entries.reserve(*count);
        for (std::uint64_t index = 0; index < *count; ++index) {
            auto from = reader.field();
            auto temp = reader.path();
            auto to = reader.field();
            auto inode = reader.number();
            auto kind = reader.field();
            if (!from || !temp || !to || !inode || (kind != "d" && kind != "f"))
                return std::nullopt;
            bool isDirectory = kind == "d";
            if (from->empty() || from->front() != '/' || to->empty() || to->front() != '/')
                return std::nullopt;
            batch.entries.push_back({ FileURL(*from, isDirectory), FileURL(temp->path, isDirectory),
                FileURL(*to, isDirectory), *inode });
        }
        auto folders = reader.count(1);
        if (!folders)
            return std::nullopt;
        for (std::uint64_t index = 0; index < *folders; ++index) {
            auto folder = reader.path(true);
            if (!folder)
                return std::nullopt;
            batch.plannedFolders.push_back(std::move(*folder));
        }
        if (reader.field() != endMark)
            return std::nullopt;
        return batch;
    }

    // A mark cut short by a killed process counts as no mark.
    std::optional<RenameJournalCompletion> decodeCompletion(Reader& reader)
    {
        if (reader.atEnd() || reader.field() != completeMark)
            return std::nullopt;
        RenameJournalCompletion completion;
        auto date = reader.date();
        auto count = reader.count(1);
        if (!date || !count)
            return std::nullopt;
        completion.date = *date;
        for (std::uint64_t index = 0; index < *count; ++index) {
            auto folder = reader.path(true);
            if (!folder)
                return std::nullopt;
            completion.createdDirectories.push_back(std::move(*folder));
        }
        if (reader.field() != doneMark || !reader.atEnd())
            return std::nullopt;
        return completion;
    }

    RenameJournalContents decode(std::string_view data, const FileURL& url)
    {
        Reader reader(data);
        std::optional<RenameJournalBatch> batch;
        if (reader.field() == magic) {
            auto format = reader.field();
            if (format == firstVersion)
                batch = decodeFirstVersion(reader);
            else if (format == version)
                batch = decodeBatch(reader);
        }
        if (!batch)
            throw Error("The rename journal \"" + url.path + "\" is damaged.");
        RenameJournalContents contents { std::move(*batch), std::nullopt };
        contents.completion = decodeCompletion(reader);
        return contents;
    }

    bool isUnsupported(int error)
    {
        return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOENT;
    }

    // Gives the unnamed file its name; false when this system cannot.
    bool linkUnnamed(int descriptor, const FileURL& journal)
    {
        auto self = "/proc/self/fd/" + std::to_string(descriptor);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, journal.path.c_str(), AT_SYMLINK_FOLLOW)
            == 0)
            return true;
        return ::linkat(descriptor, "", AT_FDCWD, journal.path.c_str(), AT_EMPTY_PATH) == 0;
    }

} // namespace

RenameJournal::RenameJournal(FileURL url, int descriptor)
    : m_url(std::move(url))
    , m_descriptor(descriptor)
{
}

RenameJournal::RenameJournal(RenameJournal&& other) noexcept
    : m_url(std::move(other.m_url))
    , m_descriptor(std::exchange(other.m_descriptor, -1))
{
}

RenameJournal& RenameJournal::operator=(RenameJournal&& other) noexcept
{
    if (this != &other) {
        close();
        m_url = std::move(other.m_url);
        m_descriptor = std::exchange(other.m_descriptor, -1);
    }
    return *this;
}

RenameJournal::~RenameJournal() { close(); }

void RenameJournal::close()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
}

std::optional<bool> RenameJournal::nameIsUnfinished(std::string_view name)
{
    if (!name.starts_with(fileNamePrefix))
        return std::nullopt;
    name.remove_prefix(fileNamePrefix.size());
    bool unfinished = name.ends_with(unfinishedSuffix);
    if (unfinished)
        name.remove_suffix(unfinishedSuffix.size());
    if (name.size() != uuidTextSize || !Uuid::parse(name))
        return std::nullopt;
    return unfinished;
}

bool RenameJournal::lockIfAbandoned(int descriptor)
{
    while (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

RenameJournal RenameJournal::begin(
    const FileURL& folder, const std::vector<RenameJournalEntry>& entries)
{
    return begin(folder, RenameJournalBatch { std::nullopt, std::nullopt, entries, {} });
}

RenameJournal RenameJournal::begin(const FileURL& folder, const RenameJournalBatch& batch)
{
    return begin(folder, batch, {});
}

RenameJournal RenameJournal::begin(const FileURL& folder, const RenameJournalBatch& batch,
    const RenameJournalMoves& moves, const std::function<void()>& beforeNaming)
{
    std::error_code error;
    std::filesystem::create_directories(folder.path, error);
    if (error)
        throw FileSystemError("Couldn't create the folder " + inQuotes(folder.path), error.value());

    int descriptor = ::open(folder.path.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        if (isUnsupported(errno))
            return beginNamed(folder, batch, moves, beforeNaming);
        throwSystemError("Couldn't write the rename journal", folder.path);
    }
    // Nobody else can reach the file before it has a name, so it is locked and whole by then.
    if (!lockIfAbandoned(descriptor) || !writeBatch(descriptor, batch, moves)
        || ::fsync(descriptor) != 0) {
        int failure = errno;
        ::close(descriptor);
        throw FileSystemError(
            "Couldn't write the rename journal in " + inQuotes(folder.path), failure);
    }
    if (beforeNaming) {
        try {
            beforeNaming();
        } catch (...) {
            // A file without a name goes with its descriptor.
            ::close(descriptor);
            throw;
        }
    }
    FileURL journal;
    bool named = false;
    for (int attempt = 0; attempt < namingAttempts && !named; ++attempt) {
        journal = folder.appending(std::string(fileNamePrefix) + Uuid::random().text());
        named = linkUnnamed(descriptor, journal);
        if (!named && errno != EEXIST)
            break;
    }
    if (!named) {
        ::close(descriptor);
        // `beforeNaming` has let the journal through already.
        return beginNamed(folder, batch, moves);
    }
    RenameJournal result(journal, descriptor);
    try {
        syncFolder(folder);
    } catch (...) {
        result.finish();
        throw;
    }
    return result;
}

RenameJournal RenameJournal::beginNamed(const FileURL& folder, const RenameJournalBatch& batch,
    const RenameJournalMoves& moves, const std::function<void()>& beforeNaming)
{
    std::error_code error;
    std::filesystem::create_directories(folder.path, error);
    if (error)
        throw FileSystemError("Couldn't create the folder " + inQuotes(folder.path), error.value());
    for (int attempt = 0; attempt < namingAttempts; ++attempt) {
        std::string name = std::string(fileNamePrefix) + Uuid::random().text();
        FileURL journal = folder.appending(name);
        FileURL unfinished = folder.appending(name + std::string(unfinishedSuffix));
        int descriptor = ::open(
            unfinished.path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (descriptor < 0 && errno == EEXIST)
            continue;
        if (descriptor < 0)
            throwSystemError("Couldn't write the rename journal", unfinished.path);
        // Another process's start-up clean-up may have taken the fresh file before the lock
        // (it then removes it): start again under a new name.
        if (!lockIfAbandoned(descriptor) || !stillNames(descriptor, unfinished.path)) {
            ::close(descriptor);
            continue;
        }
        try {
            if (!writeBatch(descriptor, batch, moves) || ::fsync(descriptor) != 0)
                throwSystemError("Couldn't write the rename journal", unfinished.path);
            if (beforeNaming)
                beforeNaming();
            if (::rename(unfinished.path.c_str(), journal.path.c_str()) != 0)
                throwSystemError("Couldn't write the rename journal", journal.path);
        } catch (...) {
            ::unlink(unfinished.path.c_str());
            ::close(descriptor);
            throw;
        }
        RenameJournal result(journal, descriptor);
        try {
            syncFolder(folder);
        } catch (...) {
            result.finish();
            throw;
        }
        return result;
    }
    throw FileSystemError("Couldn't write the rename journal in " + inQuotes(folder.path), EAGAIN);
}

bool RenameJournal::markComplete(const RenameJournalCompletion& completion)
{
    if (m_descriptor < 0)
        return false;
    return writeAll(m_descriptor, encode(completion)) && ::fdatasync(m_descriptor) == 0;
}

void RenameJournal::finish()
{
    if (m_descriptor < 0)
        return;
    ::unlink(m_url.path.c_str());
    close();
}

RenameJournalContents RenameJournal::read(const FileURL& url)
{
    std::error_code error;
    auto file = RegularFile::open(url.path, error, RegularFile::Links::refuse);
    if (!file && (error == notRegularFileError() || error == std::errc::is_a_directory))
        throw Error("The rename journal \"" + url.path + "\" is not a regular file.");
    if (!file)
        throw FileSystemError(
            "Couldn't read the rename journal \"" + url.path + "\"", error.value());
    auto data = file->readAll(error);
    if (error)
        throw FileSystemError(
            "Couldn't read the rename journal \"" + url.path + "\"", error.value());
    return decode(data, url);
}

RenameJournalContents RenameJournal::read(int descriptor, const FileURL& url)
{
    struct stat status { };
    if (::fstat(descriptor, &status) != 0)
        throwSystemError("Couldn't read the rename journal", url.path);
    if (!S_ISREG(status.st_mode))
        throw Error("The rename journal \"" + url.path + "\" is not a regular file.");
    return decode(readAll(descriptor, url.path), url);
}

} // namespace sorvik
