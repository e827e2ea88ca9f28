#include "app/store/renamer_store.h"

#include "app/store/batch_recovery.h"
#include "app/store/file_scan.h"
#include "app/store/history_file.h"
#include "app/store/item_order.h"
#include "app/store/json_files.h"
#include "app/store/preset_document.h"
#include "app/store/preview_planner.h"
#include "app/store/saved_session.h"
#include "app/store/stored_file.h"
#include "app/store/user_defaults.h"
#include "app/store/watch_folder_store.h"
#include "engine/apply/local_file_system.h"
#include "engine/apply/rename_executor.h"
#include "engine/model/text.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <QUndoCommand>

#include <algorithm>
#include <exception>
#include <mutex>
#include <unordered_map>

namespace sorvik {

// One rule edit on the window's undo stack. The edit is already in the store when the step is
// pushed, so the first redo (which QUndoStack runs on push) does nothing.
class EditRulesCommand : public QUndoCommand {
public:
    EditRulesCommand(RenamerStore* store, std::vector<Rule> before, std::vector<Rule> after)
        : m_store(store)
        , m_before(std::move(before))
        , m_after(std::move(after))
    {
        setText(QString::fromUtf8(RenamerStore::editRulesActionName.data(),
            qsizetype(RenamerStore::editRulesActionName.size())));
    }

    void undo() override
    {
        if (m_store)
            m_store->setRulesFromUndo(m_before);
    }

    void redo() override
    {
        if (m_pushed) {
            m_pushed = false;
            return;
        }
        if (m_store)
            m_store->setRulesFromUndo(m_after);
    }

private:
    QPointer<RenamerStore> m_store;
    std::vector<Rule> m_before;
    std::vector<Rule> m_after;
    bool m_pushed = true;
};

namespace {

    std::mutex defaultServicesMutex;
    std::shared_ptr<PreviewServices>& defaultServicesSlot()
    {
        static std::shared_ptr<PreviewServices> services;
        return services;
    }

    /// The folder part of a path: everything before the last "/" ("/" for an item at the root).
    std::string_view parentPath(std::string_view path)
    {
        auto slash = path.rfind('/');
        if (slash == std::string_view::npos)
            return {};
        if (slash == 0)
            return "/";
        return path.substr(0, slash);
    }

    /// The parent folder of an item, on the path as given (not standardized), as the covering
    /// test receives it.
    std::string_view itemFolder(const FileItem& item)
    {
        std::string_view path = item.url.path;
        return parentPath(path);
    }

    /// The path by which listed files are told apart.
    std::string standardPath(const FileURL& url)
    {
        return url.isStandardized() ? url.path : url.standardized().path;
    }

    bool isDSStore(std::string_view path)
    {
        constexpr std::string_view name = ".DS_Store";
        return path.ends_with(name)
            && (path.size() == name.size() || path[path.size() - name.size() - 1] == '/');
    }

    bool isProblemOrAccess(const RenameStatus& status)
    {
        return status.isProblem() || status.kind == RenameStatus::Kind::needsAccess;
    }

    constexpr std::string_view presetsUnreadablePrefix
        = "Your presets could not be read when sorvik started, so they were left unchanged. ";

    /// The parent folders of every move's source and destination, each once, in order of
    /// first appearance.
    std::vector<FileURL> foldersOf(const std::vector<RenameMove>& moves)
    {
        std::vector<FileURL> folders;
        std::unordered_set<std::string> seen;
        auto add = [&](const FileURL& url) {
            auto folder = url.deletingLastPathComponent();
            if (seen.insert(folder.path).second)
                folders.push_back(std::move(folder));
        };
        for (const auto& move : moves) {
            add(move.from);
            add(move.to);
        }
        return folders;
    }

    void removeCreatedDirectories(const std::optional<std::vector<FileURL>>& folders)
    {
        if (!folders)
            return;
        LocalFileSystem fileSystem;
        RenameExecutor(fileSystem).removeCreatedDirectories(*folders);
    }

