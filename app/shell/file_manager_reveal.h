#pragma once

#include "engine/model/file_url.h"

#include <QDBusConnection>
#include <QObject>
#include <QUrl>

#include <functional>
#include <vector>

namespace sorvik {

// Shows files in the desktop's file manager, selected in their folder: the freedesktop
// `org.freedesktop.FileManager1.ShowItems` call on the session bus, with the files' URL text
// (their exact bytes, percent-encoded). The call is asynchronous, so a file manager that is
// slow to start never stalls the window. When no file manager answers (no bus, no such
// service, an error or no reply in time), the first item's folder is opened instead: a
// folder item itself, else the folder that holds the file.
class FileManagerReveal : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FileManagerReveal)

public:
    static constexpr const char* service = "org.freedesktop.FileManager1";
    static constexpr const char* path = "/org/freedesktop/FileManager1";
    static constexpr const char* interface = "org.freedesktop.FileManager1";
    static constexpr const char* method = "ShowItems";
    /// How long a file manager may take to answer before the folder is opened instead.
    static constexpr int replyTimeoutMilliseconds = 10'000;

    /// Opens a folder without the file manager's service (`QDesktopServices::openUrl`).
    using OpenFolder = std::function<void(const QUrl&)>;

    FileManagerReveal(QDBusConnection bus, OpenFolder openFolder, QObject* parent = nullptr);

    /// The session bus, with `QDesktopServices` opening the folder; made on first use.
    static FileManagerReveal& shared();

    /// Shows `items` in the file manager; nothing for an empty list.
    void reveal(const std::vector<FileURL>& items);

    /// The URL that opens `url`'s folder (the folder itself for a folder), bytes kept.
    static QUrl folderToOpen(const FileURL& url);

signals:
    /// After a reveal has been answered: whether the file manager showed the items (false
    /// when the folder was opened instead).
    void revealed(bool byFileManager);

private:
    void openInstead(const FileURL& first);

    QDBusConnection m_bus;
    OpenFolder m_openFolder;
};

} // namespace sorvik
