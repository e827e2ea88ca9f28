#include "app/shell/feed_updater.h"

#include "app/store/user_defaults.h"
#include "engine/model/error.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <exception>

namespace sorvik {

/// One file of a check: its reply, what came so far, and why it failed.
struct FeedUpdater::Download {
    QNetworkReply* reply = nullptr;
    QByteArray data;
    std::size_t limit = 0;
    bool isDone = false;
    std::optional<std::string> failure;
};

struct FeedUpdater::Check {
    bool background = false;
    Download feed;
    Download signature;
};

FeedUpdater::FeedUpdater(BuildInfo build, UpdateUserDriver& driver, QObject* parent)
    : QObject(parent)
    , m_build(std::move(build))
    , m_driver(driver)
{
    m_timer.setInterval(checkInterval);
    connect(&m_timer, &QTimer::timeout, this, &FeedUpdater::checkForUpdatesInBackground);
}

FeedUpdater::~FeedUpdater() { cancel(); }

void FeedUpdater::start()
{
    if (isStarted())
        return;
    auto key = UpdateFeed::decodePublicKey(m_build.updateKey);
    if (!key) {
        m_startFailure = invalidKeyText;
        throw Error(invalidKeyText);
    }
    QUrl address(QString::fromStdString(m_build.updateFeedAddress), QUrl::StrictMode);
    if (!address.isValid() || address.host().isEmpty()
        || !UpdateFeed::isSecureAddress(m_build.updateFeedAddress)) {
        m_startFailure = insecureFeedText;
        throw Error(insecureFeedText);
    }
    m_key = key;
    m_network = new QNetworkAccessManager(this);
    m_network->setTransferTimeout(
        static_cast<int>(std::chrono::milliseconds(transferTimeout).count()));
    scheduleChecks();
}

bool FeedUpdater::automaticallyChecksForUpdates() const
{
    try {
        return UserDefaults::boolValue(QString::fromLatin1(automaticChecksKey)).value_or(false);
    } catch (const std::exception&) {
        // Settings that cannot be read allow nothing.
        return false;
    }
}

void FeedUpdater::setAutomaticallyChecksForUpdates(bool enabled)
{
    try {
        UserDefaults::setBool(QString::fromLatin1(automaticChecksKey), enabled);
    } catch (const std::exception&) {
        // The setting stays as it is, and the switch reads it back so.
    }
    scheduleChecks();
}

void FeedUpdater::scheduleChecks()
{
    if (isStarted() && automaticallyChecksForUpdates())
        m_timer.start();
    else
        m_timer.stop();
}

void FeedUpdater::checkForUpdatesInBackground()
{
    if (!isStarted() || m_check)
        return;
    begin(true);
}

void FeedUpdater::checkForUpdates()
{
    if (!isStarted()) {
        m_driver.showUnavailable(m_startFailure.value_or(packageManagerText));
        return;
    }
    if (m_check) {
        // The user now waits for the check that runs: it shows every step from here on.
        m_check->background = false;
    } else {
        begin(false);
    }
    m_driver.showChecking([this] {
        cancel();
        emit checkFinished();
    });
}

void FeedUpdater::begin(bool background)
{
    m_check = std::make_unique<Check>();
    m_check->background = background;
    QUrl feedAddress(QString::fromStdString(m_build.updateFeedAddress));
    QUrl signatureAddress = feedAddress;
    signatureAddress.setPath(feedAddress.path() + QStringLiteral(".sig"));

    auto fetch = [this](Download& download, const QUrl& address, std::size_t limit) {
        QNetworkRequest request(address);
        request.setHeader(QNetworkRequest::UserAgentHeader,
            QStringLiteral("sorvik/%1").arg(QString::fromStdString(m_build.version)));
        request.setAttribute(
            QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        download.limit = limit;
        download.reply = m_network->get(request);
        auto* reply = download.reply;
        connect(reply, &QNetworkReply::readyRead, this, [&download, reply] {
            download.data += reply->readAll();
            if (static_cast<std::size_t>(download.data.size()) > download.limit) {
                download.failure = tooLargeText;
                reply->abort();
            }
        });
        connect(reply, &QNetworkReply::finished, this, [this, &download, reply] {
            download.data += reply->readAll();
            download.isDone = true;
            if (!download.failure) {
                auto status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
                if (status.isValid() && status.toInt() != 200)
                    download.failure = serverStatusText + std::to_string(status.toInt()) + ".";
                else if (reply->error() != QNetworkReply::NoError)
                    download.failure = reply->errorString().toStdString();
                else if (static_cast<std::size_t>(download.data.size()) > download.limit)
                    download.failure = tooLargeText;
            }
            downloadFinished();
        });
    };
    fetch(m_check->feed, feedAddress, UpdateFeed::feedSizeLimit);
    fetch(m_check->signature, signatureAddress, UpdateFeed::signatureSizeLimit);
}

void FeedUpdater::downloadFinished()
{
    if (!m_check || !m_check->feed.isDone || !m_check->signature.isDone)
        return;
    const auto& feed = m_check->feed;
    const auto& signature = m_check->signature;
    if (feed.failure || signature.failure) {
        finish(feed.failure ? feed.failure : signature.failure, std::nullopt);
        return;
    }
    std::string_view feedBytes(feed.data.constData(), static_cast<std::size_t>(feed.data.size()));
    std::string_view signatureText(
        signature.data.constData(), static_cast<std::size_t>(signature.data.size()));
    // Not a byte of the feed is read before its signature holds.
    if (!UpdateFeed::isSignedBy(feedBytes, signatureText, *m_key)) {
        finish(badSignatureText, std::nullopt);
        return;
    }
    try {
        auto release = UpdateFeed::parse(feedBytes);
        QUrl page(QString::fromStdString(release.downloadPage), QUrl::StrictMode);
        if (!page.isValid() || page.host().isEmpty())
            throw Error(UpdateFeed::notAFeedText);
        finish(std::nullopt, std::move(release));
    } catch (const Error& error) {
        finish(error.what(), std::nullopt);
    }
}

void FeedUpdater::finish(
    std::optional<std::string> failure, std::optional<UpdateFeed::Release> release)
{
    bool background = m_check->background;
    // The replies go once this slot has returned: one of them is calling it.
    m_check->feed.reply->deleteLater();
    m_check->signature.reply->deleteLater();
    m_check.reset();

    if (failure) {
        if (!background)
            m_driver.showCheckFailed(*failure);
    } else if (release && UpdateFeed::isNewer(release->version, m_build.version)) {
        m_driver.showUpdateFound(
            { release->version, release->downloadPage, release->releaseNotes, m_build.version },
            background);
    } else if (!background) {
        m_driver.showUpToDate(m_build.version);
    }
    emit checkFinished();
}

void FeedUpdater::cancel()
{
    if (!m_check)
        return;
    auto check = std::move(m_check);
    for (auto* download : { &check->feed, &check->signature }) {
        if (!download->reply)
            continue;
        download->reply->disconnect(this);
        download->reply->abort();
        download->reply->deleteLater();
    }
}

} // namespace sorvik
