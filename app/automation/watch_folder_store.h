#pragma once

#include "app/automation/automation_runner.h"
#include "app/automation/history_index.h"
#include "app/automation/login_item.h"
#include "app/automation/watch_clock.h"
#include "app/automation/watch_event_source.h"
#include "app/automation/watch_folder.h"
#include "app/automation/watch_folder_location.h"
#include "app/automation/watch_folder_scan.h"
#include "app/automation/watch_lock.h"
#include "app/automation/watch_log.h"
#include "app/automation/watch_running_batches.h"
#include "app/store/preview_services.h"
#include "engine/model/file_url.h"
#include "engine/model/uuid.h"

#include <QObject>
#include <QThreadPool>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

class AccessPrompt;
class RenamerStore;

// The watch folders: each renames the files that arrive in it with a saved preset once they
// stop changing. The list lives in "watchfolders.json", the activity log (newest first, at
// most 200 lines) in "watch-log.json"; the store lives on the GUI thread for the process.
//
// Monitoring (`restart`) takes "watch.lock" first, so only one sorvik process ever watches,
// then watches the enabled folders for events and ticks once a second. A tick does nothing
// while another runs, or when no event came and no file is waiting. Otherwise its work runs
// away from the GUI thread, over copies: every enabled folder is listed, and a file that is
// not known settles once its size and modification date have stayed the same for the
// folder's settle time (on a monotonic clock) since a tick first saw them. The settled files
// of a folder become known, then are planned with the folder's preset from "presets.json" by
// the automation runner, again away from the GUI thread; the planned targets become known, and
// the batch is committed on the GUI thread in one go. Each batch leaves one log line.
//
// A watch folder is the folder its bookmark finds, as at every start: one moved or renamed
// nearby is followed to its new path (logged, and granted there when its grant has followed
// it too), one replaced at its path is the folder standing there now; whenever the folder at
// its path is not the one found last, it is looked for again. A switched-on folder that cannot
// be watched (gone, not granted, unreadable) says why in `folderProblem` and in the log, and
// the log says when it is watched again.
//
// A watch folder is one folder, whichever path reaches it: when two enabled watch folders are
// one folder, or one lies inside the other (through a symbolic link or a bind mount too), only
// the first of them in the list watches; the later one is skipped, and says so, until they no
// longer overlap. This is judged whenever the folders are loaded and at every tick.
//
// Files already there are never renamed, whatever happens:
// - a folder's files are known when it is first looked at, when another folder stands at its
//   path (an empty mount point, a replaced folder), and when its settings change (switched
//   on, subfolders, extensions; saved or not); switching a folder off or removing it forgets
//   it at once, so switching it on again looks afresh;
// - a folder that cannot be listed (not granted, gone, unreadable) is skipped and keeps what
//   is known of it for its return;
// - every file sorvik moves is known where it lands, by its identity (device, file number and
//   fingerprint) whichever path reaches it: a watch batch's files before its commit, the
//   window's Rename, Undo Rename and revert (`RenamerStore::filesMoved`), and a file that a
//   recorded batch left with its fingerprint (the command line, another process);
// - the files in a folder where a batch of any process is running now (its journal is held)
//   are left alone until it ends; a batch whose process died is put back first, as a start of
//   sorvik puts it back, and what that could not put back (its journal stays) is left alone
//   until a later recovery has; what recovery says goes to the log;
// - sorvik's data folder is never looked into.
//
// `restart` (also through Save) during a tick cancels it: the batch being planned logs "The
// rename was cancelled." and its files stay known. Quitting (`shutdown`) drops a batch being
// planned; a commit, being one slot, always completes.
class WatchFolderStore : public QObject {
    Q_OBJECT

public:
    static constexpr std::string_view logFileName = WatchLogFile::fileName;
    static constexpr std::size_t logLimit = 200;
    static constexpr std::string_view overlapText = "Watch folders cannot overlap.";
    static constexpr std::string_view watchedAgainText = "The folder is watched again.";
    static constexpr std::string_view unreadableFoldersText
        = "Your watch folders could not be read when sorvik started, so they were left "
          "unchanged. ";
    static constexpr std::chrono::milliseconds tickInterval { 1000 };

    /// What the store works with.
    struct Collaborators {
        /// The metadata and AI answers of the runner; may be null.
        std::shared_ptr<PreviewServices> services;
        /// The settle clock; a steady clock when null.
        std::unique_ptr<WatchClock> clock;
        /// The events; none at all when null (then only polling folders are looked at).
        std::unique_ptr<WatchEventSource> events;
        /// The start at login; never on when null.
        std::unique_ptr<LoginItem> loginItem;
        /// Runs the tick's work on the calling thread, so that `tick` returns with it done.
        bool runsWorkInline = false;
    };

