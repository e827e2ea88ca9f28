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
#include <vector>

namespace sorvik::RenamePipeline {

inline constexpr std::string_view nestedFolderReason
    = "Rename parent folders separately from their contents";
inline constexpr std::string_view invalidExpressionReason = "Invalid regular expression";
inline constexpr std::string_view invalidListReason = "Invalid CSV";
inline constexpr std::string_view missingListEntryReason = "No matching list entry";
inline constexpr std::string_view invalidSubfolderReason = "Invalid subfolder path";
inline constexpr std::string_view escapingSubfolderReason = "Subfolder escapes the granted folder";
/// What the disk says of a row that would move.
inline constexpr std::string_view missingFileReason = "File not found";
inline constexpr std::string_view listedTwiceReason = "Same file listed twice";
inline constexpr std::string_view subfolderIsFileReason = "Subfolder name is taken by a file";
inline constexpr std::string_view unusableSubfolderReason = "Subfolder can't be opened";

/// The subfolder problem of each list position that has one.
using SubfolderProblems = std::unordered_map<std::size_t, std::string>;
/// How many included files aim at each target, by collision key (`RenameEngine::collisionKey`).
using TargetCounts = std::unordered_map<std::string, std::int64_t>;

/// The status of each row of a run, once every new name and target is known.
///
/// The tests run in a fixed order and the first that applies decides: the item is excluded
/// (`skipped`); its name is not valid UTF-8; its subfolder was refused; it is a folder listed
/// together with something inside it, or lies inside a listed folder; a rule that applies to
/// it cannot do its work (an expression that does not compile, a list that does not parse or
/// has no entry for it); the AI naming failed for it while an AI rule is on; the new name
/// cannot be used (`unchanged` when it is the current one and the file stays in its folder: a
/// kept name is never judged, so a file an organize rule moves keeps its name, a hidden one
/// too); another included file aims at
/// the same target (`conflict`); the target is the file itself (`unchanged`); else `ready`.
/// Folder nesting is found in one pass over the rows and their enclosing folders, looked up
/// by path, so a run costs the rows times their depth, never the rows squared.
class RowBlockers {
public:
    /// Every argument is kept by reference and must outlive the object. `rows` hold each
    /// row's effective item (inclusion of pair groups settled), new name and target;
    /// `indexes` are the numbers the rows were given, and `sharedTargets` the number of
    /// included rows aiming at each included row's target (itself counted).
    RowBlockers(const std::vector<PreviewRow>& rows, const std::vector<FileItem>& directories,
        const PreparedRules& rules, const std::vector<std::int64_t>& indexes,
        const MetadataMap& metadata, const std::vector<std::int64_t>& sharedTargets,
        const SubfolderProblems& subfolderProblems);

    /// The status of the row at `position`.
    RenameStatus status(std::size_t position) const;

private:
    std::optional<std::string> ruleProblem(std::size_t position, const FileItem& item) const;

    const std::vector<PreviewRow>& m_rows;
    const PreparedRules& m_rules;
    const std::vector<std::int64_t>& m_indexes;
    const MetadataMap& m_metadata;
    const std::vector<std::int64_t>& m_sharedTargets;
    const SubfolderProblems& m_subfolderProblems;
    /// Per row: a folder listed together with something inside it, or something inside a
    /// listed folder. Empty when no folder is listed.
    std::vector<bool> m_isNested;
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
