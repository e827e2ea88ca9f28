#include "app/automation/automation_runner.h"

#include "app/automation/automation_error.h"
#include "app/store/batch_recovery.h"
#include "app/store/file_scan.h"
#include "app/store/folder_access_manager.h"
#include "app/store/folder_coverage.h"
#include "app/store/history_file.h"
#include "app/store/json_files.h"
#include "app/store/preview_planner.h"
#include "app/store/renamer_store.h"
#include "engine/apply/file_fingerprint.h"
#include "engine/apply/history_record.h"
#include "engine/apply/local_file_system.h"
#include "engine/apply/local_preview_disk.h"
#include "engine/apply/rename_executor.h"
#include "engine/apply/rename_move.h"
#include "engine/model/date.h"
#include "engine/model/name_table.h"
#include "engine/model/uuid.h"
#include "engine/pipeline/rename_pipeline.h"
#include "engine/pipeline/token_parser.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <string>
#include <type_traits>
#include <unordered_map>
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

    /// Whether stages 4 and 5 ask the services anything, which may take a while.
    bool asksServices(const std::vector<Rule>& rules, PreviewServices* services)
    {
        if (!services)
            return false;
        bool asksAI = std::any_of(rules.begin(), rules.end(), [](const Rule& rule) {
            return rule.isEnabled && std::holds_alternative<AIConfig>(rule.kind.config);
        });
        return asksAI || TokenParser::requiresMetadata(PreviewPlanner::ruleText(rules));
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

    /// Stage 10 for the items that do not move: each as it was before the metadata and AI
    /// stages, or the run stops. The executor checks the moving ones as it checks the batch.
    void recheckStaying(const std::vector<std::pair<FileURL, FileFingerprint>>& staying)
    {
        for (const auto& [url, before] : staying) {
            FileFingerprint now(url);
            if (now != before)
                throw AutomationError(AutomationError::sourceChanged);
        }
    }

    /// A row's new name as its file's folder sees it: with the subfolder an organize rule
    /// puts it in.
    std::string plannedName(const PreviewRow& row)
    {
        std::string_view folder = folderPathOf(row.item.url.path);
        std::string_view target = row.targetURL.path;
        if (folderPathOf(target) == folder || !target.starts_with(folder)
            || target.size() <= folder.size() + 1 || target[folder.size()] != '/')
            return row.newName;
        return std::string(target.substr(folder.size() + 1));
    }

    /// The folders of every move's source and destination, each once: every grant check
    /// resolves links.
    std::vector<FileURL> foldersOf(const std::vector<RenameMove>& moves)
    {
        std::vector<FileURL> folders;
        std::unordered_set<std::string> seen;
        // Files of one folder mostly follow each other: a folder just seen is not made again.
        std::string last;
        for (const auto& move : moves) {
            for (const FileURL* url : { &move.from, &move.to }) {
                if (folderPathOf(url->path) == last)
                    continue;
                auto folder = url->deletingLastPathComponent();
                last = folder.path;
                if (seen.insert(folder.path).second)
                    folders.push_back(std::move(folder));
            }
        }
        return folders;
    }

} // namespace

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
    std::vector<FileURL> urls, const std::vector<Rule>& rules, bool dryRun,
    std::stop_token stop) const
{
    std::vector<FileFingerprint> fingerprints;
    auto items = fileItems(uniqueURLs(std::move(urls)), snapshot.grantedFolders, &fingerprints);

    auto metadata = readMetadata(items, rules, snapshot.onlinePlaces, m_services.get(), stop);
    addAIAnswers(metadata, items, rules, m_services.get(), stop);

    checkCancellation(stop);
    std::vector<PreviewRow> rows;
    {
        // New names mostly land in the folders the files are in: each is read once for all.
        LocalPreviewDisk disk(items);
        // The files were all read a moment ago, unless the services have been waited for.
        if (!asksServices(rules, m_services.get()))
            disk.takeFilesAsJustRead();
        // The rows take the items over: a large batch is not held twice.
        rows = RenamePipeline::preview(
            std::move(items), rules, metadata, Date::now(), disk.questions());
    }
    // What planning needed is not needed for the moves: a large batch should not carry it.
    metadata = MetadataMap();

    std::vector<BlockedBatchError::Row> blocked;
    for (const auto& row : rows) {
        if (row.status.isProblem())
            blocked.push_back({ row.item.url, plannedName(row), row.status.reason });
    }
    if (!blocked.empty())
        throw BlockedBatchError(std::move(blocked));

    AutomationPlan plan;
    plan.dryRun = dryRun;
    if (dryRun) {
        plan.targetURLs.reserve(rows.size());
        for (auto& row : rows)
            plan.targetURLs.push_back(std::move(row.targetURL));
        return plan;
    }

    // The pipeline gives one row per item, in item order: a row's position is its item's,
    // and so is its fingerprint's. Each list is as long as it will be, no longer: a large
    // batch that moves every file would otherwise carry a second list of rows' worth of
    // empty targets through the moves.
    auto moving = static_cast<std::size_t>(std::count_if(rows.begin(), rows.end(),
        [](const PreviewRow& row) { return row.status.kind == RenameStatus::Kind::ready; }));
    plan.targetURLs.reserve(rows.size() - moving);
    plan.rowMoves.reserve(rows.size());
    plan.moves.reserve(moving);
    plan.movingSources.reserve(moving);
    for (std::size_t position = 0; position < rows.size(); ++position) {
        auto& row = rows[position];
        auto before
            = position < fingerprints.size() ? std::optional(fingerprints[position]) : std::nullopt;
        bool moves = row.status.kind == RenameStatus::Kind::ready;
        plan.rowMoves.push_back(moves);
        if (moves) {
            plan.moves.push_back(RenameMove { std::move(row.item.url), std::move(row.targetURL) });
            plan.movingSources.push_back(before);
            continue;
        }
        // A file that does not move is where it is, whatever its row planned.
        plan.targetURLs.push_back(row.item.url);
        if (before)
            plan.staying.emplace_back(std::move(row.item.url), *before);
    }
    return plan;
}

