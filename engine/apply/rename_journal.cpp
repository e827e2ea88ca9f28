#include "engine/apply/rename_journal.h"

#include "engine/apply/rename_move.h"
#include "engine/model/uuid.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sorvik {

namespace {

    constexpr std::string_view magic = "sorvik rename journal";
    constexpr std::string_view version = "1";
    constexpr std::string_view endMark = "end";
    constexpr std::string_view unfinishedSuffix = ".tmp";
    constexpr std::size_t uuidTextSize = 36;

    std::string inQuotes(const std::string& path) { return "\"" + path + "\""; }

    struct Identity {
        dev_t device = 0;
        ino_t inode = 0;
        friend bool operator==(const Identity&, const Identity&) = default;
    };

    std::optional<Identity> identityOf(const FileURL& url)
    {
        struct stat status { };
        if (::lstat(url.path.c_str(), &status) != 0)
            return std::nullopt;
        return Identity { status.st_dev, status.st_ino };
    }

    void writeAll(int descriptor, std::string_view data, const std::string& path)
    {
        while (!data.empty()) {
            ssize_t written = ::write(descriptor, data.data(), data.size());
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                throwSystemError("Couldn't write the rename journal", path);
            }
            data.remove_prefix(static_cast<std::size_t>(written));
        }
    }

    std::string readAll(int descriptor, const std::string& path)
    {
        std::string data;
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

    std::string encode(const std::vector<RenameJournalEntry>& entries)
    {
        std::size_t size = 64;
        for (const auto& entry : entries)
            size += entry.from.path.size() + entry.temp.path.size() + entry.to.path.size() + 24;
        std::string data;
        data.reserve(size);
        auto field = [&data](std::string_view text) {
            data.append(text);
            data.push_back('\0');
        };
        field(magic);
        field(version);
        field(std::to_string(entries.size()));
        for (const auto& entry : entries) {
            field(entry.from.path);
            field(entry.temp.path);
            field(entry.to.path);
            field(std::to_string(entry.inode));
        }
        field(endMark);
        return data;
    }

    std::optional<std::uint64_t> decimal(std::string_view text)
    {
        if (text.empty() || text.size() > 20)
            return std::nullopt;
        std::uint64_t value = 0;
        for (char digit : text) {
            if (digit < '0' || digit > '9')
                return std::nullopt;
            auto next = value * 10 + static_cast<std::uint64_t>(digit - '0');
            if (next / 10 != value)
                return std::nullopt;
            value = next;
        }
        return value;
    }

    std::optional<std::vector<RenameJournalEntry>> decode(std::string_view data)
    {
        std::vector<std::string_view> fields;
        while (!data.empty()) {
            auto end = data.find('\0');
            if (end == std::string_view::npos)
                return std::nullopt;
            fields.push_back(data.substr(0, end));
            data.remove_prefix(end + 1);
        }
        if (fields.size() < 4 || fields[0] != magic || fields[1] != version
            || fields.back() != endMark)
            return std::nullopt;
        auto count = decimal(fields[2]);
        if (!count || *count > fields.size() || fields.size() != 4 + *count * 4)
            return std::nullopt;
        std::vector<RenameJournalEntry> entries;
        entries.reserve(*count);
        for (std::size_t index = 3; index + 1 < fields.size(); index += 4) {
            auto inode = decimal(fields[index + 3]);
            if (!inode)
                return std::nullopt;
            for (std::size_t path = index; path < index + 3; ++path) {
                if (fields[path].empty() || fields[path].front() != '/')
                    return std::nullopt;
            }
            entries.push_back({ FileURL(fields[index]), FileURL(fields[index + 1]),
                FileURL(fields[index + 2]), *inode });
        }
        return entries;
    }

    std::vector<RenameJournalEntry> decodeOrFail(std::string_view data, const FileURL& url)
    {
        auto entries = decode(data);
        if (!entries)
            throw Error("The rename journal \"" + url.path + "\" is damaged.");
        return *entries;
    }

    // "rename-journal-" + UUID, or the same + ".tmp" while it is being written.
    std::optional<bool> journalNameIsUnfinished(std::string_view name)
    {
        if (!name.starts_with(RenameJournal::fileNamePrefix))
            return std::nullopt;
        name.remove_prefix(RenameJournal::fileNamePrefix.size());
        bool unfinished = name.ends_with(unfinishedSuffix);
        if (unfinished)
            name.remove_suffix(unfinishedSuffix.size());
        if (name.size() != uuidTextSize || !Uuid::parse(name))
            return std::nullopt;
        return unfinished;
    }

    // An exclusive lock that nobody else holds: the journal's batch is not running.
    bool lockIfAbandoned(int descriptor)
    {
        while (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EINTR)
                return false;
        }
        return true;
    }

    // The path still names the file we opened (not removed or replaced in between).
    bool stillNames(int descriptor, const FileURL& url)
    {
        struct stat opened { };
        struct stat named { };
        return ::fstat(descriptor, &opened) == 0 && ::lstat(url.path.c_str(), &named) == 0
            && opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
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

RenameJournal RenameJournal::begin(
    const FileURL& folder, const std::vector<RenameJournalEntry>& entries)
{
    std::error_code error;
    std::filesystem::create_directories(folder.path, error);
    if (error)
        throw FileSystemError("Couldn't create the folder " + inQuotes(folder.path), error.value());

    std::string data = encode(entries);
    std::string name = std::string(fileNamePrefix) + Uuid::random().text();
    FileURL journal = folder.appending(name);
    FileURL unfinished = folder.appending(name + std::string(unfinishedSuffix));

    int descriptor = ::open(
        unfinished.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor < 0)
        throwSystemError("Couldn\'t write the rename journal", unfinished.path);
    try {
        // Locked before it gets its final name, so no other process can ever take it for
        // the journal of a batch that was abandoned.
        if (!lockIfAbandoned(descriptor))
            throwSystemError("Couldn\'t lock the rename journal", unfinished.path);
        writeAll(descriptor, data, unfinished.path);
        if (::fsync(descriptor) != 0)
            throwSystemError("Couldn\'t write the rename journal", unfinished.path);
        if (::rename(unfinished.path.c_str(), journal.path.c_str()) != 0)
            throwSystemError("Couldn\'t write the rename journal", journal.path);
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

void RenameJournal::finish()
{
    if (m_descriptor < 0)
        return;
    ::unlink(m_url.path.c_str());
    close();
}

std::vector<RenameJournalEntry> RenameJournal::read(const FileURL& url)
{
    int descriptor = ::open(url.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (descriptor < 0)
        throwSystemError("Couldn't read the rename journal", url.path);
    std::string data;
    try {
        data = readAll(descriptor, url.path);
    } catch (...) {
        ::close(descriptor);
        throw;
    }
    ::close(descriptor);
    return decodeOrFail(data, url);
}

namespace {

    /// Removes `folder` when it holds nothing but empty folders: what a batch stopped after
    /// creating destination folders leaves where a file has to return. Anything else in it
    /// (a file, a link) keeps it.
    bool removeEmptyFolderTree(FileSystem& fileSystem, const FileURL& folder)
    {
        struct stat status { };
        if (::lstat(folder.path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
            return false;
        std::vector<std::string> children;
        std::error_code error;
        for (std::filesystem::directory_iterator listing(folder.path, error);
             !error && listing != std::filesystem::directory_iterator(); listing.increment(error))
            children.push_back(listing->path().filename().string());
        if (error)
            return false;
        for (const auto& child : children) {
            if (!removeEmptyFolderTree(fileSystem, folder.appending(child, true)))
                return false;
        }
        try {
            fileSystem.removeEmptyDirectory(folder);
            return true;
        } catch (const std::exception&) {
            return false;
        }
    }

} // namespace

std::vector<FileURL> RenameJournal::restore(
    FileSystem& fileSystem, const std::vector<RenameJournalEntry>& entries)
{
    const std::size_t count = entries.size();
    std::vector<bool> atTemp(count, false);
    std::vector<bool> home(count, false);
    bool anyAtTemp = false;

    for (std::size_t index = 0; index < count; ++index) {
        const auto& entry = entries[index];
        auto temp = identityOf(entry.temp);
        if (!temp)
            continue;
        // A `link` + `unlink` move cut short leaves one file under two names.
        if (identityOf(entry.from) == temp && ::unlink(entry.temp.path.c_str()) == 0)
            continue;
        if (identityOf(entry.to) == temp)
            ::unlink(entry.to.path.c_str());
        atTemp[index] = true;
        anyAtTemp = true;
    }
    // Without a file at a temporary name the batch either never moved a file or moved them
    // all: every file is at its source or at its destination.
    if (!anyAtTemp)
        return {};

    for (std::size_t index = count; index-- > 0;) {
        const auto& entry = entries[index];
        if (atTemp[index] || entry.inode == 0)
            continue;
        auto placed = identityOf(entry.to);
        if (!placed || placed->inode != entry.inode)
            continue;
        auto source = identityOf(entry.from);
        if (source && source->inode == entry.inode)
            continue;
        try {
            fileSystem.moveItem(entry.to, entry.temp);
            atTemp[index] = true;
        } catch (const std::exception&) {
            // Left where it is; its source may still be free for the others.
        }
    }

    std::unordered_map<std::string, std::size_t> byDestination;
    for (std::size_t index = 0; index < count; ++index)
        byDestination.emplace(comparisonKey(entries[index].to), index);

    for (bool progress = true; progress;) {
        progress = false;
        for (std::size_t index = count; index-- > 0;) {
            if (!atTemp[index])
                continue;
            const auto& entry = entries[index];
            auto moveHome = [&] {
                try {
                    fileSystem.moveItem(entry.temp, entry.from);
                    atTemp[index] = false;
                    home[index] = true;
                    progress = true;
                    return true;
                } catch (const std::exception&) {
                    return false;
                }
            };
            if (moveHome())
                continue;
            // A folder the batch created where this file used to be, still empty.
            if (removeEmptyFolderTree(fileSystem, entry.from) && moveHome())
                continue;
            // The source may be taken by another file of the batch that reached its
            // destination without being recognised: move that one aside first.
            auto blocker = byDestination.find(comparisonKey(entry.from));
            if (blocker == byDestination.end())
                continue;
            std::size_t other = blocker->second;
            if (other == index || atTemp[other] || home[other])
                continue;
            try {
                fileSystem.moveItem(entries[other].to, entries[other].temp);
                atTemp[other] = true;
                progress = true;
            } catch (const std::exception&) {
            }
        }
    }

    std::vector<FileURL> leftovers;
    for (std::size_t index = count; index-- > 0;) {
        if (atTemp[index])
            leftovers.push_back(entries[index].temp);
    }
    return leftovers;
}

std::vector<FileURL> RenameJournal::recover(FileSystem& fileSystem, const FileURL& folder)
{
    std::error_code error;
    std::vector<std::string> names;
    std::filesystem::directory_iterator listing(folder.path, error);
    if (error) {
        if (error == std::errc::no_such_file_or_directory)
            return {};
        throw FileSystemError("Couldn't list the folder " + inQuotes(folder.path), error.value());
    }
    for (; !error && listing != std::filesystem::directory_iterator(); listing.increment(error)) {
        std::string name = listing->path().filename().string();
        if (journalNameIsUnfinished(name))
            names.push_back(std::move(name));
    }
    if (error)
        throw FileSystemError("Couldn't list the folder " + inQuotes(folder.path), error.value());
    std::sort(names.begin(), names.end());

    std::vector<FileURL> leftovers;
    // A journal that cannot be read must not keep the others from being recovered.
    std::exception_ptr firstFailure;
    for (const auto& name : names) {
        bool unfinished = *journalNameIsUnfinished(name);
        FileURL url = folder.appending(name);
        int descriptor = ::open(url.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (descriptor < 0)
            continue;
        RenameJournal journal(url, descriptor);
        if (!lockIfAbandoned(descriptor) || !stillNames(descriptor, url))
            continue;
        // A journal that never got its final name was written before any move.
        if (unfinished) {
            journal.finish();
            continue;
        }
        try {
            auto entries = decodeOrFail(readAll(descriptor, url.path), url);
            auto left = restore(fileSystem, entries);
            if (left.empty())
                journal.finish();
            leftovers.insert(leftovers.end(), left.begin(), left.end());
        } catch (const std::exception&) {
            if (!firstFailure)
                firstFailure = std::current_exception();
        }
    }
    if (firstFailure)
        std::rethrow_exception(firstFailure);
    return leftovers;
}

} // namespace sorvik
