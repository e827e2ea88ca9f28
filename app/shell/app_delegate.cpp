#include "app/shell/app_delegate.h"

#include "app/automation/watch_folder_store.h"
#include "app/shell/build_info.h"
#include "app/shell/shown_windows.h"
#include "app/shell/updater_store.h"
#include "app/store/renamer_store.h"
#include "engine/model/file_item.h"
#include "engine/model/text.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>
#include <iostream>

namespace sorvik {

namespace {

    constexpr std::string_view presetExtension = "twpreset";

    bool isPresetDocument(const FileURL& url)
    {
        return text::lowercased(extensionOfName(url.lastPathComponent())) == presetExtension;
    }

} // namespace

AppDelegate::AppDelegate(RenamerStore& store, std::function<WatchFolderStore&()> watchFolders,
    std::function<UpdaterStore&()> updater, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_watchFolders(std::move(watchFolders))
    , m_updater(std::move(updater))
{
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(application, &QGuiApplication::lastWindowClosed, this, [this] {
            if (shouldTerminateAfterLastWindowClosed())
                emit quitRequested();
        });
    }
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::setMainWindow(QWidget* window) { m_mainWindow = window; }

void AppDelegate::applicationDidFinishLaunching(bool backgroundWatch)
{
    m_updater();
    if (!backgroundWatch)
        showMainWindow();
    if (isUnderTestHost())
        return;
    auto& watches = m_watchFolders();
    if (backgroundWatch && watches.foldersReadError()) {
        // A start at login leaves no other trace: it says why nothing is watched, and fails.
        std::cerr << "sorvik: " << watches.unreadableFoldersMessage() << std::endl;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
        return;
    }
    watches.restart();
    if (backgroundWatch)
        quitIfNothingToWatch();
}

void AppDelegate::openFiles(const std::vector<FileURL>& urls)
{
    std::vector<FileURL> presets;
    std::vector<FileURL> others;
    for (const auto& url : urls)
        (isPresetDocument(url) ? presets : others).push_back(url);
    m_store.importPresets(presets);
    m_store.addFiles(others);
}

bool AppDelegate::hasEnabledWatchFolder()
{
    auto& watches = m_watchFolders();
    if (!m_watchesFolders) {
        // From now on, also a folder switched off while no window shows may end the process.
        m_watchesFolders = true;
        connect(
            &watches, &WatchFolderStore::foldersChanged, this, &AppDelegate::quitIfNothingToWatch);
        connect(
            &watches, &WatchFolderStore::folderChanged, this, &AppDelegate::quitIfNothingToWatch);
    }
    const auto& folders = watches.folders();
    return std::any_of(
        folders.begin(), folders.end(), [](const WatchFolder& folder) { return folder.isEnabled; });
}

bool AppDelegate::shouldTerminateAfterLastWindowClosed() { return !hasEnabledWatchFolder(); }

void AppDelegate::quitIfNothingToWatch()
{
    if (!isAnyWindowShown() && !hasEnabledWatchFolder())
        emit quitRequested();
}

void AppDelegate::handleRequest(const InstanceRequest& request)
{
    switch (request.kind) {
    case InstanceRequest::Kind::show:
        break;
    case InstanceRequest::Kind::openDocuments:
        openFiles(request.files);
        break;
    case InstanceRequest::Kind::addFiles:
        m_store.addFiles(request.files);
        break;
    }
    showMainWindow();
}

void AppDelegate::showMainWindow()
{
    if (!m_mainWindow)
        return;
    if (m_mainWindow->isMinimized())
        m_mainWindow->showNormal();
    else
        m_mainWindow->show();
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
}

} // namespace sorvik
