#pragma once

#include <functional>
#include <string>

namespace sorvik {

/// The newest release an update check found.
struct AvailableUpdate {
    std::string version;
    std::string downloadPage;
    std::string releaseNotes;
    /// The version running now.
    std::string currentVersion;
};

/// The windows of update checks: the user's own checks show each step, a check in the
/// background shows only an update it found.
class UpdateUserDriver {
public:
    virtual ~UpdateUserDriver() = default;

    /// A check the user asked for runs; `cancel` stops it.
    virtual void showChecking(std::function<void()> cancel) = 0;
    /// The check found nothing newer than `currentVersion`.
    virtual void showUpToDate(const std::string& currentVersion) = 0;
    /// A newer release is offered; `background` when no one asked for the check.
    virtual void showUpdateFound(const AvailableUpdate& update, bool background) = 0;
    /// The user's check failed; `reason` says why.
    virtual void showCheckFailed(const std::string& reason) = 0;
    /// The user asked, but this copy does not look for updates; `reason` says why.
    virtual void showUnavailable(const std::string& reason) = 0;
    /// Takes down the window of the user's check, if one shows.
    virtual void dismiss() = 0;
};

/// What the updater front end asks of the updater: made unstarted, started once, then
/// checking on its own (when allowed) and when asked.
class Updater {
public:
    virtual ~Updater() = default;

    /// Starts the updater. Fails with `Error` whose text says why it cannot.
    virtual void start() = 0;
    virtual bool isStarted() const = 0;
    /// Whether the updater checks on its own, kept in the settings; off until turned on.
    virtual bool automaticallyChecksForUpdates() const = 0;
    virtual void setAutomaticallyChecksForUpdates(bool enabled) = 0;
    /// A check that shows nothing unless it finds an update; nothing while unstarted.
    virtual void checkForUpdatesInBackground() = 0;
    /// The user's check, with its own windows (also when unstarted, saying why nothing is
    /// checked).
    virtual void checkForUpdates() = 0;
};

} // namespace sorvik
