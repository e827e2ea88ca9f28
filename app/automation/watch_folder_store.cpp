#include "app/automation/watch_folder_store.h"

#include "app/automation/inotify_watcher.h"
#include "app/automation/watch_folder_overlap.h"
#include "app/automation/watch_log.h"
#include "app/store/access_prompt.h"
#include "app/store/bookmark.h"
#include "app/store/item_order.h"
#include "app/store/json_files.h"
#include "app/store/renamer_store.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <exception>
#include <iterator>

namespace sorvik {

// ---- Construction ----

WatchFolderStore& WatchFolderStore::shared()
{
    static WatchFolderStore* store = [] {
        Collaborators collaborators;
        collaborators.services = RenamerStore::defaultPreviewServices();
        collaborators.clock = std::make_unique<SteadyWatchClock>();
        collaborators.events = std::make_unique<InotifyWatcher>();
        collaborators.loginItem = std::make_unique<AutostartLoginItem>();
        auto* made = new WatchFolderStore(RenamerStore::shared(), std::move(collaborators));
        if (auto* application = QCoreApplication::instance())
            QObject::connect(
                application, &QCoreApplication::aboutToQuit, made, &WatchFolderStore::shutdown);
        return made;
    }();
    return *store;
}

WatchFolderStore::WatchFolderStore(
    RenamerStore& store, Collaborators collaborators, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_services(std::move(collaborators.services))
    , m_clock(std::move(collaborators.clock))
    , m_events(std::move(collaborators.events))
    , m_loginItem(std::move(collaborators.loginItem))
    , m_runsWorkInline(collaborators.runsWorkInline)
    , m_runner(store, m_services)
{
    if (!m_clock)
        m_clock = std::make_unique<SteadyWatchClock>();
    if (m_events) {
        connect(m_events.get(), &WatchEventSource::changed, this, &WatchFolderStore::markDirty);
    }
    // One piece of work at a time, in order: a listing, then one batch after another.
    m_worker.setMaxThreadCount(1);
    m_timer.setInterval(tickInterval);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (m_events)
            m_events->retry();
        tick();
    });
    connect(&m_store, &RenamerStore::filesMoved, this, &WatchFolderStore::markKnown);
    load();
}

WatchFolderStore::~WatchFolderStore() { shutdown(); }

void WatchFolderStore::load()
{
    // The three steps are independent: a broken log must not leave the folders unresolved,
    // and one folder that is gone must not keep the others at their old paths.
    try {
        if (auto folders = JSONFiles::load<std::vector<WatchFolder>>(WatchFolder::fileName))
            m_folders = std::move(*folders);
    } catch (const std::exception& error) {
        m_foldersReadError = error.what();
        setError(error.what());
    }
    try {
        m_log = m_logFile.load();
    } catch (const std::exception& error) {
        if (!m_error)
            setError(error.what());
    }
    for (auto& folder : m_folders) {
        try {
            folder.folder = FileURL(Bookmark::resolve(folder.bookmark).url.path, true);
            // The folder found now is the one the ticks expect at that path.
            if (auto identity = folderIdentity(folder.folder.path))
                m_places[folder.id] = *identity;
        } catch (const std::exception& error) {
            if (!m_error)
                setError(error.what());
        }
    }
    setOverlapping(overlappingWatchFolders(m_folders));
}

void WatchFolderStore::setError(std::string text)
{
    if (m_error == text)
        return;
    m_error = std::move(text);
    emit errorChanged();
}

std::optional<std::string> WatchFolderStore::folderProblem(const Uuid& id) const
{
    const auto* folder = findFolder(id);
    if (!folder || !folder->isEnabled)
        return std::nullopt;
    if (m_overlapping.contains(id))
        return std::string(overlapText);
    if (auto problem = m_problems.find(id); problem != m_problems.end())
        return problem->second;
    return std::nullopt;
}

