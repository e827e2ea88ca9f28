#pragma once

#include "app/shell/qt_store_dialogs.h"

#include <QMainWindow>
#include <QUndoStack>

class QAction;

namespace sorvik {

class ContentView;
class MessageAlert;
class RenamerStore;
class SheetPresenter;
class WindowToolbar;

// The main window: the toolbar, the content (access bar, rule column, file list), the menus,
// the sheets and the alert, all over one store. It wires and holds no logic of its own:
// every command is the store's, every sheet and the alert follow the store's flags and
// `message` (one sheet at a time, none while the window is hidden), and the store's dialogs
// and folder prompt are shown over this window.
//
// Rule edits are undone through the window's own undo stack (Edit > Undo, "Undo Edit Rules"),
// handed to the store each time the window is shown; a focused text field keeps Ctrl+Z for its
// own typing. "Undo Rename" takes back the last renamed batch and is off while there is none.
// Closing the window hides it and deletes nothing: the program may go on without a window.
// It opens at its designed size where its screen has the room, and no larger than the screen
// where not (its columns then scroll once the window is smaller than they are); every other
// window of the program is fitted to its screen alike from the moment this one is made.
// "Settings…" and "Check for Updates…" are only announced; the application answers them.
class MainWindow : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    static constexpr const char* titleText = "sorvik";
    static constexpr int minimumWidth = 1000;
    static constexpr int minimumHeight = 640;
    static constexpr int defaultWidth = 1240;
    static constexpr int defaultHeight = 800;

    static constexpr const char* fileMenuText = "&File";
    static constexpr const char* editMenuText = "&Edit";
    static constexpr const char* helpMenuText = "&Help";
    static constexpr const char* addFilesText = "Add Files or Folders\u2026";
    static constexpr const char* addRuleText = "Add Rule\u2026";
    static constexpr const char* undoRenameText = "Undo Rename";
    static constexpr const char* quitText = "Quit";
    static constexpr const char* undoText = "Undo";
    static constexpr const char* redoText = "Redo";
    static constexpr const char* settingsText = "Settings\u2026";
    static constexpr const char* checkForUpdatesText = "Check for Updates\u2026";

    explicit MainWindow(RenamerStore& store, QWidget* parent = nullptr);
    ~MainWindow() override;

    ContentView& content() const { return *m_content; }
    WindowToolbar& toolbar() const { return *m_toolbar; }
    QUndoStack& undoStack() { return m_undoStack; }
    SheetPresenter& sheets() const { return *m_sheets; }
    MessageAlert& alert() const { return *m_alert; }
    /// The dialogs the store shows over this window.
    QtStoreDialogs& dialogs() { return m_dialogs; }

    QAction& addFilesAction() const { return *m_addFiles; }
    QAction& addRuleAction() const { return *m_addRule; }
    QAction& undoRenameAction() const { return *m_undoRename; }
    QAction& quitAction() const { return *m_quit; }
    QAction& undoAction() const { return *m_undo; }
    QAction& redoAction() const { return *m_redo; }
    QAction& settingsAction() const { return *m_settings; }
    QAction& checkForUpdatesAction() const { return *m_checkForUpdates; }

signals:
    /// The user asked for the settings window.
    void settingsRequested();
    /// The user asked to look for a newer version now.
    void checkForUpdatesRequested();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildMenus();
    void followSheets();

    RenamerStore& m_store;
    QUndoStack m_undoStack;
    QtStoreDialogs m_dialogs;
    WindowToolbar* m_toolbar = nullptr;
    ContentView* m_content = nullptr;
    SheetPresenter* m_sheets = nullptr;
    MessageAlert* m_alert = nullptr;

    QAction* m_addFiles = nullptr;
    QAction* m_addRule = nullptr;
    QAction* m_undoRename = nullptr;
    QAction* m_quit = nullptr;
    QAction* m_undo = nullptr;
    QAction* m_redo = nullptr;
    QAction* m_settings = nullptr;
    QAction* m_checkForUpdates = nullptr;
};

} // namespace sorvik
