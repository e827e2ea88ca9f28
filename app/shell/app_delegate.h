#pragma once

#include "app/shell/instance_request.h"
#include "engine/model/file_url.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <vector>

namespace sorvik {

class RenamerStore;
class UpdaterStore;
class WatchFolderStore;

// What the application does at launch, with files opened in it and when its last window
// closes:
// - Launch, in order: the updater front end is made; with "--background-watch" the main window
//   is never shown (not shown and hidden: nothing flashes), otherwise it is shown and raised;
//   then, unless the test host's variable is set, the watch folders start. A background start
//   with no watch folder enabled quits right there: nobody could see or end it otherwise.
// - Files opened (from the file manager, or a later start's arguments): preset documents
//   (".twpreset" in any case) are imported one by one, in order; all other files are added in
//   one call, also when there are none.
// - Requests of later starts: files to open or add, or just the window; each shows and raises
//   it. A later background start asks for nothing.
// - The last window closing quits unless a watch folder is enabled; while no window shows, the
//   last enabled watch folder going quits as well.
// Quitting is asked for through `quitRequested`, so that it happens once the event loop runs.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    /// The watch store and the updater front end are reached through `watchFolders` and
    /// `updater` on first use, so that they are made when the launch order says.
    AppDelegate(RenamerStore& store, std::function<WatchFolderStore&()> watchFolders,
        std::function<UpdaterStore&()> updater, QObject* parent = nullptr);
    ~AppDelegate() override;
    Q_DISABLE_COPY_MOVE(AppDelegate)

    /// The main window; not owned. Closing it hides it.
    void setMainWindow(QWidget* window);
    QWidget* mainWindow() const { return m_mainWindow.data(); }

    /// The launch; see the class overview.
    void applicationDidFinishLaunching(bool backgroundWatch);
    /// The files opened with sorvik, in the order they came.
    void openFiles(const std::vector<FileURL>& urls);
    /// Whether closing the last window quits: true unless a watch folder is enabled. Makes
    /// the watch store when there is none yet.
    bool shouldTerminateAfterLastWindowClosed();
    /// A request of the first start itself, or of a later one.
    void handleRequest(const InstanceRequest& request);
    /// Shows the main window and brings it to the front.
    void showMainWindow();

signals:
    /// The application should quit.
    void quitRequested();

private:
    /// While no window shows: quits when no watch folder is enabled.
    void quitIfNothingToWatch();
    bool hasEnabledWatchFolder();

    RenamerStore& m_store;
    std::function<WatchFolderStore&()> m_watchFolders;
    std::function<UpdaterStore&()> m_updater;
    QPointer<QWidget> m_mainWindow;
    bool m_watchesFolders = false;
};

} // namespace sorvik