    /// The process-wide store, made on first use on the GUI thread from
    /// `RenamerStore::shared()`, the installed services, inotify and the autostart entry. It
    /// stops monitoring when the application is about to quit.
    static WatchFolderStore& shared();

    /// Loads "watchfolders.json", "watch-log.json" and resolves each folder's bookmark; the
    /// first failure goes to `error`. Starts no monitoring.
    WatchFolderStore(RenamerStore& store, Collaborators collaborators, QObject* parent = nullptr);
    /// `shutdown`.
    ~WatchFolderStore() override;
    Q_DISABLE_COPY_MOVE(WatchFolderStore)

    // ---- Published state ----

    const std::vector<WatchFolder>& folders() const { return m_folders; }
    /// Newest first.
    const std::vector<std::string>& log() const { return m_log; }
    /// The last failure of loading, the login item, adding, saving or monitoring; never
    /// cleared.
    const std::optional<std::string>& error() const { return m_error; }
    bool isProcessing() const { return m_isProcessing; }
    /// Why the folder with `id` does not watch although it is switched on: "Watch folders
    /// cannot overlap." when it is, or lies inside, or holds a folder before it in the list;
    /// otherwise why it cannot be watched (`WatchFolderProblem`), as the last tick found.
    /// `folderChanged` tells when this changes.
    std::optional<std::string> folderProblem(const Uuid& id) const;
    /// Why "watchfolders.json" could not be read when the store was made; then nothing is
    /// watched and the file is never written.
    const std::optional<std::string>& foldersReadError() const { return m_foldersReadError; }
    /// What to tell when "watchfolders.json" could not be read: the file, and why.
    std::string unreadableFoldersMessage() const;

    // ---- Editing ----

    /// Changes the folder with `id` in memory (its id stays); the file and the events follow at
    /// the next `save`, the ticks at once.
    void updateFolder(const Uuid& id, const std::function<void(WatchFolder&)>& change);
    /// Removes every folder with `id`, then saves.
    void removeFolder(const Uuid& id);
    /// Asks for a folder with the prompt and adds it with the preset `presetID`.
    void addFolder(const Uuid& presetID);
    /// Adds `folder` with the preset `presetID`: refused with "Watch folders cannot overlap."
    /// when it overlaps a watch folder (switched off or not); granted, bookmarked, appended
    /// and saved. A failure goes to `error` and adds nothing.
    void addFolder(const Uuid& presetID, const FileURL& folder);
    /// The folder dialog of `addFolder(presetID)`; not owned, may be null (then nothing is
    /// asked).
    void setFolderPrompt(AccessPrompt* prompt) { m_prompt = prompt; }
    /// Writes "watchfolders.json", then restarts monitoring; a failure goes to `error` and
    /// leaves monitoring as it was. Refused while the file could not be read at start-up.
    void save();

    // ---- Start at login ----

    /// Whether the launcher starts at login, read afresh.
    bool startAtLogin() const;
    /// Registers or unregisters the launcher; a failure goes to `error`. Announces
    /// `loginItemChanged` either way.
    void setStartAtLogin(bool enabled);

    // ---- Monitoring ----

    /// Stops monitoring (cancelling a running tick), then, when a folder is enabled and the
    /// watch lock can be held, watches the enabled folders and ticks once a second.
    void restart();
    /// Stops monitoring for good, cancels the running tick and waits for its work.
    void shutdown();
    bool isMonitoring() const { return m_isMonitoring; }
    /// An event arrived.
    void markDirty() { m_dirty = true; }
    bool isDirty() const { return m_dirty; }
    /// One pass of settle detection and renaming; see the class overview. Does nothing while
    /// not monitoring.
    void tick();
    /// The candidate files of `folder` now, sorted by path; nothing when it is not granted or
    /// cannot be listed.
    std::vector<FileURL> scan(const WatchFolder& folder) const;

    /// Adds a line (the date, " · ", `text`) first in the log, keeps 200 and writes the file;
    /// a failed write is ignored.
    void appendLog(std::string_view text);

    // ---- Inspection ----

