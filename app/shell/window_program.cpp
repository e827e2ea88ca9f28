#include "app/shell/window_program.h"

#include "app/automation/stop_signals.h"
#include "app/automation/watch_folder_store.h"
#include "app/services/store_services.h"
#include "app/shell/application.h"
#include "app/shell/quit_signals.h"
#include "app/shell/single_instance.h"
#include "app/shell/updater_store.h"
#include "app/store/renamer_store.h"

#include <QApplication>
#include <QIcon>

#include <cstdlib>
#include <iostream>
#include <string_view>

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
        Application program(
            RenamerStore::shared(),
            []() -> WatchFolderStore& { return WatchFolderStore::shared(); },
            []() -> UpdaterStore& { return UpdaterStore::shared(); });
        QObject::connect(&program, &Application::quitRequested, &application,
            &QCoreApplication::quit, Qt::QueuedConnection);
        QObject::connect(
            &instance, &SingleInstance::requestReceived, &program, &Application::handleRequest);

        program.launch(launch);
        int status = application.exec();
        instance.stopListening();
        return status;
    }

} // namespace

bool hasDisplay()
{
    const char* platforms = std::getenv("QT_QPA_PLATFORM");
    if (!platforms || !*platforms)
        return isSet("DISPLAY") || isSet("WAYLAND_DISPLAY");
    // Qt tries the platforms of a list separated by ";" in turn. Those that are not a display
    // server (offscreen, vnc, eglfs, …) need nothing from the session.
    std::string_view list(platforms);
    while (!list.empty()) {
        auto end = list.find(';');
        auto platform = list.substr(0, end);
        list = end == std::string_view::npos ? std::string_view() : list.substr(end + 1);
        if (platform.starts_with("xcb")) {
            if (isSet("DISPLAY"))
                return true;
        } else if (platform.starts_with("wayland")) {
            if (isSet("WAYLAND_DISPLAY"))
                return true;
        } else if (!platform.empty()) {
            return true;
        }
    }
    return false;
}

int runWindowProgram(const LaunchArguments& launch, char* programPath)
{
    // A stop signal before the window program has anything to save or finish ends it at once,
    // as quitting would: nothing is handed to a running sorvik, nothing is started.
    if (StopSignals::received() != 0)
        return 0;
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
    if (StopSignals::received() != 0)
        return 0;
    if (!hasDisplay()) {
        std::cerr << noDisplayText;
        return 1;
    }
    return runApplication(launch, instance, programPath);
}

} // namespace sorvik
