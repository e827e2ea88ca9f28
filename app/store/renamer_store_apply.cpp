#include "app/store/renamer_store.h"

#include "app/store/batch_recovery.h"
#include "app/store/history_file.h"
#include "app/store/json_files.h"
#include "engine/apply/local_file_system.h"
#include "engine/apply/rename_executor.h"

#include <algorithm>
#include <exception>
#include <unordered_map>

namespace sorvik {

namespace {

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

    std::vector<FileURL> destinationsOf(const std::vector<RenameMove>& moves)
    {
        std::vector<FileURL> destinations;
        destinations.reserve(moves.size());
        for (const auto& move : moves)
            destinations.push_back(move.to);
        return destinations;
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

AppliedBatch RenamerStore::executeMoves(const std::vector<RenameMove>& moves,
    const std::optional<FileURL>& backupDirectory, const std::optional<Uuid>& recordId)
{
    return withFolderAccess(foldersOf(moves), [&] {
        LocalFileSystem fileSystem;
        RenameExecutor executor(fileSystem, batchJournalFolder());
        BatchOptions options;
        options.backupDirectory = backupDirectory;
        options.grantedFolders = m_folderAccess->folders();
        options.recordId = recordId;
        auto applied = executor.apply(moves, options);
        // A batch without a record of its own (undo, revert) is over with its last move.
        if (!recordId)
            applied.journal.finish();
        return applied;
    });
}

std::vector<FileURL> RenamerStore::performMoves(
    const UndoBatch& moves, const std::optional<FileURL>& backupDirectory)
{
    std::vector<RenameMove> batch;
    batch.reserve(moves.size());
    for (const auto& [from, to] : moves)
        batch.push_back(RenameMove { from, to });
    return executeMoves(batch, backupDirectory, std::nullopt).createdDirectories;
}

void RenamerStore::recordBatch(HistoryRecord record)
{
    std::optional<HistoryFile::SavedList> saved;
    try {
        saved = HistoryFile::insertListing(std::move(record));
    } catch (const HistoryFile::WriteError&) {
        // The files were renamed: the window shows the batch, so that its undo is checked
        // against the record.
        addToHistory(std::move(record));
        throw;
    }
    if (saved)
        setHistory(std::move(*saved));
    else
        addToHistory(std::move(record));
}

void RenamerStore::markUndone(const Uuid& id)
{
    // What the window shows follows what happened to the files, written or not.
    if (m_savedHistory) {
        for (std::size_t index = 0; index < m_savedHistory->size(); ++index) {
            if (m_savedHistory->id(index) == id)
                m_savedHistory->setUndone(index);
        }
    }
    for (auto& record : m_history) {
        if (record.id == id)
            record.undone = true;
    }
    emit historyChanged();
    HistoryFile::markUndone(id);
}

std::optional<HistoryRecord> RenamerStore::findRecord(
    const std::function<bool(const HistoryRecord&)>& wanted, const Uuid* id) const
{
    // A list a batch saved is read one record at a time, newest first: the record wanted is
    // nearly always the newest, and a large history is then never read whole for it.
    if (m_savedHistory) {
        try {
            for (std::size_t index = 0; index < m_savedHistory->size(); ++index) {
                bool passedOver
                    = id ? m_savedHistory->id(index) != *id : m_savedHistory->isUndone(index);
                if (passedOver)
                    continue;
                auto record = m_savedHistory->record(index);
                if (wanted(record))
                    return record;
            }
            return std::nullopt;
        } catch (const std::exception&) {
            // Read as a whole below, as the history sheet would.
        }
    }
    for (const auto& record : history()) {
        if (wanted(record))
            return record;
    }
    return std::nullopt;
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

    auto count = moves.size();
    auto batchId = Uuid::random();
    std::optional<FileURL> backupFolder;
    AppliedBatch applied;
    try {
        backupFolder = backupDirectoryFor(batchId);
        applied = executeMoves(moves, backupFolder, batchId);
    } catch (const std::exception& error) {
        presentFailureAlert(error.what());
        return;
    }
    emit filesMoved(destinationsOf(moves));

    auto items = std::make_shared<std::vector<FileItem>>(*m_items);
    for (auto& item : *items) {
        auto found = destinations.find(item.id);
        if (found != destinations.end())
            item.url = found->second;
    }
    publishItems(std::move(items));
    refreshPreview();

    UndoBatch inverse;
    inverse.reserve(count);
    for (const auto& move : moves)
        inverse.emplace_back(move.to, move.from);
    setUndoStack({ std::move(inverse) });

    try {
        recordBatch(recordOf(batchId, std::move(moves), applied, backupFolder));
        // Recorded: the batch is over. Until then its journal lets the next start record it.
        applied.journal.finish();
        RenameExecutor::pruneBackups(
            backupsFolder(), Date { Date::now().seconds - backupLifetime });
    } catch (const std::exception& error) {
        setMessage(std::string(historyNotSavedText) + " " + error.what());
    }
    showToast("Renamed " + std::to_string(count) + " files");
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

    auto record = findRecord(
        [&](const HistoryRecord& candidate) { return matches(candidate, entry); }, nullptr);
    if (record) {
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
    std::vector<FileURL> putBackAt;
    putBackAt.reserve(entry.size());
    for (const auto& move : entry)
        putBackAt.push_back(move.second);
    emit filesMoved(putBackAt);
    // The batch's folders go before the preview is asked for: planning runs on another
    // thread and must never meet a folder half removed.
    if (record)
        removeCreatedDirectories(record->createdDirectories);
    relocateItems(entry);

    if (record) {
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
    auto found = findRecord([&](const HistoryRecord& record) { return record.id == id; }, &id);
    if (!found || found->undone)
        return;
    auto record = std::move(*found);

    std::vector<RenameMove> inverse;
    try {
        inverse = record.validateForUndo();
        executeMoves(inverse, std::nullopt, std::nullopt);
    } catch (const std::exception& error) {
        setMessage(std::string(error.what()));
        return;
    }
    emit filesMoved(destinationsOf(inverse));

    std::unordered_map<FileURL, FileURL> destinations;
    for (const auto& move : inverse)
        destinations.emplace(move.from, move.to);
    auto items = std::make_shared<std::vector<FileItem>>(*m_items);
    for (auto& item : *items) {
        auto moved = destinations.find(item.url);
        if (moved != destinations.end())
            item.url = moved->second;
    }
    // The batch's folders go before the preview is asked for, as for undo.
    removeCreatedDirectories(record.createdDirectories);
    publishItems(std::move(items));
    refreshPreview();

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
    std::vector<HistoryRecord> loaded;
    try {
        if (!JSONFiles::storedPath(HistoryFile::fileName)) {
            // Without a file, the batches held in memory are the history.
            setShowingHistory(true);
            return;
        }
        loaded = HistoryFile::load();
    } catch (const std::exception& error) {
        setMessage(std::string(error.what()));
        return;
    }
    setHistory(std::move(loaded));
    setShowingHistory(true);
}

} // namespace sorvik
