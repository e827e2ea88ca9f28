#include "app/shell/file_manager_reveal.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QPointer>
#include <QStringList>

namespace sorvik {

FileManagerReveal::FileManagerReveal(QDBusConnection bus, OpenFolder openFolder, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_openFolder(std::move(openFolder))
{
}

FileManagerReveal& FileManagerReveal::shared()
{
    static QPointer<FileManagerReveal> made;
    if (!made) {
        made = new FileManagerReveal(
            QDBusConnection::sessionBus(),
            [](const QUrl& folder) { QDesktopServices::openUrl(folder); },
            QCoreApplication::instance());
    }
    return *made;
}

QUrl FileManagerReveal::folderToOpen(const FileURL& url)
{
    auto folder = url.isDirectory ? url : url.deletingLastPathComponent();
    auto text = folder.text();
    return QUrl::fromEncoded(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

void FileManagerReveal::reveal(const std::vector<FileURL>& items)
{
    if (items.empty())
        return;
    if (!m_bus.isConnected()) {
        openInstead(items.front());
        return;
    }
    QStringList uris;
    uris.reserve(static_cast<qsizetype>(items.size()));
    for (const auto& item : items) {
        // Percent-encoded, so plain ASCII whatever bytes the name holds.
        auto text = item.text();
        uris.append(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    }
    auto message = QDBusMessage::createMethodCall(QString::fromLatin1(service),
        QString::fromLatin1(path), QString::fromLatin1(interface), QString::fromLatin1(method));
    message << uris << QString();
    auto* watcher
        = new QDBusPendingCallWatcher(m_bus.asyncCall(message, replyTimeoutMilliseconds), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, first = items.front()](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            if (finished->isError()) {
                openInstead(first);
                return;
            }
            emit revealed(true);
        });
}

void FileManagerReveal::openInstead(const FileURL& first)
{
    if (m_openFolder)
        m_openFolder(folderToOpen(first));
    emit revealed(false);
}

} // namespace sorvik
