#include "app/shell/window_program.h"

#include "app/automation/watch_folder_store.h"
#include "app/services/store_services.h"
#include "app/shell/app_delegate.h"
#include "app/shell/folder_access_settings.h"
#include "app/shell/main_window.h"
#include "app/shell/quit_signals.h"
#include "app/shell/settings_window.h"
#include "app/shell/single_instance.h"
#include "app/shell/updater_store.h"
#include "app/store/renamer_store.h"

#include <QApplication>
#include <QIcon>

#include <cstdlib>
#include <iostream>
#include <memory>

// Resources of a static library are not linked in unless something names them.
static void initializeBrandResources() { Q_INIT_RESOURCE(brand); }

namespace sorvik {

namespace {

    bool isSet(const char* variable)
    {
        const char* value = std::getenv(variable);
        return value && *value;
    }

    /// The application object's life: from the display connection to the end of the event
    /// loop.
    int runApplication(const LaunchArguments& launch, SingleInstance& instance, char* programPath)
    {
        // Qt is given no argument of ours: a file named like one of its options stays a file.
        int argc = 1;
        char* argv[] = { programPath, nullptr };
        QApplication application(argc, argv);
        QApplication::setApplicationName(QStringLiteral("sorvik"));
        QApplication::setApplicationVersion(QStringLiteral(SORVIK_VERSION));
        QGuiApplication::setDesktopFileName(QStringLiteral("app.sorvik.mac"));
        initializeBrandResources();
        QApplication::setWindowIcon(QIcon::fromTheme(
            QStringLiteral("app.sorvik.mac"), QIcon(QStringLiteral(":/brand/app-icon.svg"))));
        QApplication::setQuitOnLastWindowClosed(false);

        QuitSignals quitSignals;
        QObject::connect(&quitSignals, &QuitSignals::quitRequested, &application,
            &QCoreApplication::quit, Qt::QueuedConnection);
        // Later starts wait for this one while it makes its stores and windows.
        instance.listen();

        StoreServices::install();
        auto& store = RenamerStore::shared();
        auto watchFolders = []() -> WatchFolderStore& { return WatchFolderStore::shared(); };
        AppDelegate delegate(
            store, watchFolders, []() -> UpdaterStore& { return UpdaterStore::shared(); });
        QObject::connect(&delegate, &AppDelegate::quitRequested, &application,
            &QCoreApplication::quit, Qt::QueuedConnection);

        MainWindow window(store);
        delegate.setMainWindow(&window);
        // Made when first asked for, as its tabs make the watch store.
        std::unique_ptr<SettingsWindow> settings;
        QObject::connect(&window, &MainWindow::settingsRequested, &window, [&] {
            if (!settings) {
                settings = std::make_unique<SettingsWindow>(store,
                    new FolderAccessSettings(store.folderAccess()), watchFolders,
                    UpdaterStore::shared());
            }
            settings->present();
        });
        QObject::connect(&window, &MainWindow::checkForUpdatesRequested, &window,
            [] { UpdaterStore::shared().checkForUpdates(); });
        QObject::connect(
            &instance, &SingleInstance::requestReceived, &delegate, &AppDelegate::handleRequest);

        delegate.applicationDidFinishLaunching(launch.backgroundWatch);
        if (launch.request && launch.request->kind != InstanceRequest::Kind::show)
            delegate.handleRequest(*launch.request);
        int status = application.exec();
        instance.stopListening();
        settings.reset();
        return status;
    }

} // namespace

bool hasDisplay()
{
    return isSet("QT_QPA_PLATFORM") || isSet("DISPLAY") || isSet("WAYLAND_DISPLAY");
}

int runWindowProgram(const LaunchArguments& launch, char* programPath)
{
    SingleInstance instance;
    switch (instance.claim(launch.request)) {
    case SingleInstance::Claim::handedOff:
        return 0;
    case SingleInstance::Claim::noAnswer:
        std::cerr << noAnswerText;
        return 1;
    case SingleInstance::Claim::primary:
        break;
    }
    if (!hasDisplay()) {
        std::cerr << noDisplayText;
        return 1;
    }
    return runApplication(launch, instance, programPath);
}

} // namespace sorvik