std::string WatchFolderStore::unreadableFoldersMessage() const
{
    // The read error names the file and the way out.
    return "No folder is watched. " + m_foldersReadError.value_or(std::string());
}

void WatchFolderStore::setOverlapping(std::set<Uuid> overlapping)
{
    if (overlapping == m_overlapping)
        return;
    std::vector<Uuid> changed;
    std::set_symmetric_difference(m_overlapping.begin(), m_overlapping.end(), overlapping.begin(),
        overlapping.end(), std::back_inserter(changed));
    m_overlapping = std::move(overlapping);
    for (const auto& id : changed) {
        // A folder that stops watching forgets what it knew: when it watches again, what is
        // there then is looked at afresh, never taken for arrivals.
        forgetFolder(id);
    }
    // Events come from the folders that watch.
    if (m_isMonitoring && m_events)
        m_events->watch(watchedRoots(), FileURL(JSONFiles::applicationFolder().string(), true));
    for (const auto& id : changed)
        emit folderChanged(id);
}

std::vector<WatchEventSource::Root> WatchFolderStore::watchedRoots() const
{
    std::vector<WatchEventSource::Root> roots;
    for (const auto& folder : m_folders) {
        if (folder.isEnabled && !m_overlapping.contains(folder.id))
            roots.push_back({ folder.folder, folder.includeSubfolders });
    }
    return roots;
}

void WatchFolderStore::setIsProcessing(bool processing)
{
    if (processing == m_isProcessing)
        return;
    m_isProcessing = processing;
    emit isProcessingChanged();
}

// ---- Editing ----

const WatchFolder* WatchFolderStore::findFolder(const Uuid& id) const
{
    auto found = std::find_if(m_folders.begin(), m_folders.end(),
        [&](const WatchFolder& folder) { return folder.id == id; });
    return found == m_folders.end() ? nullptr : &*found;
}

void WatchFolderStore::forgetFolder(const Uuid& id)
{
    m_states.erase(id);
    m_knownDuringScan.erase(id);
    // Looked at afresh, a folder that still cannot be watched says so again.
    m_problems.erase(id);
}

void WatchFolderStore::updateFolder(const Uuid& id, const std::function<void(WatchFolder&)>& change)
{
    auto found = std::find_if(m_folders.begin(), m_folders.end(),
        [&](const WatchFolder& folder) { return folder.id == id; });
    if (found == m_folders.end())
        return;
    auto changed = *found;
    change(changed);
    changed.id = id;
    if (changed == *found)
        return;
    // Switched off, it is forgotten at once: switched on again, it is looked at afresh.
    if (found->isEnabled && !changed.isEnabled)
        forgetFolder(id);
    *found = std::move(changed);
    emit folderChanged(id);
}

void WatchFolderStore::removeFolder(const Uuid& id)
{
    auto removed
        = std::erase_if(m_folders, [&](const WatchFolder& folder) { return folder.id == id; });
    forgetFolder(id);
    m_places.erase(id);
    if (removed > 0)
        emit foldersChanged();
    save();
}

void WatchFolderStore::addFolder(const Uuid& presetID)
{
    if (!m_prompt)
        return;
    auto chosen = m_prompt->chooseFolder(FileURL(), "Open", {});
    if (chosen)
        addFolder(presetID, *chosen);
}

void WatchFolderStore::addFolder(const Uuid& presetID, const FileURL& chosen)
{
    for (const auto& folder : m_folders) {
        if (watchFoldersOverlap(folder.folder, chosen)) {
            setError(std::string(overlapText));
            return;
        }
    }
    WatchFolder folder;
    try {
        m_store.folderAccess().grant(chosen);
        folder.bookmark = Bookmark::create(chosen);
    } catch (const std::exception& error) {
        setError(error.what());
        return;
    }
    folder.folder = FileURL(chosen.path, true);
    folder.presetID = presetID;
    if (auto identity = folderIdentity(folder.folder.path))
        m_places[folder.id] = *identity;
    m_folders.push_back(std::move(folder));
    emit foldersChanged();
    save();
}

