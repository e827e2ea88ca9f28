#pragma once

#include "engine/model/file_url.h"
#include "engine/model/uuid.h"

#include <QWidget>

#include <functional>
#include <map>
#include <optional>

class QCheckBox;
class QLabel;
class QListWidget;
class QMenu;
class QToolButton;
class QVBoxLayout;

namespace sorvik {

class RenamerStore;
class WatchFolderRow;
class WatchFolderStore;

// The settings tab "Watch Folders": it explains watch folders, adds one for a chosen preset,
// switches the login item, edits and removes each watch folder, saves, and shows the store's
// last failure and its recent activity. All work is the watch folder store's; the tab binds to
// it and calls it.
//
// Row edits change the store's folders at once (its ticks see them), but nothing is written
// and the events are not rebuilt until Save, Remove or an added folder saves. Rows are made
// again only when folders are added or removed; a field edit updates its row in place, so a
// row keeps its widgets, and the focus, while the user types.
class WatchFolderView : public QWidget {
    Q_OBJECT

public:
    static constexpr int fixedWidth = 650;
    static constexpr int fixedHeight = 530;

    /// Asks for a folder for a new watch folder and calls `chosen` with it; never calls it
    /// when cancelled.
    using FolderChooser
        = std::function<void(QWidget* parent, std::function<void(const FileURL&)> chosen)>;

    /// The tab for `watches`, offering the presets of `store`.
    WatchFolderView(WatchFolderStore& watches, RenamerStore& store, QWidget* parent = nullptr);
    ~WatchFolderView() override;
    Q_DISABLE_COPY_MOVE(WatchFolderView)

    /// Replaces the folder dialog (`chooseFolderInDialog` by default).
    void setFolderChooser(FolderChooser chooser) { m_chooseFolder = std::move(chooser); }

    static constexpr const char* chooseFolderTitle = "Choose a Folder to Watch";
    /// The default chooser: a window-modal folder dialog over `owner`, titled
    /// `chooseFolderTitle`, deleted once closed.
    static void chooseFolderInDialog(QWidget* owner, std::function<void(const FileURL&)> chosen);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void rebuildMenu();
    void rebuildRows();
    void updateRow(const Uuid& id);
    void refreshLog();
    void refreshError();
    void refreshStartAtLogin();
    void addFolder(const Uuid& presetID);

    WatchFolderStore& m_watches;
    RenamerStore& m_store;
    FolderChooser m_chooseFolder;

    QToolButton* m_addButton = nullptr;
    QMenu* m_addMenu = nullptr;
    QCheckBox* m_startAtLogin = nullptr;
    QWidget* m_rowsHolder = nullptr;
    QVBoxLayout* m_rowsLayout = nullptr;
    std::map<Uuid, WatchFolderRow*> m_rows;
    QLabel* m_error = nullptr;
    QListWidget* m_activity = nullptr;
};

/// A folder path from a folder dialog as the file system spells it. Dialogs give text, in
/// which bytes of a name that are not UTF-8 became U+FFFD: such a component is looked up among
/// the names in its folder and taken when exactly one of them reads the same.
FileURL folderFromDialog(const QString& path);

} // namespace sorvik
