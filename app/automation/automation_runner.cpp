#include "app/automation/automation_runner.h"

#include "app/automation/automation_error.h"
#include "app/store/batch_recovery.h"
#include "app/store/file_scan.h"
#include "app/store/folder_access_manager.h"
#include "app/store/history_file.h"
#include "app/store/json_files.h"
#include "app/store/preview_planner.h"
#include "app/store/renamer_store.h"
#include "engine/apply/file_fingerprint.h"
#include "engine/apply/history_record.h"
#include "engine/apply/local_file_system.h"
#include "engine/apply/rename_executor.h"
#include "engine/apply/rename_move.h"
#include "engine/model/date.h"
#include "engine/model/uuid.h"
#include "engine/pipeline/rename_pipeline.h"
#include "engine/pipeline/token_parser.h"

#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <variant>

namespace sorvik {

namespace {

    void checkCancellation(const std::stop_token& stop)
    {
        if (stop.stop_requested())
            throw CancellationError();
    }

    /// Stage 4: the metadata of every item, read only when a token of the enabled rules'
    /// texts needs it.
    MetadataMap readMetadata(const std::vector<FileItem>& items, const std::vector<Rule>& rules,
        bool onlinePlaces, PreviewServices* services, const std::stop_token& stop)
    {
        auto text = PreviewPlanner::ruleText(rules);
        if (!TokenParser::requiresMetadata(text) || !services)
            return {};
        bool lookUpPlaces = onlinePlaces && PreviewPlanner::needsPlaces(text);
        return services->metadata(items, lookUpPlaces, stop);
    }

    /// Stage 5: every enabled AI rename rule's answer for every item, one request at a time.
    void addAIAnswers(MetadataMap& metadata, const std::vector<FileItem>& items,
        const std::vector<Rule>& rules, PreviewServices* services, const std::stop_token& stop)
    {
        for (const auto& rule : rules) {
            const auto* config = std::get_if<AIConfig>(&rule.kind.config);
            if (!rule.isEnabled || !config)
                continue;
            for (const auto& item : items) {
                checkCancellation(stop);
                if (!services)
                    continue;
                auto answer = services->aiMetadata(
                    item, config->mode, config->maxWords, config->includeDate, stop);
                PreviewPlanner::addAIAnswer(metadata[item.id], rule.id, answer);
            }
        }
    }

