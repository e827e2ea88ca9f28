#include "engine/pipeline/rename_pipeline.h"

#include "engine/model/flat_slots.h"
#include "engine/model/text.h"
#include "engine/pipeline/prepared_rules.h"
#include "engine/pipeline/real_path.h"
#include "engine/pipeline/row_blockers.h"
#include "engine/pipeline/token_resolver.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <type_traits>
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

    /// The path followed by one "/": what every path inside that folder begins with. The
    /// root stays "/", so that what lies directly in it counts as inside it.
    std::string folderPrefix(std::string_view path)
    {
        std::string prefix(path);
        if (prefix.empty() || prefix.back() != '/')
            prefix.push_back('/');
        return prefix;
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
            return RealPath::resolve(path);
        }

        std::unordered_map<std::string, std::optional<std::string>> m_cache;
    };

    /// Appends the collision key of `url` (`RenameEngine::collisionKey`). A standard ASCII
    /// path, the common case, is its own key once lower-cased, and costs no copy of its own.
    void appendCollisionKey(std::string& keys, const FileURL& url)
    {
        if (!url.isStandardized() || !text::isAscii(url.path)) {
            keys.append(RenameEngine::collisionKey(url));
            return;
        }
        for (char character : url.path)
            keys.push_back(character >= 'A' && character <= 'Z'
                    ? static_cast<char>(character - 'A' + 'a')
                    : character);
    }

    /// The collision keys of the included rows' targets, kept in one block of text, and how
    /// many included rows share each row's key (itself counted). Keys are found in a flat
    /// table of hashes and row numbers as they are added: no node per key, and a key's text
    /// is read again only when its hash matches.
    class TargetKeys {
    public:
        explicit TargetKeys(std::size_t rowCount)
            : m_spans(rowCount)
            , m_firstWithKey(rowCount)
            , m_shared(rowCount, 0)
        {
            assert(rowCount < std::numeric_limits<std::uint32_t>::max() && "rows fit 32 bits");
            m_slots.reset(rowCount);
        }

        /// Adds the key of the included row at `position`, aimed at `target`.
        void add(std::size_t position, const FileURL& target)
        {
            std::size_t start = m_text.size();
            appendCollisionKey(m_text, target);
            m_spans[position] = { start, m_text.size() - start, true };
            std::string_view key = (*this)[position];
            std::size_t hash = std::hash<std::string_view> {}(key);
            std::size_t index
                = m_slots.slotOf(hash, [&](std::uint32_t row) { return (*this)[row] == key; });
            auto first = m_slots.entryAt(index);
            if (first == FlatSlots::empty) {
                first = static_cast<std::uint32_t>(position);
                m_slots.fill(index, hash, first);
            }
            m_firstWithKey[position] = first;
            ++m_shared[first];
        }

        /// Once every row is added: how many included rows share each row's key, by position;
        /// 0 for an excluded row.
        const std::vector<std::int64_t>& sharedCounts()
        {
            m_slots = FlatSlots();
            for (std::size_t position = 0; position < m_shared.size(); ++position) {
                if (m_spans[position].isAdded)
                    m_shared[position] = m_shared[m_firstWithKey[position]];
            }
            m_firstWithKey = std::vector<std::size_t>();
            return m_shared;
        }

        /// The key of the row at `position`; empty for an excluded row.
        std::string_view operator[](std::size_t position) const
        {
            return std::string_view(m_text).substr(m_spans[position].start, m_spans[position].size);
        }

    private:
        struct Span {
            std::size_t start = 0;
            std::size_t size = 0;
            bool isAdded = false;
        };
        std::string m_text;
        std::vector<Span> m_spans;
        /// Each key's first row.
        FlatSlots m_slots;
        std::vector<std::size_t> m_firstWithKey;
        std::vector<std::int64_t> m_shared;
    };

    /// Every included row that would stay or move has its file looked for, all at once: a row
    /// whose file is gone, or two moving rows that are one entry given twice, cannot be
    /// renamed. The rows are asked about in list order; the answers come in the same order.
    void findSources(std::vector<PreviewRow>& rows, const PreviewDisk& disk)
    {
        auto isAsked = [](const PreviewRow& row) {
            return row.item.included
                && (row.status.kind == RenameStatus::Kind::ready
                    || row.status.kind == RenameStatus::Kind::unchanged);
        };
        std::vector<const FileURL*> files;
        std::vector<bool> moving;
        files.reserve(rows.size());
        moving.reserve(rows.size());
        for (const auto& row : rows) {
            if (!isAsked(row))
                continue;
            files.push_back(&row.item.url);
            moving.push_back(row.status.kind == RenameStatus::Kind::ready);
        }
        if (files.empty())
            return;
        auto answers = disk.findSources(files, moving);
        files = std::vector<const FileURL*>();
        std::vector<std::size_t> positions;
        if (!answers.sameEntries.empty())
            positions.reserve(moving.size());
        std::size_t asked = 0;
        for (std::size_t position = 0; position < rows.size(); ++position) {
            if (!isAsked(rows[position]))
                continue;
            if (!answers.sameEntries.empty())
                positions.push_back(position);
            if (asked < answers.missing.size() && answers.missing[asked])
                rows[position].status = RenameStatus::invalid(std::string(missingFileReason));
            ++asked;
        }
        for (auto [first, second] : answers.sameEntries) {
            for (std::size_t one : { first, second }) {
                auto& status = rows[positions[one]].status;
                if (status.kind == RenameStatus::Kind::ready)
                    status = RenameStatus::conflict(std::string(listedTwiceReason));
            }
        }
    }

    /// Ready rows that cannot be carried out as planned lose their ready status: a row whose
    /// destination folder cannot take files (something else stands where a folder has to be),
    /// or whose target is already taken, unless another ready row moves that very file away.
    /// A row that loses it no longer vacates its own source, so the rows that counted on it
    /// are looked at again, until nothing changes. The order in which rows are looked at does
    /// not change the outcome: a row that cannot keep its status while some rows are ready
    /// cannot keep it while fewer are. `pending` holds the ready rows in list order;
    /// `isOrganizing` tells whether any row may go to another folder than its file's own.
    void blockTakenTargets(std::vector<PreviewRow>& rows, std::vector<std::size_t> pending,
        const TargetKeys& targetKeys, const PreviewDisk& disk, bool isOrganizing)
    {
        auto isReady = [&rows](std::size_t position) {
            return rows[position].status.kind == RenameStatus::Kind::ready;
        };
        // Ready rows aim at distinct paths (equal ones are duplicates), so one answer per row
        // is one answer per path.
        std::vector<signed char> answers(rows.size(), -1);
        auto exists = [&](std::size_t position) {
            if (answers[position] < 0)
                answers[position] = disk.fileExists(rows[position].targetURL) ? 1 : 0;
            return answers[position] == 1;
        };

        // What sources move away, by collision key; made only once something is found in the
        // way of a row.
        std::vector<std::string> sourceKeys;
        std::unordered_map<std::string_view, std::vector<std::size_t>> sourcesByKey;
        auto sourceKey = [&](std::size_t position) -> std::string_view {
            if (sourceKeys.empty()) {
                sourceKeys.resize(rows.size());
                for (std::size_t ready : pending) {
                    if (!isReady(ready))
                        continue;
                    sourceKeys[ready] = RenameEngine::collisionKey(rows[ready].item.url);
                    sourcesByKey[sourceKeys[ready]].push_back(ready);
                }
            }
            return sourceKeys[position];
        };
        // Whether another ready row moves the item at `path` away. On a volume that tells
        // letter case apart, a key shared with a source does not make the path that source:
        // only its exact path does, or the file system finding them one entry.
        auto isVacated = [&](std::size_t position, std::string_view key, const FileURL& path) {
            sourceKey(position);
            auto sources = sourcesByKey.find(key);
            if (sources == sourcesByKey.end())
                return false;
            std::string standardPath = path.standardized().path;
            return std::any_of(
                sources->second.begin(), sources->second.end(), [&](std::size_t source) {
                    if (source == position || !isReady(source))
                        return false;
                    const FileURL& sourceURL = rows[source].item.url;
                    return sourceURL.standardized().path == standardPath
                        || disk.isSameEntry(path, sourceURL);
                });
        };
        // Rows that count on a source under a key moving away, by that key.
        std::unordered_map<std::string_view, std::vector<std::size_t>> waiting;
        auto block = [&](std::size_t position, RenameStatus status) {
            rows[position].status = std::move(status);
            if (auto counting = waiting.find(sourceKey(position)); counting != waiting.end()) {
                pending.insert(pending.end(), counting->second.begin(), counting->second.end());
                counting->second.clear();
            }
        };

        // What stands at each destination folder outside a file's own, asked once per folder.
        struct Destination {
            FolderAnswer answer;
            /// The collision key of what is in the way, if anything.
            std::string blockingKey;
        };
        std::unordered_map<std::string, Destination> destinations;
        // Why the row's destination folder cannot take it, or nothing when it can (or will,
        // once the ready rows it counts on have moved away what is in its way).
        auto folderProblem = [&](std::size_t position) -> std::optional<RenameStatus> {
            if (!isOrganizing)
                return std::nullopt;
            const PreviewRow& row = rows[position];
            std::string_view folder = sorvik::folderPathOf(row.targetURL.path);
            std::string_view ownFolder = sorvik::folderPathOf(row.item.url.path);
            if (folder == ownFolder)
                return std::nullopt;
            auto [entry, isNew] = destinations.try_emplace(std::string(folder));
            Destination& destination = entry->second;
            if (isNew) {
                destination.answer
                    = disk.destinationFolder(FileURL(folder, true), FileURL(ownFolder, true));
                if (destination.answer.kind == FolderAnswer::Kind::notAFolder)
                    destination.blockingKey
                        = RenameEngine::collisionKey(destination.answer.blocking);
            }
            switch (destination.answer.kind) {
            case FolderAnswer::Kind::usable:
                return std::nullopt;
            case FolderAnswer::Kind::unusable:
                return RenameStatus::invalid(std::string(unusableSubfolderReason));
            case FolderAnswer::Kind::notAFolder:
                break;
            }
            // The file itself may stand where its own folder is to be: it moves away first.
            const FileURL& blocking = destination.answer.blocking;
            if (blocking.standardized().path == row.item.url.standardized().path)
                return std::nullopt;
            if (isVacated(position, destination.blockingKey, blocking)) {
                waiting[destination.blockingKey].push_back(position);
                return std::nullopt;
            }
            return RenameStatus::conflict(std::string(subfolderIsFileReason));
        };

        for (std::size_t next = 0; next < pending.size(); ++next) {
            std::size_t position = pending[next];
            if (!isReady(position))
                continue;
            if (auto problem = folderProblem(position)) {
                block(position, std::move(*problem));
                continue;
            }
            if (!exists(position))
                continue;
            // A change of letter case only meets the file itself, unless the volume holds
            // another entry under the new spelling.
            if (targetKeys[position] == sourceKey(position)
                && disk.isSameEntry(rows[position].targetURL, rows[position].item.url))
                continue;
            if (isVacated(position, targetKeys[position], rows[position].targetURL)) {
                waiting[targetKeys[position]].push_back(position);
                continue;
            }
            block(position, RenameStatus::conflict(std::string(RenameEngine::fileExistsReason)));
        }
    }

    /// One preview. The rows are made from the items first and then filled in, in as few
    /// passes as the steps allow: each file is named, placed and keyed in one go, then every
    /// row is judged, then the ready rows meet the file system.
    class PreviewRun {
    public:
        /// A run over `items`, whose rows take the items themselves when `Items` is not a
        /// const reference (the caller gives them up) and copies of them otherwise.
        template <class Items>
        PreviewRun(
            Items&& items, const std::vector<Rule>& rules, const MetadataMap& metadata, Date now)
            : m_prepared(rules)
            , m_metadata(metadata)
            , m_now(now)
            , m_indexes(items.size(), -1)
        {
            const auto& ruleList = m_prepared.rules();
            for (std::size_t rule = 0; rule < ruleList.size(); ++rule) {
                if (ruleList[rule].isEnabled
                    && std::holds_alternative<OrganizeConfig>(ruleList[rule].kind.config))
                    m_organizeRules.push_back(rule);
            }
            std::vector<std::size_t> groupMembers;
            std::unordered_set<Uuid> brokenGroups;
            m_rows.reserve(items.size());
            for (auto& item : items) {
                if (item.pairGroup) {
                    groupMembers.push_back(m_rows.size());
                    if (!item.included)
                        brokenGroups.insert(*item.pairGroup);
                }
                if (item.isDirectory)
                    m_directories.push_back(item);
                if constexpr (std::is_lvalue_reference_v<Items>)
                    m_rows.emplace_back(item, std::string(), RenameStatus::unchanged(), FileURL());
                else
                    m_rows.emplace_back(
                        std::move(item), std::string(), RenameStatus::unchanged(), FileURL());
            }
            // A pair group with an excluded member is excluded whole; a group is led by its
            // first RAW member in list order.
            for (std::size_t position : groupMembers) {
                FileItem& item = m_rows[position].item;
                if (brokenGroups.contains(*item.pairGroup))
                    item.included = false;
                if (isRawExtension(item.ext()))
                    m_rawLeaders.try_emplace(*item.pairGroup, position);
            }
        }

        std::vector<PreviewRow> run(const PreviewDisk& disk)
        {
            TargetKeys keys(m_rows.size());
            for (std::size_t position = 0; position < m_rows.size(); ++position) {
                name(position);
                place(position);
                if (m_rows[position].item.included)
                    keys.add(position, m_rows[position].targetURL);
            }
            judgeRows(keys.sharedCounts());
            findSources(m_rows, disk);
            blockTakenTargets(m_rows, readyRows(), keys, disk, !m_organizeRules.empty());
            return std::move(m_rows);
        }

    private:
        const MetadataDictionary& metadataOf(const FileItem& item) const
        {
            auto found = m_metadata.find(item.id);
            return found == m_metadata.end() ? m_noMetadata : found->second;
        }

        /// The new name of `item` with the given numbers. One context is filled for file after
        /// file, so that its texts keep their storage.
        std::string nameFor(const FileItem& item, std::int64_t index, std::int64_t folderIndex)
        {
            m_context.item = item;
            m_context.index = index;
            m_context.folderIndex = folderIndex;
            m_context.now = m_now;
            m_context.metadata = metadataOf(item);
            return m_prepared.apply(m_context);
        }

        /// The counter of the item's folder. Files of one folder mostly follow each other.
        std::int64_t& folderCountOf(const FileItem& item)
        {
            std::string_view folder = folderPathOf(item);
            if (!m_lastFolderCount || folder != m_lastFolder) {
                m_lastFolder = folder;
                m_lastFolderCount = &m_folderCounts[folder];
            }
            return *m_lastFolderCount;
        }

        /// The new name of the row at `position`. The run counter numbers included files, a
        /// pair group once; companions take their leader's number and new base name.
        void name(std::size_t position)
        {
            const FileItem& item = m_rows[position].item;
            std::string& newName = m_rows[position].newName;
            if (!item.included) {
                newName = item.name();
                return;
            }
            std::int64_t& folderCount = folderCountOf(item);
            if (item.pairGroup) {
                if (auto leader = m_leaderNames.find(*item.pairGroup);
                    leader != m_leaderNames.end()) {
                    const LeaderName& entry = leader->second;
                    m_indexes[position] = entry.index;
                    newName
                        = companionName(entry.name, nameFor(item, entry.index, entry.folderIndex));
                    return;
                }
            }
            m_indexes[position] = m_counter;
            std::string ownName = nameFor(item, m_counter, folderCount);
            if (item.pairGroup) {
                auto rawLeader = m_rawLeaders.find(*item.pairGroup);
                std::size_t leaderPosition
                    = rawLeader == m_rawLeaders.end() ? position : rawLeader->second;
                std::string leaderName = ownName;
                if (leaderPosition != position) {
                    leaderName = nameFor(m_rows[leaderPosition].item, m_counter, folderCount);
                    ownName = companionName(leaderName, std::move(ownName));
                }
                m_leaderNames.emplace(
                    *item.pairGroup, LeaderName { std::move(leaderName), m_counter, folderCount });
            }
            newName = std::move(ownName);
            ++m_counter;
            ++folderCount;
        }

        /// The folder the last organize rule that gives an acceptable subfolder puts the
        /// item in, or nothing when none does. Every refused subfolder is recorded.
        std::optional<FileURL> organizedFolder(std::size_t position, const FileItem& item)
        {
            FileURL folder = item.folderURL();
            std::optional<FileURL> destination;
            for (std::size_t rule : m_organizeRules) {
                if (!m_prepared.applies(rule, item))
                    continue;
                m_context.item = item;
                m_context.index = static_cast<std::int64_t>(position);
                m_context.folderIndex = 0;
                m_context.now = Date::now();
                m_context.metadata = metadataOf(item);
                std::string subfolder = TokenResolver::render(
                    std::get<OrganizeConfig>(m_prepared.rules()[rule].kind.config).templateText,
                    m_context, item.baseName(), item.ext());
                if (!isAcceptableSubfolder(subfolder)) {
                    m_subfolderProblems[position] = std::string(invalidSubfolderReason);
                    continue;
                }
                FileURL candidate = folder.appending(subfolder, true);
                if (m_resolver.isInside(folder, candidate))
                    destination = std::move(candidate);
                else
                    m_subfolderProblems[position] = std::string(escapingSubfolderReason);
            }
            return destination;
        }

        /// The target of the row at `position`: its new name in the file's own folder, or in
        /// the subfolder an organize rule chooses inside it.
        void place(std::size_t position)
        {
            PreviewRow& row = m_rows[position];
            std::optional<FileURL> organized;
            // A name that is not text stays where it is, untouched by any template.
            if (!m_organizeRules.empty() && text::isValidUtf8(row.item.name()))
                organized = organizedFolder(position, row.item);
            row.targetURL = urlInFolder(
                organized ? std::string_view(organized->path) : folderPathOf(row.item), row.newName,
                row.item.isDirectory);
        }

        /// Every row's status.
        void judgeRows(const std::vector<std::int64_t>& sharedTargets)
        {
            RowBlockers rowBlockers(m_rows, m_directories, m_prepared, m_indexes, m_metadata,
                sharedTargets, m_subfolderProblems);
            for (std::size_t position = 0; position < m_rows.size(); ++position)
                m_rows[position].status = rowBlockers.status(position);
        }

        /// The ready rows, in list order.
        std::vector<std::size_t> readyRows() const
        {
            std::vector<std::size_t> ready;
            for (std::size_t position = 0; position < m_rows.size(); ++position) {
                if (m_rows[position].status.kind == RenameStatus::Kind::ready)
                    ready.push_back(position);
            }
            return ready;
        }

        struct LeaderName {
            std::string name;
            std::int64_t index = 0;
            std::int64_t folderIndex = 0;
        };

        const PreparedRules m_prepared;
        const MetadataMap& m_metadata;
        const MetadataDictionary m_noMetadata;
        const Date m_now;
        std::vector<PreviewRow> m_rows;
        std::vector<FileItem> m_directories;
        std::vector<std::size_t> m_organizeRules;
        /// The number each row was given; -1 for an excluded row.
        std::vector<std::int64_t> m_indexes;
        std::int64_t m_counter = 0;
        std::unordered_map<Uuid, std::size_t> m_rawLeaders;
        std::unordered_map<Uuid, LeaderName> m_leaderNames;
        std::unordered_map<std::string_view, std::int64_t> m_folderCounts;
        std::string_view m_lastFolder;
        std::int64_t* m_lastFolderCount = nullptr;
        SubfolderProblems m_subfolderProblems;
        PathResolver m_resolver;
        RenameContext m_context;
    };

} // namespace

std::string applyRules(const std::vector<Rule>& rules, const RenameContext& context)
{
    return PreparedRules(rules).apply(context);
}

std::vector<PreviewRow> preview(const std::vector<FileItem>& items, const std::vector<Rule>& rules,
    const MetadataMap& metadata, Date now, const PreviewDisk& disk)
{
    if (items.empty())
        return {};
    return PreviewRun(items, rules, metadata, now).run(disk);
}

std::vector<PreviewRow> preview(std::vector<FileItem>&& items, const std::vector<Rule>& rules,
    const MetadataMap& metadata, Date now, const PreviewDisk& disk)
{
    if (items.empty())
        return {};
    std::vector<PreviewRow> rows;
    {
        PreviewRun run(std::move(items), rules, metadata, now);
        // The rows hold the items now: their husks go before the run makes anything more.
        items = std::vector<FileItem>();
        rows = run.run(disk);
    }
    return rows;
}

} // namespace sorvik::RenamePipeline
