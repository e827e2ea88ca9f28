#include "engine/pipeline/rename_pipeline.h"

#include "engine/model/text.h"
#include "engine/pipeline/prepared_rules.h"
#include "engine/pipeline/row_blockers.h"
#include "engine/pipeline/token_resolver.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include <sys/stat.h>

namespace sorvik::RenamePipeline {

namespace {

    bool isRawExtension(std::string_view ext)
    {
        // The list is ASCII, so only ASCII letters need folding; other bytes never match.
        return std::any_of(rawExtensions.begin(), rawExtensions.end(), [ext](std::string_view raw) {
            return std::equal(ext.begin(), ext.end(), raw.begin(), raw.end(), [](char a, char b) {
                return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
            });
        });
    }

    /// The folder part of an item's path, the key of the per-folder counter.
    std::string_view folderPathOf(const FileItem& item)
    {
        std::string_view path = item.url.path;
        auto slash = path.rfind('/');
        return slash == std::string_view::npos || slash == 0 ? std::string_view("/")
                                                             : path.substr(0, slash);
    }

    /// A companion's new name: the leader's new base name with the companion's own new
    /// extension, unless either name is unusable, in which case its own name stands.
    std::string companionName(const std::string& leaderName, std::string ownName)
    {
        if (RenameEngine::validate(ownName) || RenameEngine::validate(leaderName))
            return ownName;
        std::string composed = baseNameOfName(leaderName);
        std::string ext = extensionOfName(ownName);
        if (!ext.empty())
            composed.append(".").append(ext);
        return composed;
    }