namespace {

    /// Every row's target: the moving rows' destinations among the others' targets.
    std::vector<FileURL> allTargets(const std::vector<FileURL>& targetURLs,
        const std::vector<bool>& rowMoves, const std::vector<RenameMove>& moves)
    {
        std::vector<FileURL> targets;
        targets.reserve(rowMoves.size());
        std::size_t move = 0;
        std::size_t staying = 0;
        for (bool rowMove : rowMoves)
            targets.push_back(rowMove ? moves[move++].to : targetURLs[staying++]);
        return targets;
    }

} // namespace

std::vector<FileURL> AutomationPlan::targets() const
{
    if (rowMoves.empty())
        return targetURLs;
    return allTargets(targetURLs, rowMoves, moves);
}

std::vector<FileURL> AutomationRunner::commit(
    AutomationPlan plan, const std::function<void()>& beforeFirstMove) const
{
    if (plan.dryRun || plan.moves.empty())
        return std::move(plan.targetURLs);

    // From here to the end nothing waits on anything else, so no other rename on this thread
    // can slip in between the check of the sources, the moves and the history.
    recheckStaying(plan.staying);

    auto batchID = Uuid::random();
    auto backupFolder = m_store.backupDirectoryFor(batchID);

    AppliedBatch applied;
    {
        // The options go with the moves: the sources' fingerprints are not carried on into
        // the history record.
        BatchOptions options;
        options.backupDirectory = backupFolder;
        options.grantedFolders = m_store.folderAccess().folders();
        options.recordId = batchID;
        options.expectedSources = std::move(plan.movingSources);
        options.beforeFirstMove = beforeFirstMove;
        try {
            applied = m_store.withFolderAccess(foldersOf(plan.moves), [&] {
                LocalFileSystem fileSystem;
                RenameExecutor executor(fileSystem, batchJournalFolder());
                return executor.apply(plan.moves, options);
            });
        } catch (const SourceChangedError& changed) {
            // Gone is told by the system's own error, changed by the runner's.
            FileFingerprint now(changed.source());
            throw AutomationError(AutomationError::sourceChanged);
        }
    }

    // The moves go to the history record: their destinations are the rows' targets.
    auto targets = allTargets(plan.targetURLs, plan.rowMoves, plan.moves);
    plan.targetURLs = std::vector<FileURL>();
    std::optional<HistoryFile::SavedList> saved;
    try {
        auto record = recordOf(batchID, std::move(plan.moves), applied, backupFolder);
        // The record holds the fingerprints now: the history is written without a second copy.
        applied.fingerprints = std::vector<std::optional<FileFingerprint>>();
        saved = HistoryFile::insertListing(std::move(record));
    } catch (const std::exception& error) {
        // The journal stays: the next start of sorvik adds the record.
        throw AutomationError(std::string(AutomationError::historyNotSaved) + error.what());
    }
    applied.journal.finish();
    // The store shows the list as saved, other writers' batches included.
    if (saved)
        m_store.setHistory(std::move(*saved));
    return targets;
}

std::vector<FileURL> AutomationRunner::run(std::vector<FileURL> urls,
    const std::vector<Rule>& rules, bool dryRun, std::stop_token stop,
    const std::function<void()>& beforeFirstMove) const
{
    return commit(
        prepare(snapshot(), std::move(urls), rules, dryRun, std::move(stop)), beforeFirstMove);
}

std::vector<FileURL> runPresetAutomation(std::vector<FileURL> urls, const std::vector<Rule>& rules,
    bool dryRun, std::stop_token stop, const std::function<void()>& beforeFirstMove)
{
    AutomationRunner runner(RenamerStore::shared(), RenamerStore::defaultPreviewServices());
    return runner.run(std::move(urls), rules, dryRun, std::move(stop), beforeFirstMove);
}

namespace {

