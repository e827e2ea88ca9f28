#include "engine/pipeline/row_blockers.h"

#include "engine/model/text.h"
#include "engine/pipeline/rename_engine.h"

#include <unordered_map>

namespace sorvik::RenamePipeline {

namespace {

    constexpr std::string_view aiErrorKey = "ai.error";

    /// Calls `visit` with every folder path that, followed by "/", begins `path`: the root,
    /// then the text up to each later "/".
    template <class Visit> void forEachEnclosingFolder(std::string_view path, Visit visit)
    {
        if (path.size() > 1 && path.front() == '/')
            visit(std::string_view("/"));
        for (auto slash = path.find('/', 1); slash != std::string_view::npos;
             slash = path.find('/', slash + 1))
            visit(path.substr(0, slash));
    }

    /// Whether two names are the same text: canonically equivalent, or byte for byte when
    /// either is not UTF-8.
    bool isSameName(std::string_view first, std::string_view second)
    {
        if (first == second)
            return true;
        if (!text::isValidUtf8(first) || !text::isValidUtf8(second))
            return false;
        return text::canonicallyEqual(first, second);
    }

    /// The item's name (the last path component) without a copy.
    std::string_view nameOf(const FileItem& item)
    {
        std::string_view path = item.url.path;
        if (path == "/")
            return path;
        return path.substr(path.rfind('/') + 1);
    }