    /// Whether an organize rule's text may name a subfolder: relative, and every component
    /// a usable name without "\" (so no empty, "." or ".." component).
    bool isAcceptableSubfolder(std::string_view subfolder)
    {
        if (subfolder.starts_with('/'))
            return false;
        std::size_t start = 0;
        while (true) {
            auto slash = subfolder.find('/', start);
            std::string_view component = subfolder.substr(
                start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
            if (RenameEngine::validate(component) || component.find('\\') != std::string_view::npos)
                return false;
            if (slash == std::string_view::npos)
                return true;
            start = slash + 1;
        }
    }

    /// Where paths really lead, with symbolic links resolved, remembered for one run.
    class PathResolver {
    public:
        /// The path with its longest existing part resolved by the file system and the rest
        /// (which cannot hold links yet) appended; nothing when an existing part cannot be
        /// resolved, such as a dangling or looping link.
        const std::optional<std::string>& resolved(const std::string& path)
        {
            auto [entry, isNew] = m_cache.try_emplace(path);
            if (isNew)
                entry->second = resolve(path);
            return entry->second;
        }

        /// Whether `candidate` really lies inside `folder`.
        bool isInside(const FileURL& folder, const FileURL& candidate)
        {
            std::optional<std::string> folderPath = resolved(folder.standardized().path);
            if (!folderPath)
                return false;
            const auto& candidatePath = resolved(candidate.standardized().path);
            return candidatePath && candidatePath->starts_with(folderPrefix(*folderPath));
        }

    private:
        static std::optional<std::string> resolve(const std::string& path)
        {
            std::string existing = path;
            std::string_view missing;
            struct stat status { };
            while (existing != "/" && ::lstat(existing.c_str(), &status) != 0) {
                auto slash = existing.rfind('/');
                missing = std::string_view(path).substr(slash == 0 ? 0 : slash);
                existing.resize(slash == 0 ? 1 : slash);
            }
            char* real = ::realpath(existing.c_str(), nullptr);
            if (!real)
                return std::nullopt;
            std::string result = real;
            std::free(real);
            if (!missing.empty()) {
                if (result == "/")
                    result.clear();
                result.append(missing);
            }
            return FileURL(result).standardized().path;
        }

        std::unordered_map<std::string, std::optional<std::string>> m_cache;
    };

    /// Answers of the caller's existence test, asked once per path.
    class ExistenceCache {
    public:
        explicit ExistenceCache(const ExistenceTest& fileExists)
            : m_fileExists(fileExists)
        {
        }

        bool exists(const FileURL& url)
        {
            auto [entry, isNew] = m_answers.try_emplace(url.path, false);
            if (isNew)
                entry->second = m_fileExists(url);
            return entry->second;
        }

    private:
        const ExistenceTest& m_fileExists;
        std::unordered_map<std::string, bool> m_answers;
    };

    /// Rows whose target is already taken lose their ready status, unless another ready row
    /// moves that very file away. A row that loses it no longer vacates its own source, so
    /// the rows that counted on it are looked at again, until nothing changes.
    void blockTakenTargets(const std::vector<FileItem>& items, const std::vector<FileURL>& targets,
        const std::vector<std::string>& targetKeys, std::vector<RenameStatus>& statuses,
        const ExistenceTest& fileExists, const SameFileTest& isSameFile)
    {
        std::vector<std::size_t> pending;
        for (std::size_t position = 0; position < statuses.size(); ++position) {
            if (statuses[position].kind == RenameStatus::Kind::ready)
                pending.push_back(position);
        }
        if (pending.empty())
            return;
        std::vector<std::string> sourceKeys(items.size());
        std::unordered_map<std::string_view, std::vector<std::size_t>> sourcesByKey;
        for (std::size_t position : pending) {
            sourceKeys[position] = RenameEngine::collisionKey(items[position].url);
            sourcesByKey[sourceKeys[position]].push_back(position);
        }
        // Rows that counted on a source under a key moving away, by that key.
        std::unordered_map<std::string_view, std::vector<std::size_t>> waiting;
        ExistenceCache existence(fileExists);
        auto isReady = [&statuses](std::size_t position) {
            return statuses[position].kind == RenameStatus::Kind::ready;
        };
        // On a volume that tells letter case apart, a key shared with a source does not make
        // the target that source: only its exact path does, or the file system saying so.
        auto isVacated = [&](std::size_t position) {
            auto sources = sourcesByKey.find(targetKeys[position]);
            if (sources == sourcesByKey.end())
                return false;
            const FileURL& target = targets[position];
            std::string targetPath = target.standardized().path;
            return std::any_of(
                sources->second.begin(), sources->second.end(), [&](std::size_t source) {
                    if (source == position || !isReady(source))
                        return false;
                    const FileURL& sourceURL = items[source].url;
                    return sourceURL.standardized().path == targetPath
                        || isSameFile(target, sourceURL);
                });
        };

        for (std::size_t next = 0; next < pending.size(); ++next) {
            std::size_t position = pending[next];
            if (!isReady(position))
                continue;
            const FileURL& target = targets[position];
            if (!existence.exists(target))
                continue;
            // A change of letter case only meets the file itself, unless the volume holds
            // another file under the new spelling.
            if (targetKeys[position] == sourceKeys[position]
                && isSameFile(target, items[position].url))
                continue;
            if (isVacated(position)) {
                waiting[targetKeys[position]].push_back(position);
                continue;
            }
            statuses[position]
                = RenameStatus::conflict(std::string(RenameEngine::fileExistsReason));
            if (auto counting = waiting.find(sourceKeys[position]); counting != waiting.end()) {
                pending.insert(pending.end(), counting->second.begin(), counting->second.end());
                counting->second.clear();
            }
        }
    }

} // namespace

std::string applyRules(const std::vector<Rule>& rules, const RenameContext& context)
{
    return PreparedRules(rules).apply(context);
}

std::vector<PreviewRow> preview(const std::vector<FileItem>& items, const std::vector<Rule>& rules,
    const MetadataMap& metadata, Date now, const ExistenceTest& fileExists,
    const SameFileTest& isSameFile)
{
    if (items.empty())
        return {};
    const PreparedRules prepared(rules);
    const MetadataDictionary noMetadata;
    auto metadataOf = [&](const FileItem& item) -> const MetadataDictionary& {
        auto found = metadata.find(item.id);
        return found == metadata.end() ? noMetadata : found->second;
    };
    const std::size_t count = items.size();

    // A pair group with an excluded member is excluded whole.
    std::vector<FileItem> effective = items;
    std::unordered_set<Uuid> brokenGroups;
    for (const FileItem& item : items) {
        if (item.pairGroup && !item.included)
            brokenGroups.insert(*item.pairGroup);
    }
    // The leader of a group is its first RAW member in list order.
    std::unordered_map<Uuid, std::size_t> rawLeaders;
    for (std::size_t position = 0; position < count; ++position) {
        FileItem& item = effective[position];
        if (!item.pairGroup)
            continue;
        if (brokenGroups.contains(*item.pairGroup))
            item.included = false;
        if (isRawExtension(item.ext()))
            rawLeaders.try_emplace(*item.pairGroup, position);
    }

    // New names. The run counter numbers included files, a pair group once.
    std::vector<std::string> newNames(count);
    std::vector<std::int64_t> indexes(count, -1);
    struct LeaderName {
        std::string name;
        std::int64_t index = 0;
        std::int64_t folderIndex = 0;
    };
    std::unordered_map<Uuid, LeaderName> leaderNames;
    std::unordered_map<std::string_view, std::int64_t> folderCounts;
    std::int64_t counter = 0;
    for (std::size_t position = 0; position < count; ++position) {
        const FileItem& item = effective[position];
        if (!item.included) {
            newNames[position] = item.name();
            continue;
        }
        std::int64_t& folderCount = folderCounts[folderPathOf(item)];
        RenameContext context(item, counter, now, metadataOf(item));
        context.folderIndex = folderCount;
        if (item.pairGroup) {
            if (auto leader = leaderNames.find(*item.pairGroup); leader != leaderNames.end()) {
                context.index = leader->second.index;
                context.folderIndex = leader->second.folderIndex;
                indexes[position] = leader->second.index;
                newNames[position] = companionName(leader->second.name, prepared.apply(context));
                continue;
            }
        }
        indexes[position] = counter;
        std::string ownName = prepared.apply(context);
        if (item.pairGroup) {
            auto rawLeader = rawLeaders.find(*item.pairGroup);
            std::size_t leaderPosition
                = rawLeader == rawLeaders.end() ? position : rawLeader->second;
            std::string leaderName;
            if (leaderPosition == position) {
                leaderName = ownName;
            } else {
                const FileItem& leader = effective[leaderPosition];
                RenameContext leaderContext(leader, counter, now, metadataOf(leader));
                leaderContext.folderIndex = context.folderIndex;
                leaderName = prepared.apply(leaderContext);
                ownName = companionName(leaderName, std::move(ownName));
            }
            leaderNames.emplace(*item.pairGroup,
                LeaderName { std::move(leaderName), counter, context.folderIndex });
        }
        newNames[position] = std::move(ownName);
        ++counter;
        ++folderCount;
    }

    // Destinations: the file's own folder, or the subfolder of the last organize rule that
    // gives an acceptable one inside it.
    std::vector<std::size_t> organizeRules;
    for (std::size_t rule = 0; rule < rules.size(); ++rule) {
        if (rules[rule].isEnabled
            && std::holds_alternative<OrganizeConfig>(rules[rule].kind.config))
            organizeRules.push_back(rule);
    }
    SubfolderProblems subfolderProblems;
    PathResolver resolver;
    auto destinationOf = [&](std::size_t position, const FileItem& item) {
        FileURL folder = item.folderURL();
        FileURL destination = folder;
        // A name that is not text stays where it is, untouched by any template.
        if (organizeRules.empty() || !text::isValidUtf8(item.name()))
            return destination;
        for (std::size_t rule : organizeRules) {
            if (!prepared.applies(rule, item))
                continue;
            RenameContext context(
                item, static_cast<std::int64_t>(position), Date::now(), metadataOf(item));
            std::string subfolder = TokenResolver::render(
                std::get<OrganizeConfig>(rules[rule].kind.config).templateText, context,
                item.baseName(), item.ext());
            if (!isAcceptableSubfolder(subfolder)) {
                subfolderProblems[position] = std::string(invalidSubfolderReason);
                continue;
            }
            FileURL candidate = folder.appending(subfolder, true);
            if (resolver.isInside(folder, candidate))
                destination = std::move(candidate);
            else
                subfolderProblems[position] = std::string(escapingSubfolderReason);
        }
        return destination;
    };
    std::vector<FileURL> targets;
    targets.reserve(count);
    for (std::size_t position = 0; position < count; ++position) {
        const FileItem& item = effective[position];
        targets.push_back(
            destinationOf(position, item).appending(newNames[position], item.isDirectory));
    }

    // Collisions among the targets of included files, ignoring letter case.
    std::vector<std::string> targetKeys(count);
    TargetCounts targetCounts;
    targetCounts.reserve(count);
    for (std::size_t position = 0; position < count; ++position) {
        if (!effective[position].included)
            continue;
        targetKeys[position] = RenameEngine::collisionKey(targets[position]);
        ++targetCounts[targetKeys[position]];
    }

    std::vector<FileItem> directories;
    std::copy_if(effective.begin(), effective.end(), std::back_inserter(directories),
        [](const FileItem& item) { return item.isDirectory; });

    std::vector<RenameStatus> statuses;
    statuses.reserve(count);
    {
        RowBlockers rowBlockers(effective, directories, prepared, indexes, metadata, newNames,
            targetKeys, targetCounts, targets, subfolderProblems);
        for (std::size_t position = 0; position < count; ++position)
            statuses.push_back(rowBlockers.status(position, effective[position]));
    }
    blockTakenTargets(effective, targets, targetKeys, statuses, fileExists, isSameFile);

    // The working lists are no longer needed once the rows take over their texts.
    targetCounts = {};
    targetKeys = {};
    std::vector<PreviewRow> rows;
    rows.reserve(count);
    for (std::size_t position = 0; position < count; ++position) {
        rows.emplace_back(std::move(effective[position]), std::move(newNames[position]),
            std::move(statuses[position]), std::move(targets[position]));
    }
    return rows;
}

} // namespace sorvik::RenamePipeline