    /// The paths not to rename in the folder with `id`; empty before it was looked at.
    PathSet known(const Uuid& id) const;
    /// Every candidate file by path.
    std::map<std::string, PendingFile> pending() const;

signals:
    /// Folders were added or removed, or the list was replaced.
    void foldersChanged();
    /// A field of the folder with `id` changed.
    void folderChanged(const sorvik::Uuid& id);
    void logChanged();
    void errorChanged();
    void isProcessingChanged();
    /// The login item may have changed: read `startAtLogin` again.
    void loginItemChanged();
    /// A tick ended (also one that did nothing but look).
    void tickFinished();

private:
    /// The settled files of one folder, waiting for their batch.
    struct Batch {
        Uuid folderID;
        WatchFolder folder;
        std::vector<FileURL> files;
    };
    /// What a worker's planning gives back.
    struct Prepared {
        std::optional<AutomationPlan> plan;
        std::string failure;
    };
    /// What a tick's worker found of one folder.
    struct FolderLook {
        Uuid id;
        WatchScanResult scan;
        /// Where the folder was found; nothing when it was found nowhere.
        std::optional<WatchFolderLocation> location;
        /// A folder to grant again: the folder's grant found it at its new path.
        std::optional<FileURL> grant;
    };
    /// What a tick's worker found.
    struct TickLook {
        std::set<Uuid> overlapping;
        std::vector<FolderLook> folders;
        /// What recovering the batches of processes that died has to tell.
        std::optional<std::string> recovery;
        /// A batch of some process is running: the next tick looks again.
        bool anyBatchRunning = false;
    };

    void load();
    void setError(std::string text);
    void setIsProcessing(bool processing);
    void cancelTick();
    /// Runs `work` on the worker, then `done` on the GUI thread with its result unless the
    /// tick was cancelled meanwhile (then `cancelled`).
    template <class Result>
    void runOnWorker(std::function<Result(std::stop_token)> work, std::function<void(Result)> done,
        std::function<void()> cancelled);
    void mergeScan(TickLook look);
    /// Takes the place where the folder with `id` was found, following it when it moved.
    void locateFolder(const Uuid& id, const WatchFolderLocation& location);
    /// Takes `problem` as the folder's reason not to watch, logging a change.
    void setProblem(const Uuid& id, std::optional<std::string> problem);
    void runNextBatch();
    void commitBatch(const Batch& batch, Prepared prepared);
    void logCancelledBatches();
    void finishTick();
    /// Makes `paths` known in the folders that hold them, and the files there now known
    /// wherever they are found as they are.
    void markKnown(const std::vector<FileURL>& paths);
    /// Makes the files at `paths` known by identity, wherever they are found as they are now.
    void markPlaced(const std::vector<FileURL>& paths);
    /// Takes `overlapping` as the folders that are skipped; what was known of them goes.
    void setOverlapping(std::set<Uuid> overlapping);
    /// The enabled folders that watch, as the events need them.
    std::vector<WatchEventSource::Root> watchedRoots() const;
    void forgetFolder(const Uuid& id);
    const WatchFolder* findFolder(const Uuid& id) const;

    RenamerStore& m_store;
    std::shared_ptr<PreviewServices> m_services;
    std::unique_ptr<WatchClock> m_clock;
    std::unique_ptr<WatchEventSource> m_events;
    std::unique_ptr<LoginItem> m_loginItem;
    bool m_runsWorkInline = false;
    AutomationRunner m_runner;
    AccessPrompt* m_prompt = nullptr;

    // Published state, in declaration order.
    std::vector<WatchFolder> m_folders;
    std::vector<std::string> m_log;
    std::optional<std::string> m_error;
    bool m_isProcessing = false;

    bool m_isMonitoring = false;
    bool m_isShutDown = false;
    bool m_dirty = true;
    /// A restart came during a tick: the next one starts as soon as it ends.
    bool m_tickWhenDone = false;
    /// Why "watchfolders.json" could not be read at start-up; then it is never written.
    std::optional<std::string> m_foldersReadError;
    std::map<Uuid, WatchFolderState> m_states;
    /// The enabled folders that overlap one before them, and do not watch.
    std::set<Uuid> m_overlapping;
    /// The folder each watch folder's path led to when it was last placed.
    std::map<Uuid, FolderIdentity> m_places;
    /// Why switched-on folders could not be watched at the last tick.
    std::map<Uuid, std::string> m_problems;
    /// The next tick tries again to recover the journals of batches whose process died.
    bool m_recoverAgain = true;
    /// The files sorvik moved in this process, as it left them; the oldest go first beyond a
    /// limit.
    std::shared_ptr<const PlacedFiles> m_placed = std::make_shared<const PlacedFiles>();
    std::deque<FileIdentity> m_placedOrder;
    WatchLogFile m_logFile;
    /// Paths made known while a listing was running, kept when its result arrives.
    std::map<Uuid, PathSet> m_knownDuringScan;
    bool m_isScanning = false;
    std::deque<Batch> m_batches;
    /// Bumped by every cancel: work that comes back under an older number is dropped.
    std::uint64_t m_generation = 0;
    std::stop_source m_stop;

    WatchLock m_lock;
    QTimer m_timer;
    /// Used by the worker only, one piece of work at a time.
    HistoryIndex m_history;
    RunningBatches m_runningBatches;
    QThreadPool m_worker;
};

} // namespace sorvik