    bool isSamePlace(const FileURL& first, const FileURL& second)
    {
        if (first.isStandardized() && second.isStandardized())
            return first.path == second.path;
        return first.standardized().path == second.standardized().path;
    }

} // namespace

RowBlockers::RowBlockers(const std::vector<PreviewRow>& rows,
    const std::vector<FileItem>& directories, const PreparedRules& rules,
    const std::vector<std::int64_t>& indexes, const MetadataMap& metadata,
    const std::vector<std::int64_t>& sharedTargets, const SubfolderProblems& subfolderProblems)
    : m_rows(rows)
    , m_rules(rules)
    , m_indexes(indexes)
    , m_metadata(metadata)
    , m_sharedTargets(sharedTargets)
    , m_subfolderProblems(subfolderProblems)
{
    // Without a listed folder nothing can be nested.
    if (directories.empty())
        return;
    // One pass over every row and the folders that enclose it, each looked up by path: the
    // listed folders that hold the row, and the folder rows that it lies in.
    std::unordered_multimap<std::string_view, const Uuid*> listedFolders;
    for (const FileItem& directory : directories)
        listedFolders.emplace(directory.url.path, &directory.id);
    std::unordered_multimap<std::string_view, std::size_t> folderRows;
    for (std::size_t position = 0; position < rows.size(); ++position) {
        if (rows[position].item.isDirectory)
            folderRows.emplace(rows[position].item.url.path, position);
    }
    m_isNested.assign(rows.size(), false);
    for (std::size_t position = 0; position < rows.size(); ++position) {
        const FileItem& item = rows[position].item;
        forEachEnclosingFolder(item.url.path, [&](std::string_view folder) {
            auto [listed, listedEnd] = listedFolders.equal_range(folder);
            for (; listed != listedEnd; ++listed) {
                if (*listed->second != item.id)
                    m_isNested[position] = true;
            }
            auto [folderRow, folderRowsEnd] = folderRows.equal_range(folder);
            for (; folderRow != folderRowsEnd; ++folderRow) {
                if (rows[folderRow->second].item.id != item.id)
                    m_isNested[folderRow->second] = true;
            }
        });
    }
}

std::optional<std::string> RowBlockers::ruleProblem(
    std::size_t position, const FileItem& item) const
{
    const auto& rules = m_rules.rules();
    for (std::size_t rule = 0; rule < rules.size(); ++rule) {
        const auto& config = rules[rule].kind.config;
        bool canFail = std::holds_alternative<ReplaceConfig>(config)
            || std::holds_alternative<ListConfig>(config);
        if (!canFail || !m_rules.applies(rule, item))
            continue;
        const auto& preparation = m_rules.preparation(rule);
        if (const auto* replace = std::get_if<ReplaceConfig>(&config)) {
            if (replace->regex && !replace->find.empty() && preparation.hasInvalidExpression)
                return std::string(invalidExpressionReason);
            continue;
        }
        const auto& list = std::get<ListConfig>(config);
        if (!preparation.listRows)
            return std::string(invalidListReason);
        const auto& listRows = *preparation.listRows;
        if (!list.byName) {
            std::int64_t index = m_indexes[position];
            if (index < 0 || static_cast<std::uint64_t>(index) >= listRows.size())
                return std::string(missingListEntryReason);
            continue;
        }
        if (listRows.empty() || !m_rules.listRowMatching(rule, item))
            return std::string(missingListEntryReason);
    }
    return std::nullopt;
}

RenameStatus RowBlockers::status(std::size_t position) const
{
    const FileItem& item = m_rows[position].item;
    if (!item.included)
        return RenameStatus::skipped();
    std::string_view name = nameOf(item);
    // A name that cannot be read as text is never run through the rules, and never renamed.
    if (!text::isValidUtf8(name))
        return RenameStatus::invalid(std::string(RenameEngine::invalidCharacterReason));
    if (auto problem = m_subfolderProblems.find(position); problem != m_subfolderProblems.end())
        return RenameStatus::invalid(problem->second);
    if (!m_isNested.empty() && m_isNested[position])
        return RenameStatus::invalid(std::string(nestedFolderReason));
    if (auto problem = ruleProblem(position, item))
        return RenameStatus::invalid(std::move(*problem));
    if (m_rules.hasEnabledAIRule()) {
        if (auto metadata = m_metadata.find(item.id); metadata != m_metadata.end()) {
            if (auto error = metadata->second.find(aiErrorKey); error != metadata->second.end())
                return RenameStatus::invalid(error->second);
        }
    }
    const std::string& newName = m_rows[position].newName;
    if (auto reason = RenameEngine::validate(newName)) {
        if (!isSameName(newName, name))
            return RenameStatus::invalid(std::move(*reason));
        // A name kept as it is needs no judging, only a new one does; the file stays
        // unchanged unless an organize rule moves it to another folder, name and all.
        if (folderPathOf(m_rows[position].targetURL.path) == folderPathOf(item.url.path))
            return RenameStatus::unchanged();
    }
    if (m_sharedTargets[position] > 1)
        return RenameStatus::conflict(std::string(RenameEngine::duplicateNameReason));
    if (isSamePlace(m_rows[position].targetURL, item.url))
        return RenameStatus::unchanged();
    return RenameStatus::ready();
}

RenameStatus blockers(std::size_t position, const FileItem& item,
    const SubfolderProblems& subfolderProblems, const std::vector<FileItem>& items,
    const std::vector<FileItem>& directories, const std::vector<Rule>& rules,
    const std::vector<std::int64_t>& indexes, const MetadataMap& metadata,
    const std::vector<std::string>& newNames, const TargetCounts& targetCounts,
    const std::vector<FileURL>& targets)
{
    std::vector<PreviewRow> rows;
    rows.reserve(items.size());
    for (std::size_t index = 0; index < items.size(); ++index)
        rows.emplace_back(index == position ? item : items[index], newNames[index],
            RenameStatus::unchanged(), targets[index]);
    std::vector<std::int64_t> sharedTargets(rows.size(), 0);
    std::string key = RenameEngine::collisionKey(targets[position]);
    if (auto found = targetCounts.find(key); found != targetCounts.end())
        sharedTargets[position] = found->second;
    PreparedRules prepared(rules);
    return RowBlockers(
        rows, directories, prepared, indexes, metadata, sharedTargets, subfolderProblems)
        .status(position);
}

} // namespace sorvik::RenamePipeline