void WatchFolderStore::save()
{
    try {
        if (m_foldersReadError)
            throw Error(std::string(unreadableFoldersText) + *m_foldersReadError);
        JSONFiles::save(m_folders, WatchFolder::fileName);
    } catch (const std::exception& error) {
        setError(error.what());
        return;
    }
    restart();
}

// ---- Start at login ----

bool WatchFolderStore::startAtLogin() const { return m_loginItem && m_loginItem->isEnabled(); }

void WatchFolderStore::setStartAtLogin(bool enabled)
{
    if (m_loginItem) {
        try {
            if (enabled)
                m_loginItem->registerItem();
            else
                m_loginItem->unregisterItem();
        } catch (const std::exception& error) {
            setError(error.what());
        }
    }
    emit loginItemChanged();
}

// ---- Monitoring ----

void WatchFolderStore::restart()
{
    if (m_isShutDown)
        return;
    cancelTick();
    m_timer.stop();
    if (m_events)
        m_events->stop();
    m_isMonitoring = false;
    // Batches that could not be put back before may be now: saving tries again.
    m_recoverAgain = true;

    // What is known of folders no longer watched goes; they are looked at afresh when they
    // come back, and their candidates no longer keep every tick busy.
    for (auto it = m_states.begin(); it != m_states.end();) {
        const auto* folder = findFolder(it->first);
        if (!folder || !folder->isEnabled)
            it = m_states.erase(it);
        else
            ++it;
    }

    setOverlapping(overlappingWatchFolders(m_folders));
    auto roots = watchedRoots();
    if (roots.empty())
        return;
    if (auto refused = m_lock.acquire()) {
        setError(std::move(*refused));
        return;
    }
    if (m_events)
        m_events->watch(roots, FileURL(JSONFiles::applicationFolder().string(), true));
    m_isMonitoring = true;
    m_timer.start();
    // Folders new to monitoring are looked at now, not a second later (or as soon as the
    // cancelled tick has ended), so that files arriving meanwhile are not taken as there before.
    m_dirty = true;
    if (m_isProcessing)
        m_tickWhenDone = true;
    else
        tick();
}

void WatchFolderStore::shutdown()
{
    if (m_isShutDown)
        return;
    m_isShutDown = true;
    m_timer.stop();
    cancelTick();
    m_worker.waitForDone();
    if (m_events)
        m_events->stop();
    m_isMonitoring = false;
}

std::vector<FileURL> WatchFolderStore::scan(const WatchFolder& folder) const
{
    if (!m_store.folderAccess().covers(folder.folder))
        return {};
    auto listing = listWatchFolder(folder.folder, folder.includeSubfolders,
        wantedExtensions(folder.fileTypes),
        folderIdentity(JSONFiles::applicationFolder().string()));
    if (!listing)
        return {};
    std::vector<FileURL> files(listing->files.begin(), listing->files.end());
    return ItemOrder::sortURLsByPath(files);
}

// ---- Log ----

void WatchFolderStore::appendLog(std::string_view text)
{
    m_log.insert(m_log.begin(), watchLogLine(Date::now(), text));
    if (m_log.size() > logLimit)
        m_log.resize(logLimit);
    emit logChanged();
    try {
        m_logFile.save(m_log);
    } catch (const std::exception&) {
        // The log is kept in memory; a folder that cannot be written must not stop renaming.
    }
}

// ---- Inspection ----

PathSet WatchFolderStore::known(const Uuid& id) const
{
    auto found = m_states.find(id);
    return found == m_states.end() ? PathSet {} : *found->second.known;
}

std::map<std::string, PendingFile> WatchFolderStore::pending() const
{
    std::map<std::string, PendingFile> all;
    for (const auto& [id, state] : m_states)
        all.insert(state.pending.begin(), state.pending.end());
    return all;
}

} // namespace sorvik
