#include "app/automation/inotify_watcher.h"

#include "app/store/folder_entry.h"

#include <QSocketNotifier>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace sorvik {

namespace {

    /// What makes a tick look again: entries that appear, go or are written and closed. Writes
    /// in progress are left out on purpose: a pending file is read again at every tick anyway,
    /// and a large copy would send thousands of them.
    constexpr std::uint32_t folderEvents
        = IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_CLOSE_WRITE | IN_ONLYDIR;
    constexpr std::uint32_t rootEvents = folderEvents | IN_DELETE_SELF | IN_MOVE_SELF;

    bool isHidden(const char* name) { return name[0] == '.'; }

    /// The names of the plain (not linked) visible folders in the open folder `directoryFD`,
    /// which is taken over and closed.
    std::vector<std::string> visibleSubfolders(int directoryFD)
    {
        std::vector<std::string> names;
        DIR* directory = ::fdopendir(directoryFD);
        if (!directory) {
            ::close(directoryFD);
            return names;
        }
        while (const dirent* entry = ::readdir(directory)) {
            const char* name = entry->d_name;
            if (isHidden(name))
                continue;
            if (folderEntryType(directory, *entry) == DT_DIR)
                names.emplace_back(name);
        }
        ::closedir(directory);
        return names;
    }

} // namespace

InotifyWatcher::InotifyWatcher(QObject* parent)
    : WatchEventSource(parent)
{
}

InotifyWatcher::~InotifyWatcher() { closeDescriptor(); }

bool InotifyWatcher::isRemoteFileSystem(long type)
{
    // Types not in <linux/magic.h> are spelled out.
    constexpr long cifs = 0xFF534D42;
    constexpr long smb2 = 0xFE534D42;
    constexpr long fuse = 0x65735546;
    constexpr long ceph = 0x00C36400;
    constexpr long ncp = 0x564C;
    constexpr long coda = 0x73757245;
    constexpr long gfs2 = 0x01161970;
    constexpr long ocfs2 = 0x7461636F;
    constexpr long lustre = 0x0BD00BD0;
    constexpr std::array<long, 13> remote = { NFS_SUPER_MAGIC, SMB_SUPER_MAGIC, cifs, smb2, fuse,
        V9FS_MAGIC, ceph, AFS_SUPER_MAGIC, ncp, coda, gfs2, ocfs2, lustre };
    return std::find(remote.begin(), remote.end(), type) != remote.end();
}

void InotifyWatcher::closeDescriptor()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
    m_watches.clear();
}

void InotifyWatcher::stop()
{
    closeDescriptor();
    m_roots.clear();
    m_setupFailed = false;
}

void InotifyWatcher::watch(const std::vector<Root>& roots, const FileURL& excluded)
{
    stop();
    m_excluded.reset();
    struct stat status { };
    if (!excluded.isEmpty() && ::stat(excluded.path.c_str(), &status) == 0)
        m_excluded = std::make_pair(status.st_dev, status.st_ino);
    for (const auto& root : roots)
        m_roots.push_back(RootState { root, -1, false });
    if (m_roots.empty())
        return;

    m_descriptor = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_descriptor < 0) {
        // Reported nowhere: the folders are simply looked at every tick.
        m_setupFailed = true;
        return;
    }
    m_notifier = new QSocketNotifier(m_descriptor, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &InotifyWatcher::readEvents);
    for (std::size_t index = 0; index < m_roots.size(); ++index)
        m_roots[index].descriptor = addTree(index, m_roots[index].root.folder.path, true);
}

bool InotifyWatcher::needsPolling() const
{
    if (m_roots.empty())
        return false;
    if (m_setupFailed)
        return true;
    return std::any_of(m_roots.begin(), m_roots.end(),
        [](const RootState& root) { return root.descriptor < 0 || root.untrusted; });
}

void InotifyWatcher::retry()
{
    if (m_descriptor < 0)
        return;
    bool changedFolder = false;
    for (std::size_t index = 0; index < m_roots.size(); ++index) {
        auto& root = m_roots[index];
        if (root.descriptor >= 0) {
            // A watch follows its folder wherever it goes, and no event tells when the path
            // leads elsewhere: a parent renamed, a link or a mount put in the folder's place.
            struct stat status { };
            if (::stat(root.root.folder.path.c_str(), &status) == 0
                && std::make_pair(status.st_dev, status.st_ino) == root.identity)
                continue;
            loseRoot(index);
            changedFolder = true;
        }
        root.descriptor = addTree(index, root.root.folder.path, true);
        changedFolder = changedFolder || root.descriptor >= 0;
    }
    if (changedFolder)
        emit changed();
}

