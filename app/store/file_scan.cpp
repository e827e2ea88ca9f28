#include "app/store/file_scan.h"

#include "app/store/folder_entry.h"
#include "engine/apply/file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sorvik::FileScan {

namespace {

    Date toDate(const struct statx_timestamp& stamp)
    {
        return Date::fromTimespec(static_cast<std::time_t>(stamp.tv_sec), stamp.tv_nsec);
    }

} // namespace

ResourceValues valuesOf(const struct statx& status)
{
    ResourceValues values;
    values.isDirectory = S_ISDIR(status.stx_mode);
    values.isRegularFile = S_ISREG(status.stx_mode);
    if (status.stx_mask & STATX_MTIME)
        values.modified = toDate(status.stx_mtime);
    // Many Linux file systems (and older kernels) keep no birth time. The change time stands
    // in for it: the last time the file itself (not only its content) was made anew, which
    // for a copied or downloaded file is when it arrived.
    if (status.stx_mask & STATX_BTIME)
        values.created = toDate(status.stx_btime);
    else if (status.stx_mask & STATX_CTIME)
        values.created = toDate(status.stx_ctime);
    else
        values.created = values.modified;
    if (values.isRegularFile && (status.stx_mask & STATX_SIZE))
        values.size = static_cast<std::int64_t>(status.stx_size);
    return values;
}

namespace {

    constexpr unsigned statxMask
        = STATX_TYPE | STATX_MTIME | STATX_CTIME | STATX_BTIME | STATX_SIZE;

    bool isHidden(const char* name) { return name[0] == '.'; }

    /// Walks one open folder; `directoryFD` is taken over and closed.
    void walk(int directoryFD, const std::string& path, Options options,
        const std::stop_token& stop, std::vector<FileURL>& found)
    {
        DIR* directory = ::fdopendir(directoryFD);
        if (!directory) {
            ::close(directoryFD);
            return;
        }
        std::vector<std::string> subfolders;
        while (const dirent* entry = ::readdir(directory)) {
            if (stop.stop_requested())
                break;
            const char* name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
                continue;
            if (!options.includeHidden && isHidden(name))
                continue;
            unsigned char type = folderEntryType(directory, *entry);
            if (type == DT_REG)
                found.emplace_back(path + "/" + name);
            else if (type == DT_DIR && options.includeSubfolders)
                subfolders.emplace_back(name);
        }
        // The folder is closed before its subfolders are entered, so that a deep tree holds
        // one open folder at a time.
        ::closedir(directory);
        for (const auto& name : subfolders) {
            if (stop.stop_requested())
                return;
            auto childPath = path + "/" + name;
            int childFD
                = ::open(childPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (childFD >= 0)
                walk(childFD, childPath, options, stop, found);
        }
    }

    /// Runs `fill(begin, end)` over `count` places, split among a few threads when there are
    /// many: the disk answers many small requests faster side by side.
    template <class Fill> void inParallel(std::size_t count, Fill&& fill)
    {
        constexpr std::size_t itemsPerThread = 4096;
        std::size_t threadCount = std::min<std::size_t>(
            std::max(1u, std::thread::hardware_concurrency()), count / itemsPerThread + 1);
        threadCount = std::min<std::size_t>(threadCount, 4);
        if (threadCount <= 1) {
            fill(std::size_t(0), count);
            return;
        }
        std::vector<std::jthread> helpers;
        std::size_t chunk = (count + threadCount - 1) / threadCount;
        for (std::size_t thread = 1; thread < threadCount; ++thread) {
            std::size_t begin = std::min(count, thread * chunk);
            std::size_t end = std::min(count, begin + chunk);
            helpers.emplace_back([&fill, begin, end] { fill(begin, end); });
        }
        fill(std::size_t(0), std::min(count, chunk));
        helpers.clear(); // joins them before the results are used
    }

} // namespace

namespace {

    /// The values of the file at `url`; the defaults and the system's error number when they
    /// cannot be read.
    ResourceValues read(const FileURL& url, int& error)
    {
        struct statx status { };
        error = 0;
        if (::statx(AT_FDCWD, url.path.c_str(), AT_SYMLINK_NOFOLLOW, statxMask, &status) != 0) {
            error = errno;
            return {};
        }
        return valuesOf(status);
    }

    /// Errors that say nothing is at a path, as against a path that cannot be read.
    bool meansAbsent(int error)
    {
        return error == ENOENT || error == ENOTDIR || error == ELOOP || error == ENAMETOOLONG;
    }

    FileItem itemOf(const FileURL& url, const ResourceValues& values, std::int64_t order)
    {
        FileItem item;
        item.url = FileURL(url.path, values.isDirectory);
        item.included = true;
        item.isDirectory = values.isDirectory;
        item.created = values.created;
        item.modified = values.modified;
        item.size = values.size;
        item.order = order;
        return item;
    }

} // namespace

ResourceValues read(const FileURL& url)
{
    int error = 0;
    return read(url, error);
}

ResourceValues readChecked(const FileURL& url)
{
    struct statx status { };
    if (::statx(AT_FDCWD, url.path.c_str(), AT_SYMLINK_NOFOLLOW, statxMask, &status) != 0)
        throwSystemError("Couldn't read the attributes of", url.path);
    return valuesOf(status);
}

namespace {

