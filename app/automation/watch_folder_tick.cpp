// The tick of the watch folder store: its work away from the GUI thread, and what comes back.
#include "app/automation/watch_folder_store.h"

#include "app/automation/automation_error.h"
#include "app/automation/watch_folder_overlap.h"
#include "app/automation/watch_log.h"
#include "app/store/batch_recovery.h"
#include "app/store/folder_access_manager.h"
#include "app/store/json_files.h"
#include "app/store/renamer_store.h"
#include "app/store/saved_session.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <exception>
#include <utility>

namespace sorvik {

namespace {

    /// The files sorvik moves in one process that are remembered by identity; the oldest go
    /// first. Far more than any folder's arrivals between two ticks.
    constexpr std::size_t placedLimit = 200'000;

    std::string realPath(const std::string& path)
    {
        char buffer[PATH_MAX];
        if (::realpath(path.c_str(), buffer))
            return buffer;
        return path;
    }

    /// The part of `path` below `folder`, "/" first; nothing when it does not lie below.
    std::optional<std::string_view> below(std::string_view path, std::string_view folder)
    {
        if (folder == "/")
            folder = {};
        if (path.size() <= folder.size() + 1 || !path.starts_with(folder)
            || path[folder.size()] != '/')
            return std::nullopt;
        return path.substr(folder.size());
    }

} // namespace

template <class Result>
void WatchFolderStore::runOnWorker(std::function<Result(std::stop_token)> work,
    std::function<void(Result)> done, std::function<void()> cancelled)
{
    auto finish = [this, generation = m_generation, done = std::move(done),
                      cancelled = std::move(cancelled)](Result result) {
        if (m_isShutDown)
            return;
        if (generation != m_generation) {
            cancelled();
            return;
        }
        done(std::move(result));
    };
    auto stop = m_stop.get_token();
    if (m_runsWorkInline) {
        finish(work(stop));
        return;
    }
    m_worker.start([this, work = std::move(work), finish = std::move(finish), stop] {
        auto result = std::make_shared<Result>(work(stop));
        QMetaObject::invokeMethod(
            this, [finish, result] { finish(std::move(*result)); }, Qt::QueuedConnection);
    });
}

void WatchFolderStore::cancelTick()
{
    ++m_generation;
    m_stop.request_stop();
    m_stop = std::stop_source();
}

void WatchFolderStore::tick()
{
    if (!m_isMonitoring || m_isShutDown || m_isProcessing)
        return;
    if (m_events && m_events->needsPolling())
        m_dirty = true;
    bool anyPending = std::any_of(m_states.begin(), m_states.end(),
        [](const auto& entry) { return !entry.second.pending.empty(); });
    if (!m_dirty && !anyPending)
        return;
    m_dirty = false;
    setIsProcessing(true);

    /// One folder as the worker is to look at it.
    struct Request {
        Uuid id;
        WatchScanRequest scan;
        std::optional<FolderIdentity> location;
    };
    std::vector<WatchFolder> enabled;
    std::vector<Request> requests;
    for (const auto& folder : m_folders) {
        if (!folder.isEnabled)
            continue;
        enabled.push_back(folder);
        Request request { folder.id, WatchScanRequest { folder, std::nullopt }, std::nullopt };
        if (auto found = m_states.find(folder.id); found != m_states.end())
            request.scan.state = found->second;
        if (auto place = m_places.find(folder.id); place != m_places.end())
            request.location = place->second;
        requests.push_back(std::move(request));
    }
    WatchScanContext context;
    context.grantedFolders = m_store.folderAccess().folders();
    context.now = m_clock->now();
    context.history = &m_history;
    context.placed = m_placed;
    auto grants = m_store.folderAccess().bookmarks();
    auto grantsError = m_store.folderAccess().storageError();

    m_isScanning = true;
    m_knownDuringScan.clear();
    runOnWorker<TickLook>(
        [requests = std::move(requests), enabled = std::move(enabled), context,
            grants = std::move(grants), grantsError = std::move(grantsError),
            recoverAgain = std::exchange(m_recoverAgain, false),
            batches = &m_runningBatches](std::stop_token stop) mutable {
            TickLook look;
            // A bind mount made or undone since the last tick changes which folders are one.
            look.overlapping = overlappingWatchFolders(enabled);
            context.excluded = folderIdentity(JSONFiles::applicationFolder().string());
            auto journals = batchJournalFolder();
            if (recoverAgain)
                batches->lookAfresh();
            auto held = batches->held(journals);
            if (held.anyNewlyAbandoned) {
                // A batch whose process died is put back before its files are looked at, as
                // any start of sorvik puts it back, under the same journal locks.
                try {
                    look.recovery = recoverInterruptedBatches(context.grantedFolders, grantsError);
                } catch (const std::exception& error) {
                    look.recovery = error.what();
                }
                batches->recoveryTried();
                held = batches->held(journals);
            }
            look.anyBatchRunning = held.anyRunning;
            context.held = std::move(held.folders);
            context.heldFiles = std::move(held.files);
            for (auto& request : requests) {
                if (stop.stop_requested())
                    break;
                if (look.overlapping.contains(request.id))
                    continue;
                FolderLook folder { request.id, {}, std::nullopt, std::nullopt };
                try {
                    folder.location = locateWatchFolder(request.scan.folder, request.location);
                    auto& watched = request.scan.folder.folder;
                    auto scanContext = context;
                    bool looked = !request.location
                        || folder.location->identity != *request.location
                        || folder.location->folder.path != watched.path;
                    if (looked
                        && !FolderAccessManager::covers(
                            context.grantedFolders, folder.location->folder)) {
                        // Moved with its grant, it is granted where it is now, as the next
                        // start of sorvik finds both.
                        folder.grant = grantHolding(folder.location->folder, grants);
                        if (folder.grant)
                            scanContext.grantedFolders.push_back(*folder.grant);
                    }
                    watched = folder.location->folder;
                    folder.scan = scanWatchFolder(request.scan, scanContext);
                } catch (const std::exception& error) {
                    // Looked at again next tick; what is known of it stays.
                    folder.scan.problem = WatchFolderProblem::text(error.what());
                }
                look.folders.push_back(std::move(folder));
            }
            return look;
        },
        [this](TickLook look) { mergeScan(std::move(look)); }, [this] { finishTick(); });
}

void WatchFolderStore::mergeScan(TickLook look)
{
    m_isScanning = false;
    if (look.recovery)
        appendLog(*look.recovery);
    // A running batch ends, or its process dies, without an event in the folders.
    if (look.anyBatchRunning)
        m_dirty = true;
    // Only folders still switched on are judged: one switched on meanwhile waits for the next
    // tick.
    auto& overlapping = look.overlapping;
    std::erase_if(overlapping, [&](const Uuid& id) {
        const auto* folder = findFolder(id);
        return !folder || !folder->isEnabled;
    });
    setOverlapping(std::move(overlapping));
    for (auto& [id, result, location, grant] : look.folders) {
        const auto* folder = findFolder(id);
        // Switched off or removed meanwhile: forgotten already.
        if (!folder || !folder->isEnabled || m_overlapping.contains(id))
            continue;
        if (grant) {
            try {
                m_store.folderAccess().grant(*grant);
            } catch (const std::exception& error) {
                result.problem = WatchFolderProblem::text(error.what());
                result.state.reset();
                result.settled.clear();
            }
        }
        if (location)
            locateFolder(id, *location);
        setProblem(id, result.problem);
        if (!result.state)
            continue;
        auto state = std::move(*result.state);
        if (auto extra = m_knownDuringScan.find(id);
            extra != m_knownDuringScan.end() && !extra->second.empty()) {
            auto known = std::make_shared<PathSet>(*state.known);
            known->insert(extra->second.begin(), extra->second.end());
            state.known = std::move(known);
        }
        m_states[id] = std::move(state);
        if (!result.settled.empty())
            m_batches.push_back(Batch { id, *findFolder(id), std::move(result.settled) });
    }
    m_knownDuringScan.clear();
    runNextBatch();
}

void WatchFolderStore::locateFolder(const Uuid& id, const WatchFolderLocation& location)
{
    m_places[id] = location.identity;
    auto found = std::find_if(m_folders.begin(), m_folders.end(),
        [&](const WatchFolder& folder) { return folder.id == id; });
    if (found == m_folders.end() || found->folder.path == location.folder.path)
        return;
    auto before = found->folder;
    found->folder = location.folder;
    appendLog("The folder was moved, and is watched at \u201C" + location.folder.path + "\u201D now"
        + std::string(watchLogSeparator) + before.lastPathComponent());
    if (m_isMonitoring && m_events)
        m_events->watch(watchedRoots(), FileURL(JSONFiles::applicationFolder().string(), true));
    emit folderChanged(id);
}

void WatchFolderStore::setProblem(const Uuid& id, std::optional<std::string> problem)
{
    auto found = m_problems.find(id);
    bool had = found != m_problems.end();
    if (problem ? had && found->second == *problem : !had)
        return;
    const auto* folder = findFolder(id);
    auto name = folder ? folder->folder.lastPathComponent() : std::string();
    if (problem) {
        appendLog(*problem + std::string(watchLogSeparator) + name);
        m_problems[id] = std::move(*problem);
    } else {
        m_problems.erase(found);
        appendLog(std::string(watchedAgainText) + std::string(watchLogSeparator) + name);
    }
    emit folderChanged(id);
}

void WatchFolderStore::runNextBatch()
{
    if (m_batches.empty()) {
        finishTick();
        return;
    }
    const auto& batch = m_batches.front();
    runOnWorker<Prepared>(
        [runner = &m_runner, snapshot = m_runner.snapshot(), presetID = batch.folder.presetID,
            files = batch.files](std::stop_token stop) {
            Prepared prepared;
            try {
                auto saved = JSONFiles::load<SavedPresets>(SavedPresets::fileName);
                const Preset* preset = nullptr;
                if (saved) {
                    auto found = std::find_if(saved->presets.begin(), saved->presets.end(),
                        [&](const Preset& each) { return each.id == presetID; });
                    if (found != saved->presets.end())
                        preset = &*found;
                }
                if (!preset)
                    throw AutomationError(AutomationError::presetNotFound);
                prepared.plan = runner->prepare(snapshot, files, preset->rules, false, stop);
            } catch (const std::exception& error) {
                prepared.failure = error.what();
            }
            return prepared;
        },
        [this](Prepared prepared) {
            auto current = std::move(m_batches.front());
            m_batches.pop_front();
            auto generation = m_generation;
            commitBatch(current, std::move(prepared));
            // Something the commit announced may have restarted monitoring.
            if (generation != m_generation) {
                logCancelledBatches();
                finishTick();
                return;
            }
            runNextBatch();
        },
        [this] {
            logCancelledBatches();
            finishTick();
        });
}

void WatchFolderStore::commitBatch(const Batch& batch, Prepared prepared)
{
    if (!prepared.plan) {
        appendLog(prepared.failure);
        return;
    }
    // Before the moves: a batch that fails halfway, or whose history cannot be written, must
    // not leave renamed files that look new. A move keeps a file's identity, so the sources
    // as they are now are the files as they will land, whichever path then reaches them.
    std::vector<FileURL> sources;
    sources.reserve(prepared.plan->moves.size());
    for (const auto& move : prepared.plan->moves)
        sources.push_back(move.from);
    markPlaced(sources);
    auto targets = prepared.plan->targets();
    markKnown(targets);
    try {
        m_runner.commit(std::move(*prepared.plan));
    } catch (const std::exception& error) {
        markPlaced(targets);
        appendLog(error.what());
        return;
    }
    // A move to another file system makes a new file.
    markPlaced(targets);
    appendLog("Renamed " + std::to_string(batch.files.size()) + " files"
        + std::string(watchLogSeparator) + batch.folder.folder.lastPathComponent());
}

void WatchFolderStore::logCancelledBatches()
{
    // Their files stay known: a cancelled batch is not tried again.
    while (!m_batches.empty()) {
        m_batches.pop_front();
        appendLog(CancellationError::text);
    }
}

void WatchFolderStore::finishTick()
{
    m_isScanning = false;
    m_knownDuringScan.clear();
    setIsProcessing(false);
    emit tickFinished();
    if (std::exchange(m_tickWhenDone, false))
        tick();
}

void WatchFolderStore::markPlaced(const std::vector<FileURL>& paths)
{
    std::vector<FileIdentity> found;
    for (const auto& url : paths) {
        if (auto identity = FileIdentity::of(url.path); identity && !m_placed->contains(*identity))
            found.push_back(*identity);
    }
    if (found.empty())
        return;
    // The set is shared with a tick's work: a change makes a new one.
    auto placed = std::make_shared<PlacedFiles>(*m_placed);
    for (auto& identity : found) {
        if (placed->insert(identity).second)
            m_placedOrder.push_back(identity);
    }
    while (m_placedOrder.size() > placedLimit) {
        placed->erase(m_placedOrder.front());
        m_placedOrder.pop_front();
    }
    m_placed = std::move(placed);
}

void WatchFolderStore::markKnown(const std::vector<FileURL>& paths)
{
    if (paths.empty())
        return;
    markPlaced(paths);
    // Paths may be spelled through links: each is matched to a folder with both resolved,
    // and recorded as the folder's listing spells it.
    struct Root {
        Uuid id;
        std::string path;
        std::string resolved;
    };
    std::vector<Root> roots;
    for (const auto& folder : m_folders) {
        if (!folder.isEnabled)
            continue;
        auto state = m_states.find(folder.id);
        auto path = state != m_states.end() ? state->second.path : folder.folder.path;
        roots.push_back(Root { folder.id, path, realPath(path) });
    }
    std::map<Uuid, std::vector<std::string>> additions;
    std::map<std::string, std::string, std::less<>> resolvedParents;
    for (const auto& url : paths) {
        auto parent = url.deletingLastPathComponent().path;
        auto found = resolvedParents.find(parent);
        if (found == resolvedParents.end())
            found = resolvedParents.emplace(parent, realPath(parent)).first;
        auto resolved = found->second == "/" ? "/" + url.lastPathComponent()
                                             : found->second + "/" + url.lastPathComponent();
        for (const auto& root : roots) {
            if (auto rest = below(resolved, root.resolved))
                additions[root.id].push_back(
                    (root.path == "/" ? "" : root.path) + std::string(*rest));
            if (below(url.path, root.path))
                additions[root.id].push_back(url.path);
        }
    }
    for (auto& [id, added] : additions) {
        if (auto state = m_states.find(id); state != m_states.end()) {
            auto known = std::make_shared<PathSet>(*state->second.known);
            known->insert(added.begin(), added.end());
            for (const auto& path : added)
                state->second.pending.erase(path);
            state->second.known = std::move(known);
        }
        if (m_isScanning)
            m_knownDuringScan[id].insert(added.begin(), added.end());
    }
}

} // namespace sorvik