    /// Whether each of `urls` is kept: its standardized path did not come before.
    std::vector<bool> firstOfEachPath(const std::vector<FileURL>& urls)
    {
        // Most paths are standard already and are looked at where they are.
        std::deque<std::string> standardized;
        std::vector<std::string_view> paths;
        paths.reserve(urls.size());
        for (const auto& url : urls) {
            if (url.isStandardized())
                paths.push_back(url.path);
            else
                paths.push_back(standardized.emplace_back(url.standardized().path));
        }
        NameIndex seen(paths);
        std::vector<bool> kept(urls.size(), false);
        for (std::size_t index = 0; index < urls.size(); ++index)
            kept[index] = seen.firstPlace(index) == index;
        return kept;
    }

} // namespace

std::vector<FileURL> uniqueURLs(const std::vector<FileURL>& urls)
{
    auto isKept = firstOfEachPath(urls);
    std::vector<FileURL> kept;
    kept.reserve(urls.size());
    for (std::size_t index = 0; index < urls.size(); ++index) {
        if (isKept[index])
            kept.push_back(urls[index]);
    }
    return kept;
}

std::vector<FileURL> uniqueURLs(std::vector<FileURL>&& urls)
{
    // Every path is judged before any is moved: the judging looks at the paths in place.
    auto isKept = firstOfEachPath(urls);
    std::size_t end = 0;
    for (std::size_t index = 0; index < urls.size(); ++index) {
        if (!isKept[index])
            continue;
        if (end != index)
            urls[end] = std::move(urls[index]);
        ++end;
    }
    urls.erase(urls.begin() + static_cast<std::ptrdiff_t>(end), urls.end());
    return std::move(urls);
}

std::vector<FileItem> fileItems(const std::vector<FileURL>& urls, const FolderAccessManager& access,
    std::vector<FileFingerprint>* fingerprints)
{
    return fileItems(urls, access.folders(), fingerprints);
}

namespace {

    /// `fileItems` of `urls`; the items take the URLs' paths over when `URLs` is not a
    /// const reference.
    template <class URLs>
    std::vector<FileItem> makeFileItems(URLs&& urls, const std::vector<FileURL>& grantedFolders,
        std::vector<FileFingerprint>* fingerprints)
    {
        // Only the files before the first one outside the grants are read, all at once; the
        // first failure in list order is the one reported, as if they were read one by one.
        FolderCoverage coverage(grantedFolders);
        std::size_t covered = 0;
        // Files of one folder mostly follow each other: a folder just found covered is not
        // asked about again.
        std::string lastCovered;
        while (covered < urls.size()) {
            if (!lastCovered.empty() && folderPathOf(urls[covered].path) == lastCovered) {
                ++covered;
                continue;
            }
            auto folder = urls[covered].deletingLastPathComponent();
            if (!coverage.covers(folder))
                break;
            lastCovered = std::move(folder.path);
            ++covered;
        }
        auto reads = covered == urls.size()
            ? FileScan::readAllChecked(urls)
            : FileScan::readAllChecked(std::vector<FileURL>(
                urls.begin(), urls.begin() + static_cast<std::ptrdiff_t>(covered)));
        std::vector<FileItem> items;
        items.reserve(covered);
        if (fingerprints)
            fingerprints->reserve(covered);
        for (std::size_t index = 0; index < covered; ++index) {
            auto& url = urls[index];
            const auto& read = reads[index];
            if (read.error != 0)
                throw FileSystemError(
                    "Couldn't read the attributes of \"" + url.path + "\"", read.error);
            if (fingerprints)
                fingerprints->push_back(read.fingerprint);
            FileItem item;
            if constexpr (std::is_lvalue_reference_v<URLs>) {
                item.url = FileURL(url.path, read.values.isDirectory);
            } else {
                item.url = std::move(url);
                // As a URL made from the path alone: a folder's flag is the file's own.
                if (item.url.path.size() > 1 && item.url.path.back() == '/')
                    item.url = FileURL(item.url.path, read.values.isDirectory);
                item.url.isDirectory = read.values.isDirectory;
            }
            item.included = true;
            item.isDirectory = read.values.isDirectory;
            item.created = read.values.created;
            item.modified = read.values.modified;
            item.size = read.values.size;
            item.order = static_cast<std::int64_t>(index);
            items.push_back(std::move(item));
        }
        if (covered < urls.size())
            throw AutomationError(AutomationError::grantRequired);
        return items;
    }

} // namespace

std::vector<FileItem> fileItems(const std::vector<FileURL>& urls,
    const std::vector<FileURL>& grantedFolders, std::vector<FileFingerprint>* fingerprints)
{
    return makeFileItems(urls, grantedFolders, fingerprints);
}

std::vector<FileItem> fileItems(std::vector<FileURL>&& urls,
    const std::vector<FileURL>& grantedFolders, std::vector<FileFingerprint>* fingerprints)
{
    auto items = makeFileItems(std::move(urls), grantedFolders, fingerprints);
    urls = std::vector<FileURL>();
    return items;
}

} // namespace sorvik
