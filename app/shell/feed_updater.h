#pragma once

#include "app/shell/build_info.h"
#include "app/shell/update_feed.h"
#include "app/shell/updater.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

class QNetworkAccessManager;

namespace sorvik {

// The updater of builds that carry an update key: it fetches the signed update feed (see
// update_feed.h) over the network, checks its signature with the build's key, and offers the
// newer release's download page; it installs nothing. Starting fails when the key is not an
// Ed25519 public key or the feed's address is not a secure one. Once started, it checks on its
// own once a day while automatic checks are on ("automaticallyChecksForUpdates" in the
// settings, off until the user turns it on: nothing is sent to any server unasked). One check
// runs at a time; asking again while one runs shows that one.
class FeedUpdater : public QObject, public Updater {
    Q_OBJECT

public:
    static constexpr const char* automaticChecksKey = "automaticallyChecksForUpdates";
    static constexpr std::chrono::hours checkInterval { 24 };
    static constexpr std::chrono::seconds transferTimeout { 20 };

    static constexpr const char* packageManagerText
        = "Updates for this copy of sorvik come from the package manager that installed it.";
    static constexpr const char* invalidKeyText
        = "The update key of this build is not an Ed25519 public key, so sorvik cannot check "
          "for updates.";
    static constexpr const char* insecureFeedText
        = "This build has no secure address to check for updates at.";
    static constexpr const char* tooLargeText = "The update information is too large.";
    static constexpr const char* badSignatureText
        = "The update information is not signed with this build\u2019s key.";
    static constexpr const char* serverStatusText = "The update server answered with status ";

    /// An updater for `build`, showing its windows through `driver` (not owned; it must
    /// outlive the updater).
    FeedUpdater(BuildInfo build, UpdateUserDriver& driver, QObject* parent = nullptr);
    ~FeedUpdater() override;
    Q_DISABLE_COPY_MOVE(FeedUpdater)

    void start() override;
    bool isStarted() const override { return m_key.has_value(); }
    bool automaticallyChecksForUpdates() const override;
    void setAutomaticallyChecksForUpdates(bool enabled) override;
    void checkForUpdatesInBackground() override;
    void checkForUpdates() override;

    /// Whether a check runs.
    bool isChecking() const { return m_check != nullptr; }

signals:
    /// A check ended, however it ended.
    void checkFinished();

private:
    struct Check;
    struct Download;

    void begin(bool background);
    void downloadFinished();
    void finish(std::optional<std::string> failure, std::optional<UpdateFeed::Release> release);
    void cancel();
    void scheduleChecks();

    BuildInfo m_build;
    UpdateUserDriver& m_driver;
    std::optional<UpdateFeed::PublicKey> m_key;
    std::optional<std::string> m_startFailure;
    QNetworkAccessManager* m_network = nullptr;
    QTimer m_timer;
    std::unique_ptr<Check> m_check;
};

} // namespace sorvik
