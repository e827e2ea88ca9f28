#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sorvik {

// Only one sorvik process watches the folders: two would each rename the other's results
// again, for ever. The watcher holds an exclusive advisory lock (`flock`) on "watch.lock" in
// the application folder for as long as it lives; the lock is gone with the process, so a
// crashed sorvik never keeps the next one from watching. The application folder also covers a
// home shared by two computers over the network.
class WatchLock {
public:
    static constexpr std::string_view fileName = "watch.lock";
    static constexpr std::string_view heldElsewhereText
        = "Another sorvik is already monitoring the watch folders, so this one does not.";

    WatchLock() = default;
    ~WatchLock();
    WatchLock(const WatchLock&) = delete;
    WatchLock& operator=(const WatchLock&) = delete;

    /// Takes the lock unless it is held already. Nothing when it is held now; otherwise why it
    /// could not be taken: `heldElsewhereText` when another process holds it, or the file
    /// error's description.
    std::optional<std::string> acquire();
    bool isHeld() const { return m_descriptor >= 0; }

private:
    int m_descriptor = -1;
};

} // namespace sorvik
