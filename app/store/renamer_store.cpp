#include "app/store/renamer_store.h"

#include "app/store/batch_recovery.h"
#include "app/store/history_file.h"
#include "app/store/json_files.h"
#include "app/store/saved_session.h"
#include "app/store/session_writer.h"
#include "app/store/user_defaults.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <mutex>

namespace sorvik {

namespace {

    std::mutex defaultServicesMutex;
    std::shared_ptr<PreviewServices>& defaultServicesSlot()
    {
        static std::shared_ptr<PreviewServices> services;
        return services;
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
    // Calls of `addFiles` run one after the other.
    m_addingThreads.setMaxThreadCount(1);

    m_loading = true;
    m_sessionWriter = std::make_unique<SessionWriter>(
        *this, [this](const std::string& failure) { setMessage(failure); });
    // A quit ends the event loop before anyone destroys the shared store: its last session
    // must reach the disk all the same.
    if (auto* application = QCoreApplication::instance()) {
        connect(application, &QCoreApplication::aboutToQuit, this, &RenamerStore::flushSession);
    }
    m_folderAccess = new FolderAccessManager(this);
    connect(
        m_folderAccess, &FolderAccessManager::foldersChanged, this, &RenamerStore::grantsChanged);
    std::vector<std::string> failures;
    restoreSettings(failures);
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
    // While the store is whole, so that a failure still finds `message`.
    flushSession();
    m_sessionWriter.reset();
    if (m_previewTask)
        m_previewTask->request_stop();
    if (m_addTask)
        m_addTask->request_stop();
    m_planningThreads.waitForDone();
    m_addingThreads.waitForDone();
}

void RenamerStore::recoverBatches(std::vector<std::string>& failures)
{
    // Before anything can start a batch: a file left at a temporary name by a killed sorvik
    // goes home first, and a batch killed after its moves gets its history record.
    try {
        if (auto report = recoverInterruptedBatches(*m_folderAccess))
            failures.push_back(std::move(*report));
    } catch (const std::exception& error) {
        failures.emplace_back(error.what());
    }
}

void RenamerStore::restoreSettings(std::vector<std::string>& failures)
{
    try {
        m_backupEnabled = UserDefaults::boolValue(UserDefaults::backupEnabledKey).value_or(false);
        m_onlinePlaces = UserDefaults::boolValue(UserDefaults::onlinePlacesKey).value_or(true);
    } catch (const std::exception& error) {
        m_backupEnabled = false;
        m_onlinePlaces = true;
        m_settingsError = error.what();
        failures.emplace_back(error.what());
    }
}

void RenamerStore::restore(std::vector<std::string>& failures)
{
    // The two files are independent: a broken session must not cost the user the presets.
    try {
        auto session = JSONFiles::load<SavedSession>(SavedSession::fileName);
        if (session && session->schemaVersion == 1) {
            makeRuleIDsUnique(session->rules);
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
            for (auto& preset : saved->presets)
                makeRuleIDsUnique(preset.rules);
            m_presets = std::move(saved->presets);
            emit presetsChanged();
        } else if (saved) {
            // Written by a sorvik that stores presets differently: skipped, and kept for it.
            auto path = JSONFiles::storedPath(SavedPresets::fileName)
                            .value_or(JSONFiles::savedPath(SavedPresets::fileName));
            m_presetsReadError = "\u201C" + std::string(SavedPresets::fileName)
                + "\u201D has schema version " + std::to_string(saved->schemaVersion)
                + ", which this version of sorvik cannot read. "
                + JSONFiles::unreadableRemedy(SavedPresets::fileName, path);
        }
    } catch (const std::exception& error) {
        // The failure names the file and the way out of it.
        m_presetsReadError = error.what();
        failures.emplace_back(error.what());
    }
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

const std::vector<HistoryRecord>& RenamerStore::history() const
{
    if (m_savedHistory) {
        auto saved = std::move(*m_savedHistory);
        m_savedHistory.reset();
        try {
            m_history = saved.records();
        } catch (const std::exception&) {
            // The file just written cannot be read back (a failing disk): the history sheet
            // reads it again when opened.
            m_history.clear();
        }
    }
    return m_history;
}

void RenamerStore::setHistory(std::vector<HistoryRecord> history)
{
    m_savedHistory.reset();
    m_history = std::move(history);
    emit historyChanged();
}

void RenamerStore::setHistory(HistoryFile::SavedList saved)
{
    m_history.clear();
    m_savedHistory = std::move(saved);
    emit historyChanged();
}

void RenamerStore::addToHistory(HistoryRecord record)
{
    history();
    m_history.insert(m_history.begin(), std::move(record));
    if (m_history.size() > HistoryFile::recordLimit)
        m_history.resize(HistoryFile::recordLimit);
    emit historyChanged();
}

void RenamerStore::setBackupEnabled(bool enabled)
{
    if (enabled != m_backupEnabled) {
        m_backupEnabled = enabled;
        emit backupEnabledChanged();
    }
    // The user has said now whether batches are backed up, whatever the file held.
    m_settingsError.reset();
    try {
        UserDefaults::setBool(UserDefaults::backupEnabledKey, enabled);
    } catch (const std::exception& error) {
        setMessage(std::string(error.what()));
    }
}

std::optional<FileURL> RenamerStore::backupDirectoryFor(const Uuid& batchID) const
{
    if (m_settingsError)
        throw Error(*m_settingsError);
    if (!m_backupEnabled)
        return std::nullopt;
    return backupsFolder().appending(batchID.text(), true);
}

void RenamerStore::setOnlinePlaces(bool online)
{
    if (online != m_onlinePlaces) {
        m_onlinePlaces = online;
        emit onlinePlacesChanged();
    }
    try {
        UserDefaults::setBool(UserDefaults::onlinePlacesKey, online);
    } catch (const std::exception& error) {
        setMessage(std::string(error.what()));
    }
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
    if (m_sessionWriter)
        m_sessionWriter->write(SavedSession { 1, m_rules, m_sortKey, m_ascending });
}

void RenamerStore::flushSession()
{
    if (m_sessionWriter)
        m_sessionWriter->flush();
}

void RenamerStore::showToast(std::string text)
{
    setToast(text);
    QTimer::singleShot(toastDuration, Qt::PreciseTimer, this, [this, shown = std::move(text)] {
        if (m_toast == shown)
            setToast(std::nullopt);
    });
}

} // namespace sorvik
