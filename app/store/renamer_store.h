#pragma once

#include "app/store/folder_access_manager.h"
#include "app/store/history_file.h"
#include "app/store/preview_services.h"
#include "app/store/store_dialogs.h"
#include "engine/apply/history_record.h"
#include "engine/apply/rename_executor.h"
#include "engine/model/file_item.h"
#include "engine/model/file_url.h"
#include "engine/model/metadata_dictionary.h"
#include "engine/model/preset.h"
#include "engine/model/rename_options.h"
#include "engine/model/rule.h"
#include "engine/model/uuid.h"

#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <QUndoStack>

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace sorvik {

class SessionWriter;
struct PreviewResult;
namespace FileAdding {
    struct Request;
    struct Found;
}

// The one state object behind the main window: the file list, the rule stack with its undo
// steps, sort and scan options, the planned preview, the presets, the sheet flags, the alert
// text and the toast. It lives on the GUI thread and works without any window.
//
// Start-up restores the settings "backupEnabled" (false unless stored as true) and
// "onlinePlaces" (true unless stored as false), the last session and the presets. Settings
// that cannot be read at all are reported, and no batch is renamed until the user sets
// "backupEnabled": the file may well say that backups are on. While it
// runs (`loading`), writes plan no preview, record no undo step and save nothing. The
// session and the presets are read independently: one unreadable file does not keep the
// other from loading, and each failure's description goes to `message`. An unreadable
// "presets.json", or one of another schema version (skipped without a word), is never written
// over: `writePresets` refuses until the next start.
//
// Preview planning, latest wins: every change that can alter the planned names bumps
// `revision`, cancels the running task and starts a new one on the store's own threads; the
// sorted and paired snapshot, the metadata and AI stages and the pipeline all run there (see
// `PreviewPlanner`). Results come back with a queued call and are published only when their
// task was not cancelled and their revision is still the latest. Destroying the store
// cancels its tasks and waits for them, so a destroyed store never receives a result.
//
// Adding files never blocks the window: the disk is read on the store's own thread, one call
// at a time in the order they were made, and the new items are listed on the GUI thread in
// one change. A call made while another one runs waits for it, so its duplicates are told
// apart from what the earlier call added.
//
// Rule edits: every write of `rules` that changes the list pushes one "Edit Rules" step on
// the window's undo stack (held weakly), plans a preview and saves the session. Writes that
// carry the same typing key one after another (the keystrokes of one run in one field) make
// one step, so Undo takes back a word rather than a letter; an undo, a redo, a write with
// another key or without one ends the run, and a run that comes back to where it started
// leaves no step. Stacks that come in from a file (the session, "presets.json") get new ids
// for repeated rule ids, in memory: the rule editor knows a rule by its id.
//
// The session is written by a thread of its own (`SessionWriter`): a change never waits for
// the disk, the newest state wins, and `flushSession` (run at quit and by the destructor)
// waits for the last write. A failed write still reaches `message` on the GUI thread.
//
// Renaming: `apply` renames the ready rows in one batch of the executor, inside access to the
// granted folders, and keeps exactly one batch to undo. Start-up first puts back the files of
// any batch that a killed sorvik left half done. A failure of the moves changes nothing in
// the store and shows the failure alert; the history is written afterwards, and its failure
// never hides that the files were renamed.
//
// "history.json" is shared with the command line and watch folders, possibly in other
// processes: every change of it is one locked read-modify-write (`HistoryFile`) of the list
// as stored now, never a write of the list held in memory. A batch's record is put first in
// the file, and undo and revert mark their record undone by id there, so no other writer's
// record is ever lost. After a batch the list in memory is the list that batch saved, other
// writers' records included; its records are read from the file written only when something
// asks for them, so that a history far larger than a batch costs a batch nothing but the copy
// on disk.
//
// Presets: "presets.json" is written before the list is published, and never when it could
// not be read at start-up or was written by a sorvik with another schema version.
class RenamerStore : public QObject {
    Q_OBJECT

public:
    /// One batch of moves that puts files back: (from, to) pairs.
    using UndoBatch = std::vector<std::pair<FileURL, FileURL>>;

    static constexpr std::string_view filterAll = "All";
    static constexpr std::string_view filterChanges = "Changes";
    static constexpr std::string_view filterProblems = "Problems";
    static constexpr std::string_view nothingNewToAddText = "Nothing new to add";
    static constexpr std::string_view addFilesLabel = "Add";
    static constexpr std::string_view addFilesMessage
        = "Choose files, or a folder to add everything inside it.";
    static constexpr std::string_view editRulesActionName = "Edit Rules";
    static constexpr std::chrono::milliseconds toastDuration { 2500 };
    static constexpr std::string_view failureAlertText = "Couldn't rename the files";
    static constexpr std::string_view historyNotSavedText
        = "Files were renamed, but history could not be saved.";
    /// Backups older than this many seconds are pruned after each rename.
    static constexpr double backupLifetime = 604'800;

    /// What a failure alert showed.
    struct FailureAlert {
        std::string messageText;
        std::string informativeText;

        friend bool operator==(const FailureAlert&, const FailureAlert&) = default;
    };

    /// The process-wide store, made on first use from any thread (always on the GUI thread),
    /// with the default preview services; it lives as long as the process.
    static RenamerStore& shared();

    /// The services that stores made without explicit ones use, `shared()` included. Program
    /// start-up installs the real ones before anything touches the shared store. Without
    /// services, previews are planned without metadata and without AI answers.
    static void setDefaultPreviewServices(std::shared_ptr<PreviewServices> services);
    static std::shared_ptr<PreviewServices> defaultPreviewServices();

    /// Puts back the files of interrupted batches, restores the settings, the session and the
    /// presets, then asks for the first preview.
    explicit RenamerStore(std::shared_ptr<PreviewServices> services = defaultPreviewServices(),
        QObject* parent = nullptr);
    /// Cancels the running preview and waits for it.
    ~RenamerStore() override;
    Q_DISABLE_COPY_MOVE(RenamerStore)

    // ---- Published state, in declaration order ----

    /// The listed items; the reference lasts until the next change of the list.
    const std::vector<FileItem>& items() const { return *m_items; }
    /// Replaces the list and plans a preview.
    void setItems(std::vector<FileItem> items);

    /// The window's undo stack for rule edits; held weakly (null once it is destroyed).
    QUndoStack* ruleUndoManager() const { return m_ruleUndoManager.data(); }
    void setRuleUndoManager(QUndoStack* undoStack) { m_ruleUndoManager = undoStack; }

    const std::vector<Rule>& rules() const { return m_rules; }
    /// Replaces the rule stack; see `rulesDidChange`. Consecutive writes with the same
    /// `typingKey` are one undo step.
    void setRules(std::vector<Rule> rules, std::optional<std::string> typingKey = std::nullopt);

    SortKey sortKey() const { return m_sortKey; }
    /// Sets the sort key and saves the session (which plans a preview).
    void setSortKey(SortKey sortKey);
    bool ascending() const { return m_ascending; }
    void setAscending(bool ascending);

    bool includeSubfolders() const { return m_includeSubfolders; }
    void setIncludeSubfolders(bool include);
    bool includeHidden() const { return m_includeHidden; }
    void setIncludeHidden(bool include);
    bool renameFolders() const { return m_renameFolders; }
    void setRenameFolders(bool rename);
    bool pairPhotos() const { return m_pairPhotos; }
    /// Sets companion pairing and plans a preview.
    void setPairPhotos(bool pair);

    const std::optional<std::string>& toast() const { return m_toast; }

    const std::vector<UndoBatch>& undoStack() const { return m_undoStack; }

    FolderAccessManager& folderAccess() { return *m_folderAccess; }
    const FolderAccessManager& folderAccess() const { return *m_folderAccess; }

    bool showingHistory() const { return m_showingHistory; }
    void setShowingHistory(bool showing);

    /// The rename history, newest first: the list as the last batch saved it (or as
    /// `loadHistory` last read it), its records read from that file when first asked for.
    const std::vector<HistoryRecord>& history() const;
    /// Publishes a history list; changes of the file go through `HistoryFile`.
    void setHistory(std::vector<HistoryRecord> history);
    /// Publishes the list a batch saved as `history`.
    void setHistory(HistoryFile::SavedList saved);
    /// Publishes `record` as the newest batch, first in `history`, which keeps at most 500:
    /// for a batch whose record could not be saved.
    void addToHistory(HistoryRecord record);

    bool backupEnabled() const { return m_backupEnabled; }
    /// Sets the value and stores it under "backupEnabled"; a failure to store it goes to
    /// `message`.
    void setBackupEnabled(bool enabled);
    /// Why the settings could not be read at start-up, while the user has not set
    /// `backupEnabled` since: until then nobody knows whether a batch must be backed up.
    const std::optional<std::string>& settingsError() const { return m_settingsError; }
    /// The backup folder of the batch `batchID` when backups are on (named by the batch in
    /// `backupsFolder`), else nothing. Fails with the settings file's error when the settings
    /// could not be read: a batch must never run without the backup the user asked for.
    std::optional<FileURL> backupDirectoryFor(const Uuid& batchID) const;

    std::int64_t nextOrder() const { return m_nextOrder; }

    const std::vector<PreviewRow>& rawPreviews() const { return *m_rawPreviews; }
    bool isPlanning() const { return m_isPlanning; }

    bool onlinePlaces() const { return m_onlinePlaces; }
    /// Sets the value, stores it under "onlinePlaces" and plans a preview.
    void setOnlinePlaces(bool online);

    const std::optional<std::string>& aiProgress() const { return m_aiProgress; }
    const MetadataMap& metadataValues() const { return m_metadataValues; }

    const std::string& filter() const { return m_filter; }
    void setFilter(std::string filter);

    const std::vector<Preset>& presets() const { return m_presets; }

    bool showingSavePreset() const { return m_showingSavePreset; }
    void setShowingSavePreset(bool showing);
    bool showingPalette() const { return m_showingPalette; }
    void setShowingPalette(bool showing);

    const std::optional<std::string>& message() const { return m_message; }
    void setMessage(std::optional<std::string> message);

    /// Whether a preview task was started and not yet replaced.
    bool hasPreviewTask() const { return m_previewTask.has_value(); }
    std::int64_t revision() const { return m_revision; }
    bool loading() const { return m_loading; }

    // ---- Start-up and persistence ----

    /// Plans a preview and has "last-session.json" written; a failure goes to `message`.
    void saveSession();
    /// Waits until the last session handed to the writer is on the disk; a failure goes to
    /// `message` before it returns. Runs by itself when the application is about to quit.
    void flushSession();
    /// Shows `text` as the toast; it clears itself 2.5 s later unless replaced by then.
    void showToast(std::string text);
    /// Writes `presets` to "presets.json". Fails with `Error` when that file could not be
    /// read at start-up or holds another schema version (so that it is not written over), or
    /// when the write fails.
    void writePresets(const std::vector<Preset>& presets);

    /// The dialogs the store shows; not owned, may be null (then nothing is shown or asked).
    void setDialogs(StoreDialogs* dialogs) { m_dialogs = dialogs; }
    StoreDialogs* dialogs() const { return m_dialogs; }
    /// The failure alert shown last, also when no dialogs were set.
    const std::optional<FailureAlert>& lastFailureAlert() const { return m_lastFailureAlert; }

    // ---- Preview planning ----

    /// Asks for a new preview of the current items, rules and options; does nothing while
    /// loading.
    void refreshPreview();

    // ---- Files ----

    /// Adds files and folders: a folder is granted and its regular files are listed (or, with
    /// `renameFolders`, the folder itself); paths already listed and ".DS_Store" files are
    /// passed over. Shows "Nothing new to add" when a non-empty call adds nothing. Returns at
    /// once: the files are read on the store's thread, with the scan options of the moment
    /// of the call, after every earlier call has been listed.
    void addFiles(const std::vector<FileURL>& urls);
    /// Whether a call of `addFiles` is still being read or waits for its turn.
    bool isAdding() const { return m_isAdding; }
    /// Asks for files and folders to add (accept label "Add") and adds them; cancelling
    /// does nothing.
    void chooseFiles();
    /// The `included` flag of the item with `id`; false when there is none.
    bool isIncluded(const Uuid& id) const;
    /// Sets `included` of the first item with `id`; an unknown id changes nothing.
    void setIncluded(const Uuid& id, bool included);
    /// Sets `included` of every item whose id is in `ids`, as one change; when no item has
    /// one of them nothing changes.
    void setIncluded(const std::unordered_set<Uuid>& ids, bool included);
    void removeItems(const std::unordered_set<Uuid>& ids);
    /// Includes or excludes every item, as one change.
    void setAllIncluded(bool included);
    /// Points items at the new places of moved files, as one change: for each (from, to)
    /// pair the first item whose standardized URL equals `from` standardized gets `to`.
    /// Items are matched by the places they had before the call, and each moves at most once,
    /// so swapped and rotated names land on the right items. Pairs whose file is not listed
    /// are passed over.
    void relocateItems(const std::vector<std::pair<FileURL, FileURL>>& moves);

    /// The published rows, with ready rows outside every granted folder as `needsAccess`.
    const std::vector<PreviewRow>& previews() const;
    /// `previews` as a shared list that never changes: a new one comes with every change.
    std::shared_ptr<const std::vector<PreviewRow>> previewsSnapshot() const;
    /// `previews` narrowed by `filter`.
    std::vector<PreviewRow> visiblePreviews() const;
    /// Whether `filter` shows the row: "All" every row, "Changes" those whose new name differs
    /// from the file's name, any other filter conflicts, invalid names and rows needing access.
    static bool isShown(const PreviewRow& row, std::string_view filter);
    /// The folder of the first included item that lies outside every granted folder.
    std::optional<FileURL> folderNeedingAccess() const;

    /// Runs `body` with access held on the granted folders that hold `folders`. Fails with
    /// `FileError` (`fileWriteNoPermission`) before anything starts when one is not granted.
    template <class Body>
    decltype(auto) withFolderAccess(const std::vector<FileURL>& folders, Body&& body)
    {
        return m_folderAccess->withAccess(folders, std::forward<Body>(body));
    }

    // ---- Apply, undo and history ----

    /// The folder that holds one backup folder per backed-up batch ("Backups" in the
    /// application folder).
    static FileURL backupsFolder();

    /// Renames the files of the ready rows (the Rename button). Does nothing while planning;
    /// asks for access and stops when an included file lies outside every granted folder.
    void apply();
    /// Runs one batch of (from, to) moves through the executor inside access to the folders
    /// of every source and destination, backed up into `backupDirectory` when given. Returns
    /// the folders the batch created; fails with `FileError` when a folder is not granted
    /// (nothing moved) or with the executor's error.
    std::vector<FileURL> performMoves(
        const UndoBatch& moves, const std::optional<FileURL>& backupDirectory);
    /// Shows the alert "Couldn't rename the files" with `description`.
    void presentFailureAlert(const std::string& description);
    /// Puts back the batch on the undo stack (Undo Rename), after checking its files against
    /// its history record when there is one.
    void undoLastApply();
    /// Puts back the history record's batch with `id` when it is not undone and none of its
    /// files changed since; empties the undo stack.
    void revert(const Uuid& id);
    /// Reads "history.json" into `history` and opens the history sheet.
    void loadHistory();

    // ---- Presets ----

    /// Saves the current rules as a new preset named `name` without surrounding white space;
    /// a blank name does nothing. Closes the save-preset sheet on success.
    void savePreset(std::string_view name, std::string symbol, std::string color);
    /// Removes every preset with `id` (an unknown id still rewrites "presets.json").
    void deletePreset(const Uuid& id);
    /// Asks where to save `preset` and writes its document there.
    void exportPreset(const Preset& preset);
    /// Asks for one preset document or JSON file and imports it.
    void importPresetWithPanel();
    /// Adds the preset in the document at `url` to `presets` and "presets.json".
    void importPreset(const FileURL& url);
    /// Imports the documents one by one, in order; every failure is kept in `message`, one
    /// per line, after a message that was showing already.
    void importPresets(const std::vector<FileURL>& urls);

    // ---- Rule editing ----

    /// After every write of `rules`: one "Edit Rules" undo step when the list changed (not
    /// while loading), merged into the last one while `typingKey` continues its run; a
    /// preview; and the session saved (not while loading).
    void rulesDidChange(const std::vector<Rule>& previous,
        const std::optional<std::string>& typingKey = std::nullopt);
    /// Inserts a copy of the rule with `id`, with a new id, right after it.
    void duplicateRule(const Uuid& id);
    /// Exchanges the rule with `id` and the one `offset` places away, when there is one.
    void moveRule(const Uuid& id, std::int64_t offset);

signals:
    void itemsChanged();
    void rulesChanged();
    void sortKeyChanged();
    void ascendingChanged();
    void includeSubfoldersChanged();
    void includeHiddenChanged();
    void renameFoldersChanged();
    void pairPhotosChanged();
    void toastChanged();
    void undoStackChanged();
    void showingHistoryChanged();
    void historyChanged();
    void backupEnabledChanged();
    void rawPreviewsChanged();
    /// `previews` changed: new rows, or the granted folders changed.
    void previewsChanged();
    void isPlanningChanged();
    void onlinePlacesChanged();
    void aiProgressChanged();
    void metadataValuesChanged();
    void filterChanged();
    void presetsChanged();
    void showingSavePresetChanged();
    void showingPaletteChanged();
    void messageChanged();
    void revisionChanged();
    void isAddingChanged();
    /// Files were moved by a batch of the store (Rename, Undo Rename, revert): where each of
    /// them is now. Watch folders take these as known, so sorvik's own renames are never
    /// renamed again.
    void filesMoved(const std::vector<sorvik::FileURL>& destinations);

private:
    friend class EditRulesCommand;

    void restoreSettings(std::vector<std::string>& failures);
    void restore(std::vector<std::string>& failures);
    void recoverBatches(std::vector<std::string>& failures);
    void setUndoStack(std::vector<UndoBatch> undoStack);
    /// Runs `moves` through the executor inside access to their folders, within the grants.
    /// With `recordId`, the batch's journal stays (complete) in the result until its record is
    /// written; without, it is gone when this returns.
    AppliedBatch executeMoves(const std::vector<RenameMove>& moves,
        const std::optional<FileURL>& backupDirectory, const std::optional<Uuid>& recordId);
    /// Records `record` first in "history.json" and publishes it. When the file could be read
    /// but not written, it is published all the same (the files were renamed); when the file
    /// could not be read, it is not. The failure is passed on.
    void recordBatch(HistoryRecord record);
    /// The first record of `history`, newest first, that `wanted` accepts, looking only at
    /// records with `id` when given, else only at records not undone.
    std::optional<HistoryRecord> findRecord(
        const std::function<bool(const HistoryRecord&)>& wanted, const Uuid* id) const;
    /// Marks the record with `id` undone, in memory and in "history.json"; the failure to
    /// write it is passed on.
    void markUndone(const Uuid& id);
    /// Writes `presets` and publishes them; a failure goes to `message`. Whether it worked.
    bool replacePresets(std::vector<Preset> presets);
    /// Writes `presets` and publishes them; the failure's text when it cannot.
    std::optional<std::string> writeAndPublishPresets(std::vector<Preset> presets);
    /// Imports one preset document; the failure's text when it cannot.
    std::optional<std::string> addPresetFrom(const FileURL& url);
    void writeSession();
    /// A write of `rules` made by undoing or redoing a rule edit.
    void setRulesFromUndo(std::vector<Rule> rules);
    void publishItems(std::shared_ptr<const std::vector<FileItem>> items);
    void publish(std::int64_t revision, PreviewResult&& result);
    void setToast(std::optional<std::string> toast);
    void setIsPlanning(bool planning);
    void setAiProgress(std::optional<std::string> progress);
    void grantsChanged();
    /// Whether a granted folder covers the folder at `path`, remembered per folder until the
    /// grants change or new rows come.
    bool coversFolder(std::string_view path) const;

    std::shared_ptr<PreviewServices> m_services;

    // Declaration order of the published state.
    std::shared_ptr<const std::vector<FileItem>> m_items;
    QPointer<QUndoStack> m_ruleUndoManager;
    std::vector<Rule> m_rules;
    SortKey m_sortKey = SortKey::added;
    bool m_ascending = true;
    bool m_includeSubfolders = false;
    bool m_includeHidden = false;
    bool m_renameFolders = false;
    bool m_pairPhotos = false;
    std::optional<std::string> m_toast;
    std::vector<UndoBatch> m_undoStack;
    FolderAccessManager* m_folderAccess = nullptr;
    bool m_showingHistory = false;
    mutable std::vector<HistoryRecord> m_history;
    /// The list a batch saved, until its records are first asked for.
    mutable std::optional<HistoryFile::SavedList> m_savedHistory;
    bool m_backupEnabled = false;
    std::int64_t m_nextOrder = 0;
    std::shared_ptr<const std::vector<PreviewRow>> m_rawPreviews;
    bool m_isPlanning = false;
    bool m_onlinePlaces = true;
    std::optional<std::string> m_aiProgress;
    MetadataMap m_metadataValues;
    std::string m_filter { filterAll };
    std::vector<Preset> m_presets;
    bool m_showingSavePreset = false;
    bool m_showingPalette = false;
    std::optional<std::string> m_message;
    std::optional<std::stop_source> m_previewTask;
    std::int64_t m_revision = 0;
    bool m_loading = true;

    /// Why "presets.json" could not be read at start-up, or was of another schema version,
    /// and the way out of it; then it is never written.
    std::optional<std::string> m_presetsReadError;
    std::optional<std::string> m_settingsError;
    StoreDialogs* m_dialogs = nullptr;
    std::optional<FailureAlert> m_lastFailureAlert;
    bool m_applyingRuleUndo = false;
    // The typing run that the top undo step may still take in: its key and its number.
    std::optional<std::string> m_typingKey;
    std::uint64_t m_typingRun = 0;
    std::unique_ptr<SessionWriter> m_sessionWriter;

    mutable std::shared_ptr<const std::vector<PreviewRow>> m_previews;
    mutable std::map<std::string, bool, std::less<>> m_coveredFolders;
    mutable std::optional<FolderCoverage> m_coverage;

    QThreadPool m_planningThreads;

    // Adding files (renamer_store_adding.cpp).
    void startNextAdd();
    void finishAdd(const FileAdding::Request& request, FileAdding::Found found);
    void setIsAdding(bool adding);
    std::deque<std::shared_ptr<FileAdding::Request>> m_addQueue;
    std::optional<std::stop_source> m_addTask;
    bool m_isAdding = false;
    QThreadPool m_addingThreads;
};

} // namespace sorvik
