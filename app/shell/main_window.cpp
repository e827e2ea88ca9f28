#include "app/shell/main_window.h"

#include "app/rules/panels/rule_palette.h"
#include "app/rules/panels/save_preset_sheet.h"
#include "app/rules/panels/sheet_presenter.h"
#include "app/shell/content_view.h"
#include "app/shell/history_sheet.h"
#include "app/shell/message_alert.h"
#include "app/shell/window_toolbar.h"
#include "app/store/renamer_store.h"
#include "app/style/brand_colors.h"
#include "app/style/fitting_scroll_area.h"
#include "app/style/screen_fit.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>

namespace sorvik {

MainWindow::MainWindow(RenamerStore& store, QWidget* parent)
    : QMainWindow(parent)
    , m_store(store)
    , m_dialogs(this)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QString::fromLatin1(titleText));
    // Every window of the program opens over this one, or in its place: from here on, each
    // is fitted to its screen as it is shown, this one first.
    fitWindowsToScreens();
    setFittedSizes(*this, QSize(minimumWidth, minimumHeight), QSize(defaultWidth, defaultHeight));
    // One accent for the window, its sheets and every dialog they open.
    applyBrandTintToApplication();

    m_store.setDialogs(&m_dialogs);
    m_store.folderAccess().setAccessPrompt(&m_dialogs);

    // Made in the order Tab goes: the toolbar, then the columns.
    m_toolbar = new WindowToolbar(m_store, this);
    addToolBar(Qt::TopToolBarArea, m_toolbar);
    m_content = new ContentView(m_store, this);
    // On a screen smaller than the columns need, they scroll rather than being cut off.
    setCentralWidget(new FittingScrollArea(m_content, this));
    buildMenus();

    m_sheets = new SheetPresenter(*this, this);
    followSheets();
    m_alert = new MessageAlert(m_store, *this, m_sheets);
}

MainWindow::~MainWindow()
{
    // The store outlives every window: it must not keep dialogs that are gone.
    if (m_store.dialogs() == &m_dialogs)
        m_store.setDialogs(nullptr);
    m_store.folderAccess().setAccessPrompt(nullptr);
}

void MainWindow::buildMenus()
{
    auto* file = menuBar()->addMenu(QString::fromLatin1(fileMenuText));
    file->setObjectName(QStringLiteral("fileMenu"));
    m_addFiles
        = file->addAction(QString::fromUtf8(addFilesText), this, [this] { m_store.chooseFiles(); });
    m_addFiles->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    m_addRule = file->addAction(
        QString::fromUtf8(addRuleText), this, [this] { m_store.setShowingPalette(true); });
    m_addRule->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    m_undoRename = file->addAction(
        QString::fromLatin1(undoRenameText), this, [this] { m_store.undoLastApply(); });
    m_undoRename->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Z));
    auto showUndoRename = [this] { m_undoRename->setEnabled(!m_store.undoStack().empty()); };
    showUndoRename();
    connect(&m_store, &RenamerStore::undoStackChanged, this, showUndoRename);
    file->addSeparator();
    // The desktop may not name a Quit key, so it is given here.
    m_quit = file->addAction(QString::fromLatin1(quitText), this, [] { QCoreApplication::quit(); });
    m_quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    auto* edit = menuBar()->addMenu(QString::fromLatin1(editMenuText));
    edit->setObjectName(QStringLiteral("editMenu"));
    // "Undo Edit Rules": the stack names its step after the prefix. A text field with the
    // focus takes Ctrl+Z first (Qt gives it the shortcut), so its own typing is undone there.
    m_undo = m_undoStack.createUndoAction(this, QString::fromLatin1(undoText));
    m_undo->setShortcuts(QKeySequence::Undo);
    edit->addAction(m_undo);
    m_redo = m_undoStack.createRedoAction(this, QString::fromLatin1(redoText));
    m_redo->setShortcuts(QKeySequence::Redo);
    edit->addAction(m_redo);
    edit->addSeparator();
    m_settings
        = edit->addAction(QString::fromUtf8(settingsText), this, &MainWindow::settingsRequested);
    m_settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));

    auto* help = menuBar()->addMenu(QString::fromLatin1(helpMenuText));
    help->setObjectName(QStringLiteral("helpMenu"));
    m_checkForUpdates = help->addAction(
        QString::fromUtf8(checkForUpdatesText), this, &MainWindow::checkForUpdatesRequested);
}

void MainWindow::followSheets()
{
    auto& store = m_store;
    m_sheets->follow([&store] { return store.showingHistory(); },
        [&store] { store.setShowingHistory(false); }, &store, &RenamerStore::showingHistoryChanged,
        [&store](QWidget* window) { return new HistorySheet(store, window); });
    m_sheets->follow([&store] { return store.showingSavePreset(); },
        [&store] { store.setShowingSavePreset(false); }, &store,
        &RenamerStore::showingSavePresetChanged,
        [&store](QWidget* window) {
            return new SavePresetSheet(store, window, std::string(),
                std::string(SavePresetSheet::defaultSymbol),
                std::string(SavePresetSheet::defaultColor));
        });
    m_sheets->follow([&store] { return store.showingPalette(); },
        [&store] { store.setShowingPalette(false); }, &store, &RenamerStore::showingPaletteChanged,
        [&store](QWidget* window) { return new RulePalette(store, window); });
}

void MainWindow::showEvent(QShowEvent* event)
{
    // Each time the window appears, as the store holds the stack only weakly.
    m_store.setRuleUndoManager(&m_undoStack);
    QMainWindow::showEvent(event);
}

} // namespace sorvik