    /// The values and fingerprint of `name` inside the folder open as `at` (or of the path
    /// `name` with `AT_FDCWD`); the system's error number when they cannot be read.
    int readAt(int at, const char* name, ResourceValues& values, FileFingerprint& fingerprint)
    {
        struct statx status { };
        if (::statx(at, name, AT_SYMLINK_NOFOLLOW, statxMask | STATX_INO, &status) != 0)
            return errno;
        // What `FileFingerprint(url)` reads, from the same call.
        fingerprint.size = static_cast<std::int64_t>(status.stx_size);
        fingerprint.modified = toDate(status.stx_mtime);
        fingerprint.inode = static_cast<std::uint64_t>(status.stx_ino);
        values = valuesOf(status);
        return 0;
    }

    /// The folder of the files being read, open while files of it follow each other, so that
    /// each file is looked up by its name alone instead of by its whole path.
    class CurrentFolder {
    public:
        CurrentFolder() = default;
        CurrentFolder(const CurrentFolder&) = delete;
        CurrentFolder& operator=(const CurrentFolder&) = delete;
        ~CurrentFolder() { close(); }

        /// Where to look `path` up: the open folder and the last component, or `AT_FDCWD` and
        /// the whole path where its folder cannot be opened (then the path tells its own
        /// error).
        std::pair<int, const char*> place(const std::string& path)
        {
            auto slash = path.rfind('/');
            if (slash == std::string::npos || slash == 0 || slash + 1 == path.size())
                return { AT_FDCWD, path.c_str() };
            std::string_view folder(path.data(), slash);
            if (!m_isOpen || folder != m_path) {
                close();
                m_path.assign(folder);
                m_descriptor = ::open(m_path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
                m_isOpen = true;
            }
            if (m_descriptor < 0)
                return { AT_FDCWD, path.c_str() };
            return { m_descriptor, path.c_str() + slash + 1 };
        }

    private:
        void close()
        {
            if (m_descriptor >= 0)
                ::close(m_descriptor);
            m_descriptor = -1;
            m_isOpen = false;
        }

        std::string m_path;
        int m_descriptor = -1;
        bool m_isOpen = false;
    };

} // namespace

ResourceValues readChecked(const FileURL& url, FileFingerprint& fingerprint)
{
    ResourceValues values;
    if (int error = readAt(AT_FDCWD, url.path.c_str(), values, fingerprint)) {
        errno = error;
        throwSystemError("Couldn't read the attributes of", url.path);
    }
    return values;
}

bool isPlainFolder(const FileURL& url)
{
    struct stat status { };
    return ::lstat(url.path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

FileItem makeItem(const FileURL& url, std::int64_t order) { return itemOf(url, read(url), order); }

std::vector<FileItem> makeItems(
    const std::vector<FileURL>& urls, std::int64_t firstOrder, std::stop_token stop)
{
    std::vector<FileItem> items(urls.size());
    std::vector<char> absent(urls.size(), 0);
    inParallel(urls.size(), [&](std::size_t begin, std::size_t end) {
        for (std::size_t index = begin; index < end && !stop.stop_requested(); ++index) {
            int error = 0;
            auto values = read(urls[index], error);
            absent[index] = meansAbsent(error);
            items[index] = itemOf(urls[index], values, firstOrder + std::int64_t(index));
        }
    });
    if (std::find(absent.begin(), absent.end(), 1) == absent.end())
        return items;
    std::size_t kept = 0;
    for (std::size_t index = 0; index < items.size(); ++index) {
        if (absent[index])
            continue;
        items[kept] = std::move(items[index]);
        items[kept].order = firstOrder + std::int64_t(kept);
        ++kept;
    }
    items.resize(kept);
    return items;
}

std::vector<CheckedRead> readAllChecked(const std::vector<FileURL>& urls)
{
    std::vector<CheckedRead> reads(urls.size());
    inParallel(urls.size(), [&](std::size_t begin, std::size_t end) {
        CurrentFolder folder;
        for (std::size_t index = begin; index < end; ++index) {
            auto [at, name] = folder.place(urls[index].path);
            auto& read = reads[index];
            read.error = readAt(at, name, read.values, read.fingerprint);
        }
    });
    return reads;
}

std::vector<FileURL> regularFiles(const FileURL& folder, Options options, std::stop_token stop)
{
    std::vector<FileURL> found;
    int fd = ::open(folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return found;
    // The folder's own path, without a trailing "/" unless it is the root.
    std::string path = folder.path == "/" ? std::string() : folder.path;
    walk(fd, path, options, stop, found);
    return found;
}

} // namespace sorvik::FileScan