    /// Whether `record` is the batch that `entry` puts back: not undone, and its moves'
    /// destinations are the entry's sources, in order.
    bool matches(const HistoryRecord& record, const RenamerStore::UndoBatch& entry)
    {
        if (record.undone || record.moves.size() != entry.size())
            return false;
        for (std::size_t index = 0; index < entry.size(); ++index) {
            if (!(record.moves[index].to == entry[index].first))
                return false;
        }
        return true;
    }

} // namespace

// ---- Construction ----

RenamerStore& RenamerStore::shared()
{
    static RenamerStore* store = [] {
        auto* application = QCoreApplication::instance();
        if (!application || QThread::currentThread() == application->thread())
            return new RenamerStore();
        // A QObject belongs to the thread that makes it: the store must be the GUI thread's.
        RenamerStore* made = nullptr;
        QMetaObject::invokeMethod(
            application, [&made] { made = new RenamerStore(); }, Qt::BlockingQueuedConnection);
        return made;
    }();
    return *store;
}

void RenamerStore::setDefaultPreviewServices(std::shared_ptr<PreviewServices> services)
{
    std::lock_guard lock(defaultServicesMutex);
    defaultServicesSlot() = std::move(services);
}

std::shared_ptr<PreviewServices> RenamerStore::defaultPreviewServices()
{
    std::lock_guard lock(defaultServicesMutex);
    return defaultServicesSlot();
}

RenamerStore::RenamerStore(std::shared_ptr<PreviewServices> services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_items(std::make_shared<const std::vector<FileItem>>())
    , m_rawPreviews(std::make_shared<const std::vector<PreviewRow>>())
{
    // Tasks that were cancelled may still be running when a new one starts; a few threads
    // keep the newest from queueing behind them.
    m_planningThreads.setMaxThreadCount(std::max(2, QThread::idealThreadCount() / 2));

    m_loading = true;
    m_folderAccess = new FolderAccessManager(this);
    connect(
        m_folderAccess, &FolderAccessManager::foldersChanged, this, &RenamerStore::grantsChanged);
    m_backupEnabled = UserDefaults::boolValue(UserDefaults::backupEnabledKey).value_or(false);
    m_onlinePlaces = UserDefaults::boolValue(UserDefaults::onlinePlacesKey).value_or(true);
    std::vector<std::string> failures;
    recoverBatches(failures);
    restore(failures);
    if (!failures.empty()) {
        std::string text;
        for (const auto& failure : failures) {
            if (!text.empty())
                text += '\n';
            text += failure;
        }
        setMessage(std::move(text));
    }
    m_loading = false;
    refreshPreview();
}

RenamerStore::~RenamerStore()
{
    if (m_previewTask)
        m_previewTask->request_stop();
    m_planningThreads.waitForDone();
}

void RenamerStore::recoverBatches(std::vector<std::string>& failures)
{
    // Before anything can start a batch: a file left at a temporary name by a killed sorvik
    // goes home first.
    try {
        auto remaining = recoverInterruptedBatches();
        if (remaining.empty())
            return;
        std::string text(interruptedBatchText);
        for (std::size_t index = 0; index < remaining.size(); ++index) {
            if (index > 0)
                text += '\n';
            text += remaining[index].path;
        }
        failures.push_back(std::move(text));
    } catch (const std::exception& error) {
        failures.emplace_back(error.what());
    }
}

void RenamerStore::restore(std::vector<std::string>& failures)
{
    // The two files are independent: a broken session must not cost the user the presets.
    try {
        auto session = JSONFiles::load<SavedSession>(SavedSession::fileName);
        if (session && session->schemaVersion == 1) {
            setRules(std::move(session->rules));
            setSortKey(session->sort);
            setAscending(session->ascending);
        }
    } catch (const std::exception& error) {
        failures.emplace_back(error.what());
    }
    try {
        auto saved = JSONFiles::load<SavedPresets>(SavedPresets::fileName);
        if (saved && saved->schemaVersion == 1) {
            m_presets = std::move(saved->presets);
            emit presetsChanged();
        } else if (saved) {
            // Written by a sorvik that stores presets differently: skipped, and kept for it.
            m_presetsReadError = "\u201C" + std::string(SavedPresets::fileName)
                + "\u201D has schema version " + std::to_string(saved->schemaVersion)
                + ", which this version of sorvik cannot read.";
        }
    } catch (const std::exception& error) {
        m_presetsReadError = error.what();
        failures.emplace_back(error.what());
    }
}

WatchFolderStore& RenamerStore::watchFolders()
{
    if (!m_watchFolders)
        m_watchFolders = new WatchFolderStore(this);
    return *m_watchFolders;
}

// ---- Setters ----

void RenamerStore::setItems(std::vector<FileItem> items)
{
    publishItems(std::make_shared<const std::vector<FileItem>>(std::move(items)));
    refreshPreview();
}

void RenamerStore::publishItems(std::shared_ptr<const std::vector<FileItem>> items)
{
    m_items = std::move(items);
    emit itemsChanged();
}

void RenamerStore::setRules(std::vector<Rule> rules)
{
    auto previous = std::exchange(m_rules, std::move(rules));
    emit rulesChanged();
    rulesDidChange(previous);
}

void RenamerStore::setRulesFromUndo(std::vector<Rule> rules)
{
    m_applyingRuleUndo = true;
    setRules(std::move(rules));
    m_applyingRuleUndo = false;
}

void RenamerStore::setSortKey(SortKey sortKey)
{
    if (sortKey != m_sortKey) {
        m_sortKey = sortKey;
        emit sortKeyChanged();
    }
    saveSession();
}

void RenamerStore::setAscending(bool ascending)
{
    if (ascending != m_ascending) {
        m_ascending = ascending;
        emit ascendingChanged();
    }
    saveSession();
}

void RenamerStore::setIncludeSubfolders(bool include)
{
    if (include == m_includeSubfolders)
        return;
    m_includeSubfolders = include;
    emit includeSubfoldersChanged();
}

void RenamerStore::setIncludeHidden(bool include)
{
    if (include == m_includeHidden)
        return;
    m_includeHidden = include;
    emit includeHiddenChanged();
}

void RenamerStore::setRenameFolders(bool rename)
{
    if (rename == m_renameFolders)
        return;
    m_renameFolders = rename;
    emit renameFoldersChanged();
}

void RenamerStore::setPairPhotos(bool pair)
{
    if (pair != m_pairPhotos) {
        m_pairPhotos = pair;
        emit pairPhotosChanged();
    }
    refreshPreview();
}

void RenamerStore::setShowingHistory(bool showing)
{
    if (showing == m_showingHistory)
        return;
    m_showingHistory = showing;
    emit showingHistoryChanged();
}

void RenamerStore::setHistory(std::vector<HistoryRecord> history)
{
    m_history = std::move(history);
    emit historyChanged();
}

void RenamerStore::setBackupEnabled(bool enabled)
{
    if (enabled != m_backupEnabled) {
        m_backupEnabled = enabled;
        emit backupEnabledChanged();
    }
    UserDefaults::setBool(UserDefaults::backupEnabledKey, enabled);
}

void RenamerStore::setOnlinePlaces(bool online)
{
    if (online != m_onlinePlaces) {
        m_onlinePlaces = online;
        emit onlinePlacesChanged();
    }
    UserDefaults::setBool(UserDefaults::onlinePlacesKey, online);
    refreshPreview();
}

void RenamerStore::setFilter(std::string filter)
{
    if (filter == m_filter)
        return;
    m_filter = std::move(filter);
    emit filterChanged();
}

void RenamerStore::setShowingSavePreset(bool showing)
{
    if (showing == m_showingSavePreset)
        return;
    m_showingSavePreset = showing;
    emit showingSavePresetChanged();
}

void RenamerStore::setShowingPalette(bool showing)
{
    if (showing == m_showingPalette)
        return;
    m_showingPalette = showing;
    emit showingPaletteChanged();
}

void RenamerStore::setMessage(std::optional<std::string> message)
{
    if (message == m_message)
        return;
    m_message = std::move(message);
    emit messageChanged();
}

void RenamerStore::setToast(std::optional<std::string> toast)
{
    if (toast == m_toast)
        return;
    m_toast = std::move(toast);
    emit toastChanged();
}

void RenamerStore::setIsPlanning(bool planning)
{
    if (planning == m_isPlanning)
        return;
    m_isPlanning = planning;
    emit isPlanningChanged();
}

void RenamerStore::setAiProgress(std::optional<std::string> progress)
{
    if (progress == m_aiProgress)
        return;
    m_aiProgress = std::move(progress);
    emit aiProgressChanged();
}

// ---- Persistence ----

void RenamerStore::saveSession()
{
    refreshPreview();
    if (m_loading)
        return;
    writeSession();
}

void RenamerStore::writeSession()
{
    try {
        JSONFiles::save(
            SavedSession { 1, m_rules, m_sortKey, m_ascending }, SavedSession::fileName);
    } catch (const std::exception& error) {
        setMessage(error.what());
    }
}

void RenamerStore::writePresets(const std::vector<Preset>& presets)
{
    if (m_presetsReadError)
        throw Error(std::string(presetsUnreadablePrefix) + *m_presetsReadError);
    JSONFiles::save(SavedPresets { 1, presets }, SavedPresets::fileName);
}

void RenamerStore::showToast(std::string text)
{
    setToast(text);
    QTimer::singleShot(toastDuration, Qt::PreciseTimer, this, [this, shown = std::move(text)] {
        if (m_toast == shown)
            setToast(std::nullopt);
    });
}

// ---- Preview planning ----

void RenamerStore::refreshPreview()
{
    if (m_loading)
        return;
    ++m_revision;
    emit revisionChanged();
    auto request = PreviewPlanner::request(
        m_revision, m_items, m_sortKey, m_ascending, m_pairPhotos, m_rules, m_onlinePlaces);
    if (m_previewTask)
        m_previewTask->request_stop();
    setIsPlanning(true);

    std::stop_source task;
    m_previewTask = task;
    m_planningThreads.start(
        [this, request = std::move(request), services = m_services, stop = task.get_token()] {
            auto progress = [this, &stop](std::string text) {
                QMetaObject::invokeMethod(
                    this,
                    [this, stop, text = std::move(text)] {
                        // A newer request has begun: its own progress, or its rows, win.
                        if (!stop.stop_requested())
                            setAiProgress(text);
                    },
                    Qt::QueuedConnection);
            };
            auto result = PreviewPlanner::plan(request, services.get(), stop, progress);
            if (!result)
                return;
            auto planned = std::make_shared<PreviewResult>(std::move(*result));
            QMetaObject::invokeMethod(
                this,
                [this, stop, revision = request.revision, planned] {
                    if (stop.stop_requested())
                        return;
                    publish(revision, std::move(*planned));
                },
                Qt::QueuedConnection);
        });
}

void RenamerStore::publish(std::int64_t revision, PreviewResult&& result)
{
    if (revision != m_revision)
        return;
    m_metadataValues = std::move(result.metadata);
    emit metadataValuesChanged();
    m_rawPreviews = std::make_shared<const std::vector<PreviewRow>>(std::move(result.rows));
    m_previews.reset();
    m_coveredFolders.clear();
    emit rawPreviewsChanged();
    emit previewsChanged();
    setIsPlanning(false);
    setAiProgress(std::nullopt);
}

// ---- Files ----

void RenamerStore::addFiles(const std::vector<FileURL>& urls)
{
    const auto& current = *m_items;
    std::unordered_set<std::string> known;
    known.reserve(current.size());
    for (const auto& item : current)
        known.insert(standardPath(item.url));

    // The URLs to add, in order; their files are read once the whole call is known.
    std::vector<FileURL> accepted;
    auto accept = [&](FileURL url) {
        if (isDSStore(url.path) || !known.insert(standardPath(url)).second)
            return;
        accepted.push_back(std::move(url));
    };

    const FileScan::Options options { m_includeSubfolders, m_includeHidden };
    for (const auto& url : urls) {
        // Anything that cannot be read as a plain folder is one item: a file, a link, a path
        // that is gone.
        if (!FileScan::isPlainFolder(url) || m_renameFolders) {
            accept(url);
            continue;
        }
        try {
            m_folderAccess->grant(url);
        } catch (const std::exception& error) {
            m_folderAccess->setErrorMessage(error.what());
        }
        auto found = ItemOrder::sortURLsByPath(FileScan::regularFiles(url, options));
        known.reserve(known.size() + found.size());
        accepted.reserve(accepted.size() + found.size());
        for (auto& file : found)
            accept(std::move(file));
    }
    auto added = FileScan::makeItems(accepted, m_nextOrder);
    m_nextOrder += std::int64_t(added.size());

    bool nothingAdded = added.empty();
    auto items = std::make_shared<std::vector<FileItem>>();
    items->reserve(current.size() + added.size());
    items->insert(items->end(), current.begin(), current.end());
    items->insert(
        items->end(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
    publishItems(std::move(items));
    refreshPreview();
    if (nothingAdded && !urls.empty())
        showToast(std::string(nothingNewToAddText));
}

void RenamerStore::chooseFiles()
{
    if (!m_dialogs)
        return;
    auto chosen
        = m_dialogs->chooseFilesToAdd(std::string(addFilesLabel), std::string(addFilesMessage));
    if (chosen)
        addFiles(*chosen);
}

bool RenamerStore::isIncluded(const Uuid& id) const
{
    for (const auto& item : *m_items) {
        if (item.id == id)
            return item.included;
    }
    return false;
}

void RenamerStore::setIncluded(const Uuid& id, bool included)
{
    const auto& current = *m_items;
    auto found = std::find_if(
        current.begin(), current.end(), [&](const FileItem& item) { return item.id == id; });
    if (found == current.end())
        return;
    auto items = std::make_shared<std::vector<FileItem>>(current);
    (*items)[std::size_t(found - current.begin())].included = included;
    publishItems(std::move(items));
    refreshPreview();
}

void RenamerStore::removeItems(const std::unordered_set<Uuid>& ids)
{
    auto items = std::make_shared<std::vector<FileItem>>();
    items->reserve(m_items->size());
    for (const auto& item : *m_items) {
        if (!ids.contains(item.id))
            items->push_back(item);
    }
    publishItems(std::move(items));
    refreshPreview();
}

void RenamerStore::setAllIncluded(bool included)
{
    // One change for the whole list: a publication and a preview per item would plan the
    // list as many times as it has items.
    auto items = std::make_shared<std::vector<FileItem>>(*m_items);
    for (auto& item : *items)
        item.included = included;
    publishItems(std::move(items));
    refreshPreview();
}

void RenamerStore::relocateItems(const std::vector<std::pair<FileURL, FileURL>>& moves)
{
    auto items = std::make_shared<std::vector<FileItem>>(*m_items);
    std::unordered_map<std::string, std::vector<std::size_t>> positions;
    for (std::size_t index = 0; index < items->size(); ++index)
        positions[(*items)[index].url.standardized().path].push_back(index);
    bool changed = false;
    for (const auto& [from, to] : moves) {
        auto found = positions.find(from.standardized().path);
        if (found == positions.end() || found->second.empty())
            continue;
        // The first listed item at that path moves, once: the pairs of a batch are matched
        // against the places the items had before it, so that when names were swapped or
        // rotated, the item moved by one pair is not taken again by a later pair whose source
        // is its new place.
        auto index = found->second.front();
        found->second.erase(found->second.begin());
        (*items)[index].url = to;
        changed = true;
    }
    if (!changed)
        return;
    publishItems(std::move(items));
    refreshPreview();
}

bool RenamerStore::coversFolder(std::string_view path) const
{
    auto found = m_coveredFolders.find(path);
    if (found != m_coveredFolders.end())
        return found->second;
    bool covered = m_folderAccess->covers(FileURL(path, true));
    m_coveredFolders.emplace(std::string(path), covered);
    return covered;
}

void RenamerStore::grantsChanged()
{
    m_coveredFolders.clear();
    m_previews.reset();
    emit previewsChanged();
}

const std::vector<PreviewRow>& RenamerStore::previews() const
{
    if (m_previews)
        return *m_previews;
    const auto& rows = *m_rawPreviews;
    // Rows come folder by folder, so the last answer is usually the next one too.
    std::string_view lastFolder;
    bool lastCovered = true;
    auto needsAccess = [&](const PreviewRow& row) {
        if (row.status.kind != RenameStatus::Kind::ready)
            return false;
        auto folder = itemFolder(row.item);
        if (lastFolder.data() == nullptr || folder != lastFolder) {
            lastFolder = folder;
            lastCovered = coversFolder(folder);
        }
        return !lastCovered;
    };
    auto first = std::find_if(rows.begin(), rows.end(), needsAccess);
    if (first == rows.end()) {
        m_previews = m_rawPreviews;
        return *m_previews;
    }
    auto marked = std::make_shared<std::vector<PreviewRow>>(rows);
    for (auto index = std::size_t(first - rows.begin()); index < rows.size(); ++index) {
        if (needsAccess(rows[index]))
            (*marked)[index].status = RenameStatus::needsAccess();
    }
    m_previews = std::move(marked);
    return *m_previews;
}

std::vector<PreviewRow> RenamerStore::visiblePreviews() const
{
    const auto& rows = previews();
    if (m_filter == filterAll)
        return rows;
    std::vector<PreviewRow> shown;
    bool changes = m_filter == filterChanges;
    for (const auto& row : rows) {
        bool keep = changes ? row.newName != row.item.url.lastPathComponent()
                            : isProblemOrAccess(row.status);
        if (keep)
            shown.push_back(row);
    }
    return shown;
}

std::optional<FileURL> RenamerStore::folderNeedingAccess() const
{
    for (const auto& item : *m_items) {
        if (!item.included)
            continue;
        auto folder = itemFolder(item);
        if (!coversFolder(folder))
            return FileURL(folder, true);
    }
    return std::nullopt;
}

// ---- Apply, undo and history ----

FileURL RenamerStore::backupsFolder()
{
    return FileURL((JSONFiles::applicationFolder() / "Backups").string(), true);
}

void RenamerStore::setUndoStack(std::vector<UndoBatch> undoStack)
{
    m_undoStack = std::move(undoStack);
    emit undoStackChanged();
}

void RenamerStore::presentFailureAlert(const std::string& description)
{
    m_lastFailureAlert = FailureAlert { std::string(failureAlertText), description };
    if (m_dialogs)
        m_dialogs->presentWarning(std::string(failureAlertText), description);
}

std::vector<FileURL> RenamerStore::executeMoves(
    const std::vector<RenameMove>& moves, const std::optional<FileURL>& backupDirectory)
{
    return withFolderAccess(foldersOf(moves), [&] {
        LocalFileSystem fileSystem;
        RenameExecutor executor(fileSystem, batchJournalFolder());
        return executor.execute(moves, backupDirectory);
    });
}

std::vector<FileURL> RenamerStore::performMoves(
    const UndoBatch& moves, const std::optional<FileURL>& backupDirectory)
{
    std::vector<RenameMove> batch;
    batch.reserve(moves.size());
    for (const auto& [from, to] : moves)
        batch.push_back(RenameMove { from, to });
    return executeMoves(batch, backupDirectory);
}

void RenamerStore::changeHistory(
    const std::function<void(std::vector<HistoryRecord>&)>& change, bool inMemoryWhenUnreadable)
{
    std::optional<std::vector<HistoryRecord>> changed;
    std::vector<HistoryRecord> written;
    try {
        written = HistoryFile::update([&](std::vector<HistoryRecord>& records) {
            change(records);
            changed = records;
        });
    } catch (...) {
        if (!changed && inMemoryWhenUnreadable) {
            changed = m_history;
            change(*changed);
        }
        if (changed) {
            // What the window shows follows what happened to the files, written or not.
            if (changed->size() > HistoryFile::recordLimit)
                changed->resize(HistoryFile::recordLimit);
            setHistory(std::move(*changed));
        }
        throw;
    }
    setHistory(std::move(written));
}

void RenamerStore::markUndone(const Uuid& id)
{
    changeHistory(
        [&id](std::vector<HistoryRecord>& records) {
            for (auto& record : records) {
                if (record.id == id)
                    record.undone = true;
            }
        },
        true);
}

void RenamerStore::apply()
{
    if (m_isPlanning)
        return;
    if (auto folder = folderNeedingAccess()) {
        m_folderAccess->requestAccess(*folder);
        emit previewsChanged();
        return;
    }

    std::vector<RenameMove> moves;
    std::unordered_map<Uuid, FileURL> destinations;
    for (const auto& row : previews()) {
        if (row.status.kind != RenameStatus::Kind::ready)
            continue;
        moves.push_back(RenameMove { row.item.url, row.targetURL });
        destinations.emplace(row.item.id, row.targetURL);
    }
    if (moves.empty())
        return;

    auto batchId = Uuid::random();
    std::optional<FileURL> backupFolder;
    if (m_backupEnabled)
        backupFolder = backupsFolder().appending(batchId.text(), true);

    std::vector<FileURL> created;
    try {
        created = executeMoves(moves, backupFolder);
    } catch (const std::exception& error) {
        presentFailureAlert(error.what());
        return;
    }

    auto items = std::make_shared<std::vector<FileItem>>(*m_items);
    for (auto& item : *items) {
        auto found = destinations.find(item.id);
        if (found != destinations.end())
            item.url = found->second;
    }
    publishItems(std::move(items));
    refreshPreview();

    UndoBatch inverse;
    inverse.reserve(moves.size());
    for (const auto& move : moves)
        inverse.emplace_back(move.to, move.from);
    setUndoStack({ std::move(inverse) });

    try {
        HistoryRecord record(batchId, moves, std::move(created), backupFolder);
        changeHistory(
            [&record](std::vector<HistoryRecord>& records) {
                records.insert(records.begin(), std::move(record));
            },
            false);
        RenameExecutor::pruneBackups(
            backupsFolder(), Date { Date::now().seconds - backupLifetime });
    } catch (const std::exception& error) {
        setMessage(std::string(historyNotSavedText) + " " + error.what());
    }
    showToast("Renamed " + std::to_string(moves.size()) + " files");
}

void RenamerStore::undoLastApply()
{
    if (m_undoStack.empty())
        return;
    auto stack = m_undoStack;
    auto entry = std::move(stack.back());
    stack.pop_back();
    setUndoStack(stack);
    auto putBack = [&] {
        auto restored = m_undoStack;
        restored.push_back(entry);
        setUndoStack(std::move(restored));
    };

    std::optional<HistoryRecord> record;
    auto found = std::find_if(m_history.begin(), m_history.end(),
        [&](const HistoryRecord& candidate) { return matches(candidate, entry); });
    if (found != m_history.end()) {
        record = *found;
        try {
            record->validateForUndo();
        } catch (const std::exception& error) {
            putBack();
            setMessage(std::string(error.what()));
            return;
        }
    }

    try {
        performMoves(entry, std::nullopt);
    } catch (const std::exception& error) {
        putBack();
        presentFailureAlert(error.what());
        return;
    }
    relocateItems(entry);

    if (record) {
        removeCreatedDirectories(record->createdDirectories);
        try {
            markUndone(record->id);
        } catch (const std::exception& error) {
            setMessage(std::string(error.what()));
        }
    }
    showToast("Undid " + std::to_string(entry.size()) + " renames");
}

void RenamerStore::revert(const Uuid& id)
{
    auto found = std::find_if(m_history.begin(), m_history.end(),
        [&](const HistoryRecord& record) { return record.id == id; });
    if (found == m_history.end() || found->undone)
        return;
    auto record = *found;

    std::vector<RenameMove> inverse;
    try {
        inverse = record.validateForUndo();
        executeMoves(inverse, std::nullopt);
    } catch (const std::exception& error) {
        setMessage(std::string(error.what()));
        return;
    }

    std::unordered_map<FileURL, FileURL> destinations;
    for (const auto& move : inverse)
        destinations.emplace(move.from, move.to);
    auto items = std::make_shared<std::vector<FileItem>>(*m_items);
    for (auto& item : *items) {
        auto moved = destinations.find(item.url);
        if (moved != destinations.end())
            item.url = moved->second;
    }
    publishItems(std::move(items));
    refreshPreview();

    removeCreatedDirectories(record.createdDirectories);
    try {
        markUndone(record.id);
    } catch (const std::exception& error) {
        setMessage(std::string(error.what()));
        return;
    }
    setUndoStack({});
}

void RenamerStore::loadHistory()
{
    std::optional<std::vector<HistoryRecord>> loaded;
    try {
        loaded = JSONFiles::load<std::vector<HistoryRecord>>(HistoryFile::fileName);
    } catch (const std::exception& error) {
        setMessage(std::string(error.what()));
        return;
    }
    if (loaded)
        setHistory(std::move(*loaded));
    setShowingHistory(true);
}

// ---- Presets ----

bool RenamerStore::replacePresets(std::vector<Preset> presets)
{
    try {
        writePresets(presets);
    } catch (const std::exception& error) {
        setMessage(std::string(error.what()));
        return false;
    }
    m_presets = std::move(presets);
    emit presetsChanged();
    return true;
}

void RenamerStore::savePreset(std::string_view name, std::string symbol, std::string color)
{
    auto trimmed = text::trimmingWhitespaceAndNewlines(name);
    if (trimmed.empty())
        return;
    auto presets = m_presets;
    presets.emplace_back(std::string(trimmed), std::move(symbol), std::move(color), m_rules);
    if (replacePresets(std::move(presets)))
        setShowingSavePreset(false);
}

void RenamerStore::deletePreset(const Uuid& id)
{
    std::vector<Preset> presets;
    presets.reserve(m_presets.size());
    for (const auto& preset : m_presets) {
        if (preset.id != id)
            presets.push_back(preset);
    }
    replacePresets(std::move(presets));
}

void RenamerStore::exportPreset(const Preset& preset)
{
    if (!m_dialogs)
        return;
    auto destination = m_dialogs->chooseSaveLocation(
        PresetDocument::proposedFileName(preset), { PresetDocument::presetDocumentType() });
    if (!destination)
        return;
    try {
        StoredFile::writeAtomically(destination->path, PresetDocument::encode(preset));
    } catch (const std::exception& error) {
        setMessage(std::string(error.what()));
    }
}

void RenamerStore::importPresetWithPanel()
{
    if (!m_dialogs)
        return;
    auto chosen = m_dialogs->chooseFileToOpen(
        { PresetDocument::presetDocumentType(), PresetDocument::jsonDocumentType() });
    if (chosen)
        importPreset(*chosen);
}

void RenamerStore::importPreset(const FileURL& url)
{
    // Access to a single file is no grant of its own: a preset document can be read wherever
    // the user picked it.
    Preset imported;
    try {
        imported = PresetDocument::read(url);
    } catch (const std::exception& error) {
        setMessage(std::string(error.what()));
        return;
    }
    auto presets = m_presets;
    presets.push_back(std::move(imported));
    replacePresets(std::move(presets));
}

// ---- Rule editing ----

void RenamerStore::rulesDidChange(const std::vector<Rule>& previous)
{
    if (!m_loading && previous != m_rules && m_ruleUndoManager && !m_applyingRuleUndo)
        m_ruleUndoManager->push(new EditRulesCommand(this, previous, m_rules));
    refreshPreview();
    if (!m_loading)
        writeSession();
}

void RenamerStore::duplicateRule(const Uuid& id)
{
    auto found = std::find_if(
        m_rules.begin(), m_rules.end(), [&](const Rule& rule) { return rule.id == id; });
    if (found == m_rules.end())
        return;
    auto rules = m_rules;
    Rule copy = *found;
    copy.id = Uuid::random();
    rules.insert(rules.begin() + (found - m_rules.begin()) + 1, std::move(copy));
    setRules(std::move(rules));
}

void RenamerStore::moveRule(const Uuid& id, std::int64_t offset)
{
    auto found = std::find_if(
        m_rules.begin(), m_rules.end(), [&](const Rule& rule) { return rule.id == id; });
    if (found == m_rules.end())
        return;
    auto index = std::int64_t(found - m_rules.begin());
    auto target = index + offset;
    if (target < 0 || target >= std::int64_t(m_rules.size()))
        return;
    auto rules = m_rules;
    std::swap(rules[std::size_t(index)], rules[std::size_t(target)]);
    setRules(std::move(rules));
}

} // namespace sorvik
