#pragma once

#include "app/shell/file_manager_reveal.h"
#include "app/store/renamer_store.h"
#include "tests/app/store/fake_dialogs.h"
#include "tests/app/store/store_test_support.h"
#include "tests/support/temporary_folder.h"

#include <QDBusConnection>
#include <QUrl>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sorvik::testing {

/// A store of its own in a fresh home, with a folder for its files.
struct StoreFixture {
    IsolatedHome home;
    TemporaryFolder files;
    std::shared_ptr<FakeServices> services = std::make_shared<FakeServices>();
    RenamerStore store { services };
    FakeDialogs dialogs;

    StoreFixture() { store.setDialogs(&dialogs); }
    ~StoreFixture() { store.setDialogs(nullptr); }

    FileURL url(std::string_view relative) const { return FileURL((files / relative).string()); }
    FileURL folder(std::string_view relative = {}) const
    {
        auto path = relative.empty() ? files.path() : files / relative;
        return FileURL(path.string(), true);
    }

    /// Waits until nothing is being added or planned.
    bool settle()
    {
        return waitUntil([&] { return !store.isAdding() && !store.isPlanning(); });
    }
    /// Adds and waits for the preview.
    bool add(const std::vector<FileURL>& urls)
    {
        store.addFiles(urls);
        return settle();
    }
    bool setRules(std::vector<Rule> rules)
    {
        store.setRules(std::move(rules));
        return settle();
    }
};

/// A reveal that never reaches a bus and records the folders it would have opened.
struct RecordingReveal {
    std::vector<QUrl> opened;
    FileManagerReveal reveal { QDBusConnection(QStringLiteral("sorvik-no-bus")),
        [this](const QUrl& folder) { opened.push_back(folder); } };
};

} // namespace sorvik::testing

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QWidget>
#include <QWindow>

namespace sorvik::testing {

/// Drags a "text/uri-list" of `payload` over `widget` and, with `drop`, drops it there, as the
/// window system does: the events go to the window, which finds the widget that takes drops.
/// Whether the drag was accepted when it entered.
inline bool dragOnto(QWidget& widget, const QByteArray& payload, bool drop = true,
    Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction)
{
    QWindow* window = widget.window()->windowHandle();
    if (!window)
        return false;
    QMimeData mime;
    mime.setData(QStringLiteral("text/uri-list"), payload);
    auto position = QPointF(widget.mapTo(widget.window(), widget.rect().center()));
    QDragEnterEvent enter(position.toPoint(), actions, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    bool accepted = enter.isAccepted();
    if (!drop)
        return accepted;
    QDropEvent dropped(position, actions, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &dropped);
    return accepted;
}

/// Ends a drag over the window without dropping.
inline void leaveDrag(QWidget& widget)
{
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(widget.window()->windowHandle(), &leave);
}

/// The text "file://" + the path, percent-encoded, a line of a uri-list.
inline QByteArray uriLine(const FileURL& url)
{
    return QByteArray::fromStdString(url.text()) + "\r\n";
}

} // namespace sorvik::testing
