#include "app/shell/application.h"

#include "app/shell/app_delegate.h"
#include "app/shell/folder_access_settings.h"
#include "app/shell/launch_arguments.h"
#include "app/shell/main_window.h"
#include "app/shell/settings_window.h"
#include "app/shell/shown_windows.h"
#include "app/shell/updater_store.h"
#include "app/store/renamer_store.h"
#include "app/style/screen_fit.h"

namespace sorvik {

Application::Application(RenamerStore& store, std::function<WatchFolderStore&()> watchFolders,
    std::function<UpdaterStore&()> updater, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_watchFolders(std::move(watchFolders))
    , m_updater(std::move(updater))
    , m_delegate(std::make_unique<AppDelegate>(store, m_watchFolders, m_updater))
    , m_mainWindow(std::make_unique<MainWindow>(store))
{
    m_delegate->setMainWindow(m_mainWindow.get());
    connect(m_delegate.get(), &AppDelegate::quitRequested, this, [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!isAnyWindowShown())
                    emit quitRequested();
            },
            Qt::QueuedConnection);
    });
    connect(m_mainWindow.get(), &MainWindow::settingsRequested, this, &Application::showSettings);
    connect(m_mainWindow.get(), &MainWindow::checkForUpdatesRequested, this,
        [this] { m_updater().checkForUpdates(); });
}

Application::~Application()
{
    // The settings window's tabs read the watch store and the updater: it goes first.
    m_settings.reset();
    m_mainWindow.reset();
}

void Application::launch(const LaunchArguments& arguments)
{
    m_delegate->applicationDidFinishLaunching(arguments.backgroundWatch);
    // A bare start has shown the window already.
    if (arguments.request && arguments.request->kind != InstanceRequest::Kind::show)
        m_delegate->handleRequest(*arguments.request);
}

void Application::handleRequest(const InstanceRequest& request)
{
    m_delegate->handleRequest(request);
}

void Application::showSettings()
{
    if (!m_settings) {
        m_settings = std::make_unique<SettingsWindow>(
            m_store, new FolderAccessSettings(m_store.folderAccess()), m_watchFolders, m_updater());
        // It belongs to no window, yet opens over the main window, on the screen of it.
        setFitAnchor(*m_settings, *m_mainWindow);
    }
    m_settings->present();
}

} // namespace sorvik
