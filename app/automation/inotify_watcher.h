#pragma once

#include "app/automation/watch_event_source.h"

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include <sys/types.h>

class QSocketNotifier;

namespace sorvik {

// Watches folders with inotify: one watch per folder, and per visible subfolder of a folder that
// includes subfolders, added as new subfolders appear (before `changed` is sent, so a file made
// in a new subfolder is never missed). Symbolic links are never followed.
//
// Events cannot be trusted, and `needsPolling` holds, while:
// - inotify itself could not be set up;
// - a watch could not be added (the user's watch limit, `max_user_watches`, is reached);
// - a watched folder is gone (deleted, moved away, unmounted), or its path leads to another
//   folder now (a parent renamed, a link or a mount put in its place, which no event
//   reports: `retry` looks once a second); it is watched again by `retry` once a folder is
//   back at its path;
// - a folder lies on a network or FUSE file system, which does not report changes made by
//   other computers.
// When the kernel's event queue overflows, every folder is walked again for new subfolders and
// `changed` is sent.
class InotifyWatcher : public WatchEventSource {
    Q_OBJECT

public:
    explicit InotifyWatcher(QObject* parent = nullptr);
    ~InotifyWatcher() override;

    void watch(const std::vector<Root>& roots, const FileURL& excluded) override;
    void stop() override;
    bool needsPolling() const override;
    void retry() override;

    /// The number of folders watched now.
    std::size_t watchCount() const { return m_watches.size(); }

    /// The file systems that may change without telling this computer (network and FUSE file
    /// systems), by their `statfs` type.
    static bool isRemoteFileSystem(long type);

private:
    struct RootState {
        Root root;
        /// The watch of the folder itself; -1 while the folder is gone.
        int descriptor = -1;
        /// Changes may go unreported even while the folder is watched.
        bool untrusted = false;
        /// The folder watched, while it is.
        std::pair<dev_t, ino_t> identity {};
    };
    struct Watched {
        std::size_t root = 0;
        std::string path;
    };

    void readEvents();
    /// Watches the folder at `path` and, when its root includes subfolders, the visible
    /// folders below it. Returns the folder's own watch, or -1.
    int addTree(std::size_t root, const std::string& path, bool isRoot);
    /// Forgets the root's watches and marks it gone.
    void loseRoot(std::size_t root);
    bool isExcluded(int directoryFD) const;
    void closeDescriptor();

    int m_descriptor = -1;
    bool m_setupFailed = false;
    QSocketNotifier* m_notifier = nullptr;
    std::vector<RootState> m_roots;
    std::unordered_map<int, Watched> m_watches;
    std::optional<std::pair<dev_t, ino_t>> m_excluded;
};

} // namespace sorvik
