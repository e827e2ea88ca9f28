#include "app/shell/updater_store.h"

#include "app/shell/feed_updater.h"
#include "app/shell/update_windows.h"

#include <exception>

namespace sorvik {

UpdaterStore& UpdaterStore::shared()
{
    static UpdaterStore* store = [] {
        static UpdateWindows windows;
        auto build = BuildInfo::compiledIn();
        return new UpdaterStore(std::make_unique<FeedUpdater>(build, windows), build);
    }();
    return *store;
}

UpdaterStore::UpdaterStore(std::unique_ptr<Updater> controller, BuildInfo build, QObject* parent)
    : QObject(parent)
    , m_controller(std::move(controller))
    , m_build(std::move(build))
{
    if (isUnderTestHost() || m_build.updateKey.empty())
        return;
    try {
        m_controller->start();
    } catch (const std::exception& error) {
        m_message = error.what();
        return;
    }
    if (m_controller->automaticallyChecksForUpdates())
        m_controller->checkForUpdatesInBackground();
}

UpdaterStore::~UpdaterStore() = default;

void UpdaterStore::setAutomaticallyChecksForUpdates(bool enabled)
{
    m_controller->setAutomaticallyChecksForUpdates(enabled);
    emit changed();
}

void UpdaterStore::checkForUpdates() { m_controller->checkForUpdates(); }

} // namespace sorvik