    /// Stage 10: every source as it was before the metadata and AI stages, or the run stops.
    void recheckSources(
        const std::vector<FileItem>& items, const std::vector<FileFingerprint>& before)
    {
        if (before.size() != items.size())
            throw AutomationError(AutomationError::sourceChanged);
        for (std::size_t index = 0; index < items.size(); ++index) {
            FileFingerprint now(items[index].url);
            if (now != before[index])
                throw AutomationError(AutomationError::sourceChanged);
        }
    }

} // namespace

std::vector<FileURL> AutomationPlan::targets() const
{
    std::vector<FileURL> urls;
    urls.reserve(rows.size());
    for (const auto& row : rows)
        urls.push_back(row.targetURL);
    return urls;
}

AutomationRunner::AutomationRunner(RenamerStore& store, std::shared_ptr<PreviewServices> services)
    : m_store(store)
    , m_services(std::move(services))
{
}

AutomationSnapshot AutomationRunner::snapshot() const
{
    return AutomationSnapshot { m_store.folderAccess().folders(), m_store.onlinePlaces() };
}

AutomationPlan AutomationRunner::prepare(const AutomationSnapshot& snapshot,
    const std::vector<FileURL>& urls, const std::vector<Rule>& rules, bool dryRun,
    std::stop_token stop) const
{
    AutomationPlan plan;
    plan.dryRun = dryRun;
    plan.items = fileItems(uniqueURLs(urls), snapshot.grantedFolders);

    plan.fingerprints.reserve(plan.items.size());
    for (const auto& item : plan.items)
        plan.fingerprints.emplace_back(item.url);

    auto metadata = readMetadata(plan.items, rules, snapshot.onlinePlaces, m_services.get(), stop);
    addAIAnswers(metadata, plan.items, rules, m_services.get(), stop);

    checkCancellation(stop);
    LocalFileSystem fileSystem;
    plan.rows = RenamePipeline::preview(plan.items, rules, metadata, Date::now(),
        [&fileSystem](const FileURL& url) { return fileSystem.itemExists(url); });

    std::vector<BlockedBatchError::Row> blocked;
    for (const auto& row : plan.rows) {
        if (row.status.isProblem())
            blocked.push_back({ row.item.url, row.newName, row.status.reason });
    }
    if (!blocked.empty())
        throw BlockedBatchError(std::move(blocked));

    for (const auto& row : plan.rows) {
        if (row.status.kind == RenameStatus::Kind::ready)
            plan.moves.push_back(RenameMove { row.item.url, row.targetURL });
    }
    return plan;
}

std::vector<FileURL> AutomationRunner::commit(const AutomationPlan& plan) const
{
    if (plan.dryRun || plan.moves.empty())
        return plan.targets();
    const auto& moves = plan.moves;

    // From here to the end nothing waits on anything else, so no other rename on this thread
    // can slip in between the check of the sources, the moves and the history.
    recheckSources(plan.items, plan.fingerprints);

    auto batchID = Uuid::random();
    auto backupFolder = m_store.backupDirectoryFor(batchID);

    // Each folder once, as the window's own batches do: every grant check resolves links.
    std::vector<FileURL> folders;
    std::unordered_set<std::string> listed;
    for (const auto& move : moves) {
        for (const auto* url : { &move.from, &move.to }) {
            auto folder = url->deletingLastPathComponent();
            if (listed.insert(folder.path).second)
                folders.push_back(std::move(folder));
        }
    }
    LocalFileSystem fileSystem;
    auto createdDirectories = m_store.withFolderAccess(folders, [&] {
        RenameExecutor executor(fileSystem, batchJournalFolder());
        return executor.execute(moves, backupFolder);
    });

    std::optional<HistoryRecord> record;
    try {
        record.emplace(batchID, moves, std::move(createdDirectories), backupFolder);
        HistoryFile::insert(*record);
    } catch (const std::exception& error) {
        throw AutomationError(std::string(AutomationError::historyNotSaved) + error.what());
    }
    m_store.addToHistory(std::move(*record));
    return plan.targets();
}

std::vector<FileURL> AutomationRunner::run(const std::vector<FileURL>& urls,
    const std::vector<Rule>& rules, bool dryRun, std::stop_token stop) const
{
    return commit(prepare(snapshot(), urls, rules, dryRun, std::move(stop)));
}

std::vector<FileURL> runPresetAutomation(const std::vector<FileURL>& urls,
    const std::vector<Rule>& rules, bool dryRun, std::stop_token stop)
{
    AutomationRunner runner(RenamerStore::shared(), RenamerStore::defaultPreviewServices());
    return runner.run(urls, rules, dryRun, std::move(stop));
}

std::vector<FileURL> uniqueURLs(const std::vector<FileURL>& urls)
{
    std::vector<FileURL> kept;
    std::unordered_set<std::string> seen;
    for (const auto& url : urls) {
        if (seen.insert(url.standardized().path).second)
            kept.push_back(url);
    }
    return kept;
}

std::vector<FileItem> fileItems(const std::vector<FileURL>& urls, const FolderAccessManager& access)
{
    return fileItems(urls, access.folders());
}

std::vector<FileItem> fileItems(
    const std::vector<FileURL>& urls, const std::vector<FileURL>& grantedFolders)
{
    std::vector<FileItem> items;
    items.reserve(urls.size());
    for (std::size_t index = 0; index < urls.size(); ++index) {
        const auto& url = urls[index];
        if (!FolderAccessManager::covers(grantedFolders, url.deletingLastPathComponent()))
            throw AutomationError(AutomationError::grantRequired);
        auto values = FileScan::readChecked(url);
        FileItem item;
        item.url = FileURL(url.path, values.isDirectory);
        item.included = true;
        item.isDirectory = values.isDirectory;
        item.created = values.created;
        item.modified = values.modified;
        item.size = values.size;
        item.order = static_cast<std::int64_t>(index);
        items.push_back(std::move(item));
    }
    return items;
}

} // namespace sorvik