bool InotifyWatcher::isExcluded(int directoryFD) const
{
    struct stat status { };
    return m_excluded && ::fstat(directoryFD, &status) == 0
        && std::make_pair(status.st_dev, status.st_ino) == *m_excluded;
}

int InotifyWatcher::addTree(std::size_t root, const std::string& path, bool isRoot)
{
    int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (isRoot ? 0 : O_NOFOLLOW);
    int directoryFD = ::open(path.c_str(), flags);
    if (directoryFD < 0)
        return -1;
    if (isExcluded(directoryFD)) {
        ::close(directoryFD);
        return -1;
    }
    auto& state = m_roots[root];
    if (isRoot) {
        struct stat status { };
        if (::fstat(directoryFD, &status) == 0)
            state.identity = std::make_pair(status.st_dev, status.st_ino);
        struct statfs fileSystem { };
        state.untrusted = ::fstatfs(directoryFD, &fileSystem) == 0
            && isRemoteFileSystem(static_cast<long>(fileSystem.f_type));
    }
    // The watch comes before the listing: a folder made meanwhile is either listed or
    // reported.
    std::uint32_t mask = isRoot ? rootEvents : folderEvents | IN_DONT_FOLLOW;
    int watch = ::inotify_add_watch(m_descriptor, path.c_str(), mask);
    if (watch < 0) {
        // Out of watches (ENOSPC) or memory: what lies below goes unreported.
        state.untrusted = true;
        ::close(directoryFD);
        return -1;
    }
    m_watches[watch] = Watched { root, path };
    if (!state.root.includeSubfolders) {
        ::close(directoryFD);
        return watch;
    }
    for (const auto& name : visibleSubfolders(directoryFD))
        addTree(root, path == "/" ? "/" + name : path + "/" + name, false);
    return watch;
}

void InotifyWatcher::loseRoot(std::size_t root)
{
    for (auto it = m_watches.begin(); it != m_watches.end();) {
        if (it->second.root == root) {
            ::inotify_rm_watch(m_descriptor, it->first);
            it = m_watches.erase(it);
        } else {
            ++it;
        }
    }
    m_roots[root].descriptor = -1;
}

void InotifyWatcher::readEvents()
{
    // Large enough for many events, and aligned for them: a buffer smaller than the next event
    // fails with EINVAL.
    alignas(inotify_event) std::array<char, 64 * 1024> buffer;
    bool anything = false;
    while (m_descriptor >= 0) {
        auto length = ::read(m_descriptor, buffer.data(), buffer.size());
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0)
            break;
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + offset);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            anything = true;
            if (event->mask & IN_Q_OVERFLOW) {
                // Events were lost, new subfolders among them: walk everything again (adding a
                // watch that exists only refreshes it).
                for (std::size_t index = 0; index < m_roots.size(); ++index)
                    m_roots[index].descriptor
                        = addTree(index, m_roots[index].root.folder.path, true);
                continue;
            }
            auto found = m_watches.find(event->wd);
            if (found == m_watches.end())
                continue;
            auto watched = found->second;
            bool isRootWatch = m_roots[watched.root].descriptor == event->wd;
            if (event->mask & IN_IGNORED) {
                m_watches.erase(found);
                if (isRootWatch)
                    loseRoot(watched.root);
                continue;
            }
            if (isRootWatch && (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF))) {
                // A folder moved away keeps its watch, but no longer stands at its path.
                loseRoot(watched.root);
                continue;
            }
            bool newFolder = (event->mask & IN_ISDIR) && (event->mask & (IN_CREATE | IN_MOVED_TO));
            if (newFolder && event->len > 0 && m_roots[watched.root].root.includeSubfolders
                && !isHidden(event->name)) {
                auto path = watched.path == "/" ? "/" + std::string(event->name)
                                                : watched.path + "/" + event->name;
                addTree(watched.root, path, false);
            }
        }
    }
    if (anything)
        emit changed();
}

} // namespace sorvik
