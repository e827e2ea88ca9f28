#pragma once

#include "app/store/preview_services.h"
#include "engine/apply/file_fingerprint.h"
#include "engine/apply/rename_move.h"
#include "engine/model/file_item.h"
#include "engine/model/file_url.h"
#include "engine/model/rule.h"

#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <utility>
#include <vector>

namespace sorvik {

class FolderAccessManager;
class RenamerStore;

/// What planning a run reads of the store, copied on the store's thread so that the planning
/// can run on another.
struct AutomationSnapshot {
    /// The granted folders.
    std::vector<FileURL> grantedFolders;
    bool onlinePlaces = true;
};

/// A run planned up to its moves (stages 1 to 9), waiting to be committed. It keeps only what
/// the commit needs: the rows, items and metadata of the planning are gone.
struct AutomationPlan {
    /// A dry run's targets of every row; otherwise where each row that does not move stays, in
    /// row order, a moving row's place being its move's destination (a large batch does not
    /// hold each new path twice).
    std::vector<FileURL> targetURLs;
    /// Whether each row moves: one move each, in row order.
    std::vector<bool> rowMoves;
    /// The ready rows' moves, in row order.
    std::vector<RenameMove> moves;
    /// Each move's source as stage 3 read it, one per move.
    std::vector<std::optional<FileFingerprint>> movingSources;
    /// The items that do not move, each with its fingerprint of stage 3.
    std::vector<std::pair<FileURL, FileFingerprint>> staying;
    bool dryRun = false;

    /// Every row's target, in row order: where each file is once the plan is committed.
    std::vector<FileURL> targets() const;
};

// Applies a rule stack to a list of files without the window: the one rename path of the
// command line and of watch folders. A run goes through these stages strictly in order, and
// no file is touched before the moves:
//   1. the URLs lose repeats (compared standardized; the first spelling is kept);
//   2. each URL becomes an item, only inside a granted folder;
//   3. every source's fingerprint is taken (from the same read as its item's values);
//   4. metadata is read once, only when a token of the enabled rules' texts needs it;
//   5. each enabled AI rename rule asks for every item, one at a time, and its answers are
//      stored under the plain "ai." keys and again under the rule's own keys;
//   6. the pipeline plans every row, asking the disk what the executor's checks ask (the
//      files of stage 2 count as there unless stages 4 and 5 asked the services anything);
//   7. any conflict or invalid row refuses the whole batch, dry run or not;
//   8. ready rows become the moves;
//   9. a dry run ends here with the planned targets, a batch without moves with the files;
//  10. every source must still have its fingerprint of stage 3, or the run is refused (the
//      executor checks the moving ones, in the one look at each file its checks take);
//  11. with backups on, the batch gets its backup folder;
//  12. the executor moves the files inside the granted folders' access;
//  13. the batch is recorded first in "history.json" (at most 500 records), with the
//      fingerprints the executor read; then its journal goes (until then, a killed run's
//      batch gets its record at the next start);
//  14. the store publishes that history.
// The result is, in row order, where each file is when the run ends (a dry run's: every row's
// target, where the file would go), so it never names a place a file did not move to. A batch
// whose rows are all ready is not refused by the executor's checks, unless the disk changed
// meanwhile. The run keeps no state, never touches the store's file list, rules, preview or
// undo stack, prunes no backups and shows no toast.
//
// A run is planned (`prepare`, stages 1 to 9) over a snapshot of the store, on any thread, and
// committed (`commit`, stages 10 to 14) on the store's (GUI) thread without waiting on
// anything, so no other rename on that thread slips in between the check of the sources, the
// moves and the history. A plan that went stale meanwhile is safe: a changed source fails at
// stage 10, and a removed grant or a file newly at a target fails before anything moves.
// Cancellation is honoured before each AI request and before planning; a caller's
// `beforeFirstMove` may drop the batch up to its first move. `run` does both on the store's
// thread.
class AutomationRunner {
public:
    /// A runner on `store`'s grants, settings and history that asks `services` for metadata
    /// and AI answers (none when null).
    AutomationRunner(RenamerStore& store, std::shared_ptr<PreviewServices> services);

    /// What `prepare` needs of the store; on the store's thread.
    AutomationSnapshot snapshot() const;
    /// Stages 1 to 9 over `snapshot`; never touches the store, so any thread may call it.
    /// Fails as `run` does before the moves.
    /// `urls` are taken by value: a caller that gives them up spares a copy of the list.
    AutomationPlan prepare(const AutomationSnapshot& snapshot, std::vector<FileURL> urls,
        const std::vector<Rule>& rules, bool dryRun, std::stop_token stop = {}) const;
    /// Stages 10 to 14 on the store's thread; where each row's file is. A dry run, or a plan
    /// without moves, returns at once. The plan's moves go into the batch's
    /// record, so a plan is given up to it (a copy of it where it is still wanted).
    /// `beforeFirstMove` is the executor's (`BatchOptions::beforeFirstMove`): what it throws
    /// drops the batch before any file moves.
    std::vector<FileURL> commit(
        AutomationPlan plan, const std::function<void()>& beforeFirstMove = {}) const;

    /// Renames `urls` with `rules` (the whole stack, disabled rules included), or with
    /// `dryRun` only plans; returns where each row's file is (a dry run: would go). Fails with
    /// `AutomationError`, `CancellationError`, or the platform's or engine's error unchanged.
    std::vector<FileURL> run(std::vector<FileURL> urls, const std::vector<Rule>& rules, bool dryRun,
        std::stop_token stop = {}, const std::function<void()>& beforeFirstMove = {}) const;

private:
    RenamerStore& m_store;
    std::shared_ptr<PreviewServices> m_services;
};

/// `AutomationRunner::run` on the process-wide store with the installed services.
std::vector<FileURL> runPresetAutomation(std::vector<FileURL> urls, const std::vector<Rule>& rules,
    bool dryRun, std::stop_token stop = {}, const std::function<void()>& beforeFirstMove = {});

/// `urls` in order without repeats: a URL whose standardized path came before is dropped.
std::vector<FileURL> uniqueURLs(const std::vector<FileURL>& urls);
/// The same of URLs the caller gives up: the kept ones are moved, not copied.
std::vector<FileURL> uniqueURLs(std::vector<FileURL>&& urls);

/// One new included item per URL, numbered from 0 in order, and with `fingerprints` each
/// file's fingerprint from the same read. Fails with `AutomationError` when a URL's folder is
/// not granted, or with the error of reading its values; the first failing URL ends the walk.
/// Each folder's grant is looked up once.
std::vector<FileItem> fileItems(const std::vector<FileURL>& urls, const FolderAccessManager& access,
    std::vector<FileFingerprint>* fingerprints = nullptr);
/// `fileItems` inside the granted folders `grantedFolders`.
std::vector<FileItem> fileItems(const std::vector<FileURL>& urls,
    const std::vector<FileURL>& grantedFolders,
    std::vector<FileFingerprint>* fingerprints = nullptr);
/// The same for URLs the caller gives up: the items take their paths over, and `urls` is
/// used up.
std::vector<FileItem> fileItems(std::vector<FileURL>&& urls,
    const std::vector<FileURL>& grantedFolders,
    std::vector<FileFingerprint>* fingerprints = nullptr);

} // namespace sorvik
