#pragma once

#include "engine/model/file_item.h"
#include "engine/model/metadata_dictionary.h"
#include "engine/model/rule.h"
#include "engine/pipeline/prepared_rules.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace sorvik::RenamePipeline {

inline constexpr std::string_view nestedFolderReason
    = "Rename parent folders separately from their contents";
inline constexpr std::string_view invalidExpressionReason = "Invalid regular expression";
inline constexpr std::string_view invalidListReason = "Invalid CSV";
inline constexpr std::string_view missingListEntryReason = "No matching list entry";
inline constexpr std::string_view invalidSubfolderReason = "Invalid subfolder path";
inline constexpr std::string_view escapingSubfolderReason = "Subfolder escapes the granted folder";

/// The path followed by one "/": what every path inside that folder begins with. The root
/// stays "/", so that the files directly in it count as inside it.
std::string folderPrefix(std::string_view path);

/// The subfolder problem of each list position that has one.
using SubfolderProblems = std::unordered_map<std::size_t, std::string>;
/// How many included files aim at each target, by collision key (`RenameEngine::collisionKey`).
/// The keys view texts that the caller keeps.
using TargetCounts = std::unordered_map<std::string_view, std::int64_t>;

/// The status of each row of a run, once every new name and target is known.
///
/// The tests run in a fixed order and the first that applies decides: the item is excluded
/// (`skipped`); its name is not valid UTF-8; its subfolder was refused; it is a folder listed
/// together with something inside it, or lies inside a listed folder; a rule that applies to
/// it cannot do its work (an expression that does not compile, a list that does not parse or
/// has no entry for it); the AI naming failed for it while an AI rule is on; the new name
/// cannot be used (`unchanged` when it is the current one); another included file aims at
/// the same target (`conflict`); the target is the file itself (`unchanged`); else `ready`.
/// Folder nesting is looked up in sorted path lists, so a run costs n log n, not n².
class RowBlockers {
public:
    /// Every argument is kept by reference and must outlive the object. `items` are the
    /// effective items (inclusion of pair groups settled), `indexes` the numbers the rows were
    /// given, and `sharedTargets` the number of included rows aiming at each included row's
    /// target (itself counted), by position.
    RowBlockers(const std::vector<FileItem>& items, const std::vector<FileItem>& directories,
        const PreparedRules& rules, const std::vector<std::int64_t>& indexes,
        const MetadataMap& metadata, const std::vector<std::string>& newNames,
        const std::vector<std::int64_t>& sharedTargets, const std::vector<FileURL>& targets,
        const SubfolderProblems& subfolderProblems);

    /// The status of the row at `position`, whose effective item is `item`.
    RenameStatus status(std::size_t position, const FileItem& item) const;

private:
    bool isListedWithContents(const FileItem& item) const;
    bool isInsideListedFolder(const FileItem& item) const;
    std::optional<std::string> ruleProblem(std::size_t position, const FileItem& item) const;

    const PreparedRules& m_rules;
    const std::vector<std::int64_t>& m_indexes;
    const MetadataMap& m_metadata;
    const std::vector<std::string>& m_newNames;
    const std::vector<std::int64_t>& m_sharedTargets;
    const std::vector<FileURL>& m_targets;
    const SubfolderProblems& m_subfolderProblems;
    /// Paths of every item and of every directory, sorted, with the owner's id.
    std::vector<std::pair<std::string_view, const Uuid*>> m_itemPaths;
    std::vector<std::pair<std::string_view, const Uuid*>> m_directoryPaths;
};

/// The status of one row, from its position, its effective item, the run's subfolder
/// problems, effective items, directory items, rules, indexes, metadata, new names, target
/// counts and targets. Prepares the whole run for one row: a caller with many rows builds
/// one `RowBlockers` instead.
RenameStatus blockers(std::size_t position, const FileItem& item,
    const SubfolderProblems& subfolderProblems, const std::vector<FileItem>& items,
    const std::vector<FileItem>& directories, const std::vector<Rule>& rules,
    const std::vector<std::int64_t>& indexes, const MetadataMap& metadata,
    const std::vector<std::string>& newNames, const TargetCounts& targetCounts,
    const std::vector<FileURL>& targets);

} // namespace sorvik::RenamePipeline
