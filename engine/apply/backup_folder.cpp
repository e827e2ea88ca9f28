#include "engine/apply/backup_folder.h"

#include "engine/apply/file_system.h"
#include "engine/model/json.h"
#include "engine/model/regular_file.h"
#include "engine/model/text.h"
#include "engine/model/uuid.h"

#include <cerrno>
#include <filesystem>
#include <optional>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sorvik::backup {

namespace {

    constexpr std::size_t nameLimit = 255;
    constexpr const char* manifestName = "manifest.json";

    std::string inQuotes(const std::string& path) { return "\"" + path + "\""; }

    [[noreturn]] void fail(const std::string& context, const std::error_code& error)
    {
        throw FileSystemError(context, error.value());
    }

    // The longest prefix of `name` of at most `limit` bytes that ends between characters.
    std::string_view prefixWithin(std::string_view name, std::size_t limit)
    {
        if (name.size() <= limit)
            return name;
        if (!text::isValidUtf8(name)) {
            // Not text: at least never cut inside a byte sequence that looks like one.
            std::size_t end = limit;
            while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
                --end;
            return name.substr(0, end);
        }
        std::size_t end = 0;
        for (std::size_t boundary : text::characterBoundaries(name)) {
            if (boundary > limit)
                break;
            end = boundary;
        }
        return name.substr(0, end);
    }

    [[noreturn]] void failCopy(const std::string& source, const std::string& copy, int code)
    {
        throw FileSystemError("Couldn't copy " + inQuotes(source) + " to " + inQuotes(copy), code);
    }

    /// Copies the bytes of `in` to `out`; the system's error number on failure, else 0.
    int copyBytes(int in, int out)
    {
        bool copiedAny = false;
        for (;;) {
            ssize_t count = ::copy_file_range(in, nullptr, out, nullptr, std::size_t(1) << 30, 0);
            if (count > 0) {
                copiedAny = true;
                continue;
            }
            if (count == 0)
                return 0;
            if (errno == EINTR)
                continue;
            // Where the kernel cannot copy between these files, plain reads and writes can.
            if (!copiedAny
                && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP))
                break;
            return errno;
        }
        char buffer[1 << 16];
        for (;;) {
            ssize_t count = ::read(in, buffer, sizeof buffer);
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0)
                return errno;
            if (count == 0)
                return 0;
            for (ssize_t written = 0; written < count;) {
                ssize_t step
                    = ::write(out, buffer + written, static_cast<std::size_t>(count - written));
                if (step < 0 && errno == EINTR)
                    continue;
                if (step < 0)
                    return errno;
                written += step;
            }
        }
    }

    // The copy of one regular file, with its permissions. Every failure carries the system's
    // own reason ("No space left on device"), never a generic one.
    void copyFile(const std::string& source, const std::string& copy)
    {
        int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (in < 0)
            failCopy(source, copy, errno);
        struct stat status { };
        if (::fstat(in, &status) != 0 || !S_ISREG(status.st_mode)) {
            int error = S_ISREG(status.st_mode) ? errno : EINVAL;
            ::close(in);
            failCopy(source, copy, error);
        }
        int out
            = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, status.st_mode & 07777);
        if (out < 0) {
            int error = errno;
            ::close(in);
            failCopy(source, copy, error);
        }
        int error = copyBytes(in, out);
        ::close(in);
        if (::close(out) != 0 && error == 0)
            error = errno;
        if (error != 0)
            failCopy(source, copy, error);
    }

    void copyItem(const std::filesystem::path& source, const std::filesystem::path& copy)
    {
        namespace fs = std::filesystem;
        struct stat status { };
        if (::lstat(source.c_str(), &status) != 0)
            failCopy(source, copy, errno);
        if (S_ISLNK(status.st_mode)) {
            std::error_code error;
            fs::copy_symlink(source, copy, error);
            if (error)
                failCopy(source, copy, error.value());
            return;
        }
        if (S_ISREG(status.st_mode)) {
            copyFile(source, copy);
            return;
        }
        if (!S_ISDIR(status.st_mode))
            failCopy(source, copy, EINVAL);
        // mkdir refuses an existing folder, which a copy would otherwise merge into.
        if (::mkdir(copy.c_str(), 0777) != 0)
            failCopy(source, copy, errno);
        std::error_code error;
        std::vector<std::string> names;
        for (fs::directory_iterator listing(source, error);
             !error && listing != fs::directory_iterator(); listing.increment(error))
            names.push_back(listing->path().filename().string());
        if (error)
            failCopy(source, copy, error.value());
        for (const auto& name : names)
            copyItem(source / name, copy / name);
    }

    /// Takes back what a failed backup wrote: the whole folder when this backup made it,
    /// else only the items it added to a folder that was there before.
    void removePartialBackup(
        const FileURL& folder, bool madeFolder, const std::vector<std::filesystem::path>& written)
    {
        std::error_code ignored;
        if (madeFolder) {
            std::filesystem::remove_all(folder.path, ignored);
            return;
        }
        for (const auto& path : written)
            std::filesystem::remove_all(path, ignored);
    }

    void writeNewFile(
        const std::string& path, std::string_view data, std::vector<std::filesystem::path>& made)
    {
        int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (descriptor < 0)
            throwSystemError("Couldn't write", path);
        made.push_back(path);
        while (!data.empty()) {
            ssize_t written = ::write(descriptor, data.data(), data.size());
            if (written < 0 && errno == EINTR)
                continue;
            if (written < 0) {
                int error = errno;
                ::close(descriptor);
                throw FileSystemError("Couldn't write " + inQuotes(path), error);
            }
            data.remove_prefix(static_cast<std::size_t>(written));
        }
        if (::close(descriptor) != 0)
            throwSystemError("Couldn't write", path);
    }

    struct EntryFacts {
        std::optional<Date> created;
        bool isDirectory = false;
        bool isSymbolicLink = false;
    };

    // Creation time where the file system keeps one, else the time of the last change of
    // the entry itself, which for a backup folder written once is when it was filled.
    EntryFacts factsOf(const std::filesystem::path& path)
    {
        struct statx status { };
        if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW,
                STATX_TYPE | STATX_BTIME | STATX_CTIME, &status)
            != 0)
            throwSystemError("Couldn't read the attributes of", path.string());
        EntryFacts facts;
        facts.isDirectory = S_ISDIR(status.stx_mode);
        facts.isSymbolicLink = S_ISLNK(status.stx_mode);
        if (status.stx_mask & STATX_BTIME)
            facts.created = Date::fromTimespec(status.stx_btime.tv_sec, status.stx_btime.tv_nsec);
        else if (status.stx_mask & STATX_CTIME)
            facts.created = Date::fromTimespec(status.stx_ctime.tv_sec, status.stx_ctime.tv_nsec);
        return facts;
    }

    std::vector<std::string> namesIn(const std::filesystem::path& folder)
    {
        std::error_code error;
        std::vector<std::string> names;
        std::filesystem::directory_iterator listing(folder, error);
        for (; !error && listing != std::filesystem::directory_iterator(); listing.increment(error))
            names.push_back(listing->path().filename().string());
        if (error)
            fail("Couldn't list the folder " + inQuotes(folder), error);
        return names;
    }

    std::optional<std::vector<RenameMove>> readManifest(const std::filesystem::path& folder)
    {
        // Only a regular file counts: a FIFO or device put in its place must not stall the
        // pruning that follows every rename.
        std::error_code error;
        auto file = RegularFile::open(folder / manifestName, error, RegularFile::Links::refuse);
        if (!file)
            return std::nullopt;
        auto data = file->readAll(error);
        if (error)
            return std::nullopt;
        try {
            return json::decode<std::vector<RenameMove>>(json::parse(data));
        } catch (const json::DecodeError&) {
            return std::nullopt;
        }
    }

} // namespace

