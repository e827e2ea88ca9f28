#include "engine/pipeline/row_blockers.h"

#include "engine/model/text.h"
#include "engine/pipeline/rename_engine.h"

#include <algorithm>

namespace sorvik::RenamePipeline {

namespace {

    constexpr std::string_view aiErrorKey = "ai.error";

    using PathEntry = std::pair<std::string_view, const Uuid*>;

    bool pathIsLess(const PathEntry& entry, std::string_view path) { return entry.first < path; }

    std::vector<PathEntry> sortedPaths(const std::vector<FileItem>& items)
    {
        std::vector<PathEntry> paths;
        paths.reserve(items.size());
        for (const FileItem& item : items)
            paths.emplace_back(item.url.path, &item.id);
        std::sort(paths.begin(), paths.end(), [](const PathEntry& first, const PathEntry& second) {
            return first.first < second.first;
        });
        return paths;
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

std::string folderPrefix(std::string_view path)
{
    std::string prefix(path);
    if (prefix.empty() || prefix.back() != '/')
        prefix.push_back('/');
    return prefix;
}

RowBlockers::RowBlockers(const std::vector<FileItem>& items,
    const std::vector<FileItem>& directories, const PreparedRules& rules,
    const std::vector<std::int64_t>& indexes, const MetadataMap& metadata,
    const std::vector<std::string>& newNames, const std::vector<std::int64_t>& sharedTargets,
    const std::vector<FileURL>& targets, const SubfolderProblems& subfolderProblems)
    : m_rules(rules)
    , m_indexes(indexes)
    , m_metadata(metadata)
    , m_newNames(newNames)
    , m_sharedTargets(sharedTargets)
    , m_targets(targets)
    , m_subfolderProblems(subfolderProblems)
{
    // Without a listed folder nothing can be nested, and the list of every path is not needed.
    if (directories.empty())
        return;
    m_itemPaths = sortedPaths(items);
    m_directoryPaths = sortedPaths(directories);
}

bool RowBlockers::isListedWithContents(const FileItem& item) const
{
    if (!item.isDirectory)
        return false;
    std::string prefix = folderPrefix(item.url.path);
    for (auto entry = std::lower_bound(m_itemPaths.begin(), m_itemPaths.end(), prefix, pathIsLess);
         entry != m_itemPaths.end() && entry->first.starts_with(prefix); ++entry) {
        if (*entry->second != item.id)
            return true;
    }
    return false;
}

bool RowBlockers::isInsideListedFolder(const FileItem& item) const
{
    if (m_directoryPaths.empty())
        return false;
    std::string_view path = item.url.path;
    // Every folder whose path followed by "/" begins this one: the root, then each text up
    // to a later "/".
    auto isListedOtherThanItem = [&](std::string_view folder) {
        auto entry = std::lower_bound(
            m_directoryPaths.begin(), m_directoryPaths.end(), folder, pathIsLess);
        for (; entry != m_directoryPaths.end() && entry->first == folder; ++entry) {
            if (*entry->second != item.id)
                return true;
        }
        return false;
    };
    if (path.size() > 1 && path.front() == '/' && isListedOtherThanItem("/"))
        return true;
    for (auto slash = path.find('/', 1); slash != std::string_view::npos;
         slash = path.find('/', slash + 1)) {
        if (isListedOtherThanItem(path.substr(0, slash)))
            return true;
    }
    return false;
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

RenameStatus RowBlockers::status(std::size_t position, const FileItem& item) const
{
    if (!item.included)
        return RenameStatus::skipped();
    std::string_view name = nameOf(item);
    // A name that cannot be read as text is never run through the rules, and never renamed.
    if (!text::isValidUtf8(name))
        return RenameStatus::invalid(std::string(RenameEngine::invalidCharacterReason));
    if (auto problem = m_subfolderProblems.find(position); problem != m_subfolderProblems.end())
        return RenameStatus::invalid(problem->second);
    if (isListedWithContents(item) || isInsideListedFolder(item))
        return RenameStatus::invalid(std::string(nestedFolderReason));
    if (auto problem = ruleProblem(position, item))
        return RenameStatus::invalid(std::move(*problem));
    if (m_rules.hasEnabledAIRule()) {
        if (auto metadata = m_metadata.find(item.id); metadata != m_metadata.end()) {
            if (auto error = metadata->second.find(aiErrorKey); error != metadata->second.end())
                return RenameStatus::invalid(error->second);
        }
    }
    const std::string& newName = m_newNames[position];
    if (auto reason = RenameEngine::validate(newName)) {
        if (isSameName(newName, name))
            return RenameStatus::unchanged();
        return RenameStatus::invalid(std::move(*reason));
    }
    if (m_sharedTargets[position] > 1)
        return RenameStatus::conflict(std::string(RenameEngine::duplicateNameReason));
    if (isSamePlace(m_targets[position], item.url))
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
    PreparedRules prepared(rules);
    std::vector<std::int64_t> sharedTargets(targets.size(), 0);
    if (position < targets.size()) {
        std::string key = RenameEngine::collisionKey(targets[position]);
        if (auto found = targetCounts.find(key); found != targetCounts.end())
            sharedTargets[position] = found->second;
    }
    RowBlockers rowBlockers(items, directories, prepared, indexes, metadata, newNames,
        sharedTargets, targets, subfolderProblems);
    return rowBlockers.status(position, item);
}

} // namespace sorvik::RenamePipeline
