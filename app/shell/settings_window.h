#pragma once

#include <QWidget>

#include <functional>

class QCheckBox;
class QTabWidget;

namespace sorvik {

class RenamerStore;
class UpdaterStore;
class WatchFolderStore;

// The settings window: the tabs "Folder Access" (the granted folders, then whether place names
// may be looked up online), "Watch Folders" and "Updates". It is one window for the process,
// made when first asked for and raised when asked again; closing it only hides it. The tabs
// hold no state of their own: each reads the shared objects it shows. It is as large as its
// largest page where the screen has the room; on a smaller screen the pages scroll under the
// tabs.
class SettingsWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* folderAccessLabel = "Folder Access";
    static constexpr const char* watchFoldersLabel = "Watch Folders";
    static constexpr const char* updatesLabel = "Updates";
    static constexpr const char* onlinePlacesText = "Look up place names online";
    static constexpr const char* onlinePlacesCaption
        = "Only location tokens use OpenStreetMap\u2019s geocoding service. File contents stay "
          "on this computer.";

    /// The window over `store`; `folderAccess` is the granted folders' view (taken over),
    /// `watchFolders` gives the watch store when the tab is made.
    SettingsWindow(RenamerStore& store, QWidget* folderAccess,
        const std::function<WatchFolderStore&()>& watchFolders, UpdaterStore& updater,
        QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(SettingsWindow)

    QTabWidget& tabs() const { return *m_tabs; }
    /// The page of tab `index`, inside the area that scrolls it on a small screen.
    QWidget* page(int index) const;
    /// Shows the window and brings it to the front.
    void present();

private:
    void addPage(QWidget* page, const char* symbol, const char* label);
    QWidget* makeFolderAccessTab(QWidget* folderAccess);

    RenamerStore& m_store;
    QTabWidget* m_tabs = nullptr;
    QCheckBox* m_onlinePlaces = nullptr;
};

} // namespace sorvik
