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

    /// `name` inside the folder at `folderPath`, as `FileURL::appending` makes it, built in
    /// one piece.
    FileURL urlInFolder(std::string_view folderPath, std::string_view name, bool isDirectory)
    {
        std::string path;
        path.reserve(folderPath.size() + 1 + name.size());
        path.append(folderPath);
        if (path.empty() || path.back() != '/')
            path.push_back('/');
        path.append(name);
        if (path.size() > 1 && path.back() == '/')
            return FileURL(path, isDirectory);
        FileURL url;
        url.path = std::move(path);
        url.isDirectory = isDirectory;
        return url;
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

    /// For each included row, how many included rows share its collision key (itself
    /// counted). Rows are found by key in a flat table of hashes and row numbers: no node per
    /// key, and a key's text is read again only when its hash matches.
    std::vector<std::int64_t> sharedTargetCounts(
        const std::vector<FileItem>& items, const std::vector<std::string>& keys)
    {
        struct Slot {
            std::size_t hash = 0;
            std::size_t row = 0; // position + 1; 0 marks an empty slot
        };
        std::size_t capacity = 16;
        while (capacity < 2 * keys.size())
            capacity *= 2;
        const std::size_t mask = capacity - 1;
        std::vector<Slot> slots(capacity);
        std::vector<std::size_t> firstWithKey(keys.size());
        std::vector<std::int64_t> shared(keys.size(), 0);
        std::hash<std::string_view> hasher;
        for (std::size_t position = 0; position < keys.size(); ++position) {
            if (!items[position].included)
                continue;
            std::size_t hash = hasher(keys[position]);
            std::size_t index = hash & mask;
            while (slots[index].row != 0
                && (slots[index].hash != hash || keys[slots[index].row - 1] != keys[position]))
                index = (index + 1) & mask;
            if (slots[index].row == 0)
                slots[index] = { hash, position + 1 };
            firstWithKey[position] = slots[index].row - 1;
            ++shared[firstWithKey[position]];
        }
        for (std::size_t position = 0; position < keys.size(); ++position) {
            if (items[position].included)
                shared[position] = shared[firstWithKey[position]];
        }
        return shared;
    }

    /// Rows whose target is already taken lose their ready status, unless another ready row
    /// moves that very file away. A row that loses it no longer vacates its own source, so
    /// the rows that counted on it are looked at again, until nothing changes. The order in
    /// which rows are looked at does not change the outcome: a row that cannot keep its status
    /// while some rows are ready cannot keep it while fewer are.
    void blockTakenTargets(const std::vector<FileItem>& items, const std::vector<FileURL>& targets,
        const std::vector<std::string>& targetKeys, std::vector<RenameStatus>& statuses,
        const ExistenceTest& fileExists, const SameFileTest& isSameFile)
    {
        auto isReady = [&statuses](std::size_t position) {
            return statuses[position].kind == RenameStatus::Kind::ready;
        };
        std::vector<std::size_t> pending;
        for (std::size_t position = 0; position < statuses.size(); ++position) {
            if (isReady(position))
                pending.push_back(position);
        }
        // Ready rows aim at distinct paths (equal ones are duplicates), so one answer per row
        // is one answer per path.
        std::vector<signed char> answers(statuses.size(), -1);
        auto exists = [&](std::size_t position) {
            if (answers[position] < 0)
                answers[position] = fileExists(targets[position]) ? 1 : 0;
            return answers[position] == 1;
        };

        // What sources move away, by collision key; made only once a target is found taken.
        std::vector<std::string> sourceKeys;
        std::unordered_map<std::string_view, std::vector<std::size_t>> sourcesByKey;
        auto sourceKey = [&](std::size_t position) -> const std::string& {
            if (sourceKeys.empty()) {
                sourceKeys.resize(items.size());
                for (std::size_t ready = 0; ready < items.size(); ++ready) {
                    if (!isReady(ready))
                        continue;
                    sourceKeys[ready] = RenameEngine::collisionKey(items[ready].url);
                    sourcesByKey[sourceKeys[ready]].push_back(ready);
                }
            }
            return sourceKeys[position];
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
        // Rows that count on a source under a key moving away, by that key.
        std::unordered_map<std::string_view, std::vector<std::size_t>> waiting;

        for (std::size_t next = 0; next < pending.size(); ++next) {
            std::size_t position = pending[next];
            if (!isReady(position) || !exists(position))
                continue;
            // A change of letter case only meets the file itself, unless the volume holds
            // another file under the new spelling.
            const std::string& ownKey = sourceKey(position);
            if (targetKeys[position] == ownKey
                && isSameFile(targets[position], items[position].url))
                continue;
            if (isVacated(position)) {
                waiting[targetKeys[position]].push_back(position);
                continue;
            }
            statuses[position]
                = RenameStatus::conflict(std::string(RenameEngine::fileExistsReason));
            if (auto counting = waiting.find(ownKey); counting != waiting.end()) {
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

    // New names. The run counter numbers included files, a pair group once. One context
    // is filled for file after file, so that its texts keep their storage.
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
    // Files of one folder mostly follow each other in the list.
    std::string_view lastFolder;
    std::int64_t* lastFolderCount = nullptr;
    auto folderCountOf = [&](const FileItem& item) -> std::int64_t& {
        std::string_view folder = folderPathOf(item);
        if (!lastFolderCount || folder != lastFolder) {
            lastFolder = folder;
            lastFolderCount = &folderCounts[folder];
        }
        return *lastFolderCount;
    };
    RenameContext context;
    auto nameFor = [&](const FileItem& item, std::int64_t index, std::int64_t folderIndex) {
        context.item = item;
        context.index = index;
        context.folderIndex = folderIndex;
        context.now = now;
        context.metadata = metadataOf(item);
        return prepared.apply(context);
    };
    for (std::size_t position = 0; position < count; ++position) {
        const FileItem& item = effective[position];
        if (!item.included) {
            newNames[position] = item.name();
            continue;
        }
        std::int64_t& folderCount = folderCountOf(item);
        if (item.pairGroup) {
            if (auto leader = leaderNames.find(*item.pairGroup); leader != leaderNames.end()) {
                const LeaderName& entry = leader->second;
                indexes[position] = entry.index;
                newNames[position]
                    = companionName(entry.name, nameFor(item, entry.index, entry.folderIndex));
                continue;
            }
        }
        indexes[position] = counter;
        std::string ownName = nameFor(item, counter, folderCount);
        if (item.pairGroup) {
            auto rawLeader = rawLeaders.find(*item.pairGroup);
            std::size_t leaderPosition
                = rawLeader == rawLeaders.end() ? position : rawLeader->second;
            std::string leaderName = ownName;
            if (leaderPosition != position) {
                leaderName = nameFor(effective[leaderPosition], counter, folderCount);
                ownName = companionName(leaderName, std::move(ownName));
            }
            leaderNames.emplace(
                *item.pairGroup, LeaderName { std::move(leaderName), counter, folderCount });
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
    auto organizedFolder = [&](std::size_t position, const FileItem& item) {
        FileURL folder = item.folderURL();
        std::optional<FileURL> destination;
        for (std::size_t rule : organizeRules) {
            if (!prepared.applies(rule, item))
                continue;
            context.item = item;
            context.index = static_cast<std::int64_t>(position);
            context.folderIndex = 0;
            context.now = Date::now();
            context.metadata = metadataOf(item);
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
        std::optional<FileURL> organized;
        // A name that is not text stays where it is, untouched by any template.
        if (!organizeRules.empty() && text::isValidUtf8(item.name()))
            organized = organizedFolder(position, item);
        targets.push_back(
            urlInFolder(organized ? std::string_view(organized->path) : folderPathOf(item),
                newNames[position], item.isDirectory));
    }

    // Collisions among the targets of included files, ignoring letter case.
    std::vector<std::string> targetKeys(count);
    for (std::size_t position = 0; position < count; ++position) {
        if (effective[position].included)
            targetKeys[position] = RenameEngine::collisionKey(targets[position]);
    }
    std::vector<std::int64_t> sharedTargets = sharedTargetCounts(effective, targetKeys);

    std::vector<FileItem> directories;
    std::copy_if(effective.begin(), effective.end(), std::back_inserter(directories),
        [](const FileItem& item) { return item.isDirectory; });

    std::vector<RenameStatus> statuses;
    statuses.reserve(count);
    {
        RowBlockers rowBlockers(effective, directories, prepared, indexes, metadata, newNames,
            sharedTargets, targets, subfolderProblems);
        for (std::size_t position = 0; position < count; ++position)
            statuses.push_back(rowBlockers.status(position, effective[position]));
    }
    blockTakenTargets(effective, targets, targetKeys, statuses, fileExists, isSameFile);

    // The working lists are no longer needed once the rows take over their texts.
    sharedTargets = {};
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