std::string copyName(std::size_t position, std::string_view oldName)
{
    std::string name = std::to_string(position) + "_";
    name += prefixWithin(oldName, nameLimit - name.size());
    return name;
}

void write(const FileURL& folder, const std::vector<RenameMove>& moves)
{
    struct stat status { };
    bool madeFolder = ::lstat(folder.path.c_str(), &status) != 0;
    std::error_code error;
    std::filesystem::create_directories(folder.path, error);
    if (error)
        fail("Couldn't create the folder " + inQuotes(folder.path), error);
    std::vector<std::filesystem::path> written;
    try {
        for (std::size_t position = 0; position < moves.size(); ++position) {
            const auto& from = moves[position].from;
            auto copy = folder.appending(copyName(position, from.lastPathComponent())).path;
            try {
                copyItem(from.path, copy);
            } catch (const FileSystemError& failure) {
                // A copy cut short is this backup's too, unless the name was taken before.
                if (failure.code() != EEXIST && ::lstat(copy.c_str(), &status) == 0)
                    written.push_back(copy);
                throw;
            }
            written.push_back(copy);
        }
        auto manifest = folder.appending(manifestName).path;
        writeNewFile(manifest, nlohmann::json(moves).dump(), written);
    } catch (...) {
        removePartialBackup(folder, madeFolder, written);
        throw;
    }
}

void discard(const FileURL& folder, const std::vector<RenameMove>& moves)
{
    std::vector<std::filesystem::path> written;
    written.reserve(moves.size() + 1);
    for (std::size_t position = 0; position < moves.size(); ++position)
        written.emplace_back(
            folder.appending(copyName(position, moves[position].from.lastPathComponent())).path);
    written.emplace_back(folder.appending(manifestName).path);
    removePartialBackup(folder, false, written);
    ::rmdir(folder.path.c_str());
}

void prune(const FileURL& folder, Date cutoff)
{
    namespace fs = std::filesystem;
    struct stat status { };
    if (::lstat(folder.path.c_str(), &status) != 0)
        return;
    for (const auto& name : namesIn(folder.path)) {
        if (!Uuid::parse(name))
            continue;
        fs::path entry = fs::path(folder.path) / name;
        auto facts = factsOf(entry);
        if (!facts.isDirectory || facts.isSymbolicLink)
            continue;
        if (!facts.created || !(*facts.created < cutoff))
            continue;
        auto manifest = readManifest(entry);
        if (!manifest)
            continue;
        std::set<std::string> expected { manifestName };
        for (std::size_t position = 0; position < manifest->size(); ++position)
            expected.insert(copyName(position, (*manifest)[position].from.lastPathComponent()));
        auto actualNames = namesIn(entry);
        std::set<std::string> actual(actualNames.begin(), actualNames.end());
        if (expected != actual)
            continue;
        std::error_code error;
        fs::remove_all(entry, error);
        if (error)
            fail("Couldn't remove the folder " + inQuotes(entry), error);
    }
}

} // namespace sorvik::backup
