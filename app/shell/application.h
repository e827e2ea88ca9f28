#pragma once

#include <QObject>

#include <functional>
#include <memory>

namespace sorvik {

class AppDelegate;
class MainWindow;
class RenamerStore;
class SettingsWindow;
class UpdaterStore;
class WatchFolderStore;
struct LaunchArguments;
struct InstanceRequest;

// The window program's objects over one store, once an application object exists: the
// delegate, the main window and the settings window (made when first asked for, as its tabs
// make the watch store), with the application's commands wired between them. "Settings…"
// presents the settings window, "Check for Updates…" is the updater's user-initiated check.
//
// Quitting is asked for through `quitRequested`, queued and asked again when it comes due:
// a request of a later start that shows the window in the meantime (a file opened at the
// moment a background start finds nothing to watch) keeps the program running.
class Application : public QObject {
    Q_OBJECT

public:
    Application(RenamerStore& store, std::function<WatchFolderStore&()> watchFolders,
        std::function<UpdaterStore&()> updater, QObject* parent = nullptr);
    ~Application() override;
    Q_DISABLE_COPY_MOVE(Application)

    /// The launch: the delegate's, then the request the program was started with.
    void launch(const LaunchArguments& arguments);
    /// A request of a later start.
    void handleRequest(const InstanceRequest& request);

    AppDelegate& delegate() const { return *m_delegate; }
    MainWindow& mainWindow() const { return *m_mainWindow; }
    /// The settings window; nothing until first asked for.
    SettingsWindow* settingsWindow() const { return m_settings.get(); }
    void showSettings();

signals:
    /// The program should end now.
    void quitRequested();

private:
    RenamerStore& m_store;
    std::function<WatchFolderStore&()> m_watchFolders;
    std::function<UpdaterStore&()> m_updater;
    std::unique_ptr<AppDelegate> m_delegate;
    std::unique_ptr<MainWindow> m_mainWindow;
    std::unique_ptr<SettingsWindow> m_settings;
};

} // namespace sorvik
