#include "engine/apply/rename_executor.h"

#include "engine/apply/backup_folder.h"
#include "engine/apply/batch_checks.h"
#include "engine/apply/folded_keys.h"
#include "engine/apply/granted_folders.h"
#include "engine/apply/name_lookup.h"
#include "engine/model/name_table.h"
#include "engine/model/uuid.h"

#include "engine/model/text.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace sorvik {

namespace {

    constexpr const char* duplicateText = "Duplicate source or destination.";

    /// A hidden temporary name, ".", a random UUID and ".twtmp", kept in place: a batch holds
    /// one per move.
    class TemporaryName {
    public:
        TemporaryName()
        {
            constexpr std::string_view suffix = ".twtmp";
            auto uuid = Uuid::random().textCharacters();
            m_text[0] = '.';
            auto end = std::copy(uuid.begin(), uuid.end(), m_text.begin() + 1);
            std::copy(suffix.begin(), suffix.end(), end);
        }
        std::string_view view() const { return { m_text.data(), m_text.size() }; }

    private:
        std::array<char, 43> m_text {};
    };

    /// The last component of a standard path.
    std::string_view nameOf(std::string_view path) { return path.substr(path.rfind('/') + 1); }

    /// Lets maps keyed by path be asked with a view of one, as every step asks.
    struct PathHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view path) const
        {
            return std::hash<std::string_view> {}(path);
        }
    };
    template <class Value>
    using PathMap = std::unordered_map<std::string, Value, PathHash, std::equal_to<>>;

    /// A path that is its own comparison key.
    constexpr std::uint32_t pathIsKey = UINT32_MAX;

    /// One move of the batch as it is carried out.
    struct Step {
        std::uint32_t given = 0;
        /// Index into the batch's destination folders.
        std::uint32_t destination = 0;
        /// The move's paths standardized: views into the move itself, or into the batch's
        /// copies of paths that were not standard.
        std::string_view from;
        std::string_view to;
        /// Where the comparison keys of `from` and `to` (in `FoldedKey`'s forms) are among
        /// the batch's own texts; `pathIsKey` where the path is its own key, as most are.
        std::uint32_t fromKeyText = pathIsKey;
        std::uint32_t toKeyText = pathIsKey;
        TemporaryName tempName;
        bool isDirectory = false;
        /// The open folder of `from` (also that of the temporary name); null when it could
        /// not be opened.
        const OpenFolder* source = nullptr;
        /// The source as the checks found it.
        ItemStatus checked;

        std::string_view fromName() const { return nameOf(from); }
        std::string_view toName() const { return nameOf(to); }
    };

    /// A folder that receives files: open before the first move, or found or made in phase 2.
    struct Destination {
        FileURL url;
        const OpenFolder* folder = nullptr;
    };

    /// A folder the batch made, and where.
    struct Created {
        const OpenFolder* parent = nullptr;
        std::string name;
        FileURL url;
    };

    /// One run of one batch, from the checks to the last move (or the rollback).
    class Batch {
    public:
        Batch(FileSystem& fileSystem, const std::vector<RenameMove>& moves,
            const BatchOptions& options, const std::optional<FileURL>& journalFolder)
            : m_fileSystem(fileSystem)
            , m_moves(moves)
            , m_options(options)
            , m_journalFolder(journalFolder)
            , m_open(fileSystem)
            , m_lookup(fileSystem)
        {
        }

        AppliedBatch run()
        {
            plan();
            if (!m_options.expectedSources.empty()
                && m_options.expectedSources.size() != m_moves.size())
                throw RenameExecutionError("The batch's sources do not match its moves.");
            openFolders();
            check();
            std::vector<RenameMove> effective;
            if (m_options.backupDirectory) {
                effective.reserve(m_steps.size());
                for (const auto& step : m_steps)
                    effective.push_back(m_moves[step.given]);
                backup::write(*m_options.backupDirectory, effective);
            }

            AppliedBatch applied;
            if (m_options.recordId)
                applied.fingerprints.resize(m_moves.size());
            if (m_steps.empty())
                return applied;
            auto beforeFirstMove = [&] {
                if (!m_options.beforeFirstMove)
                    return;
                try {
                    m_options.beforeFirstMove();
                } catch (...) {
                    if (m_options.backupDirectory)
                        backup::discard(*m_options.backupDirectory, effective);
                    throw;
                }
            };
            if (m_journalFolder)
                applied.journal = RenameJournal::begin(*m_journalFolder, journalHeader(),
                    { m_steps.size(), [this](std::size_t index) { return journalMove(index); } },
                    beforeFirstMove);
            else
                beforeFirstMove();
            try {
                perform();
            } catch (const RenameExecutionError& error) {
                // Files the rollback could not put back stay listed in the journal, so the
                // next start-up tries again; the user also gets their paths now.
                if (error.recoveryFiles().empty())
                    applied.journal.finish();
                throw;
            }
            applied.createdDirectories.reserve(m_created.size());
            for (const auto& created : m_created)
                applied.createdDirectories.push_back(created.url);
            applied.journal.markComplete({ Date::now(), applied.createdDirectories });
            if (m_options.recordId) {
                // A rename leaves a file's size, date and number as they were; a folder moved
                // to another parent gets a new "..", so its own is read again for the record.
                for (const auto& step : m_steps) {
                    if (!step.checked.isDirectory)
                        applied.fingerprints[step.given] = step.checked.fingerprint();
                }
            }
            return applied;
        }

    private:
        bool needsStatus() const
        {
            return m_options.recordId.has_value() || !m_options.expectedSources.empty();
        }

        /// `url`'s path standardized, as a view that lives as long as the batch.
        std::string_view standardPath(const FileURL& url)
        {
            if (url.isStandardized())
                return url.path;
            return m_ownedTexts.emplace_back(url.standardized().path);
        }

        /// Where the comparison key of a standard path in `FoldedKey`'s forms is kept.
        std::uint32_t keyOf(std::string_view path)
        {
            if (text::isAscii(path) || !text::isValidUtf8(path))
                return pathIsKey;
            m_ownedTexts.emplace_back(comparisonKey(FileURL(path)));
            return static_cast<std::uint32_t>(m_ownedTexts.size() - 1);
        }

        std::string_view fromKey(const Step& step) const
        {
            return step.fromKeyText == pathIsKey ? step.from : m_ownedTexts[step.fromKeyText];
        }

        std::string_view toKey(const Step& step) const
        {
            return step.toKeyText == pathIsKey ? step.to : m_ownedTexts[step.toKeyText];
        }

        /// The effective moves (those that do not stay in place), and the checks of names.
        void plan()
        {
            m_steps.reserve(m_moves.size());
            for (std::size_t index = 0; index < m_moves.size(); ++index) {
                const auto& move = m_moves[index];
                auto from = standardPath(move.from);
                auto to = standardPath(move.to);
                if (from == to)
                    continue;
                auto& step = m_steps.emplace_back();
                step.given = static_cast<std::uint32_t>(index);
                step.from = from;
                step.to = to;
                step.isDirectory = move.from.isDirectory;
            }
            // Two sources are one when they are one path (here) or one file (see `check`):
            // names that differ in letter case only are two files on most Linux volumes, and
            // one on a volume that ignores case, where both name the same file.
            std::vector<std::string_view> sources;
            sources.reserve(m_steps.size());
            for (const auto& step : m_steps)
                sources.push_back(step.from);
            NameIndex sourcePaths(sources);
            m_sourceKeys.reserve(m_steps.size());
            for (std::size_t index = 0; index < m_steps.size(); ++index) {
                auto& step = m_steps[index];
                if (sourcePaths.firstPlace(index) != index)
                    throw RenameExecutionError(duplicateText);
                step.fromKeyText = keyOf(step.from);
                m_sourceKeys.insert(fromKey(step));
            }
            // Two destinations that differ in letter case only would be one file on a volume
            // that ignores case: refused everywhere, as the preview refuses them.
            KeySet destinationKeys;
            destinationKeys.reserve(m_steps.size());
            m_destinationIsSource.reserve(m_steps.size());
            for (auto& step : m_steps) {
                step.toKeyText = keyOf(step.to);
                if (!destinationKeys.insert(toKey(step)).second)
                    throw RenameExecutionError(duplicateText);
                m_destinationIsSource.push_back(sourcePaths.find(step.to) != NameIndex::absent);
            }
        }

        /// Whether `folder` is, or lies below, a source that phase 1 moves away.
        bool movesAway(const FileURL& folder) const
        {
            for (FileURL current = folder;;) {
                // A key itself is one of the forms the set compares.
                if (m_sourceKeys.contains(comparisonKey(current)))
                    return true;
                auto above = current.deletingLastPathComponent();
                if (above.path == current.path)
                    return false;
                current = above;
            }
        }

        const OpenFolder& keep(OpenFolder folder)
        {
            const auto& kept = m_open.keep(std::move(folder));
            m_kept.push_back(&kept);
            return kept;
        }

        /// The destination folder for `folder`: open it now when it will stay where it is;
        /// otherwise note it (and any missing folder above it) for phase 2 and open the
        /// nearest folder above that stays.
        std::size_t destinationFor(std::string_view path)
        {
            auto found = m_destinationIndex.find(path);
            if (found != m_destinationIndex.end())
                return found->second;
            FileURL folder(path, true);
            std::size_t index = m_destinations.size();
            m_destinations.push_back({ folder, nullptr });
            m_destinationIndex.emplace(folder.path, index);

            std::vector<FileURL> planned;
            for (FileURL current = folder;;) {
                if (!movesAway(current)) {
                    if (const OpenFolder* open = openStaying(current)) {
                        if (current.path == folder.path)
                            m_destinations[index].folder = open;
                        break;
                    }
                }
                planned.push_back(current);
                auto above = current.deletingLastPathComponent();
                if (above.path == current.path)
                    throw RenameExecutionError(FileSystemError(
                        "Couldn't create the folder \"" + folder.path + "\"", EACCES)
                                                   .what());
                current = above;
            }
            for (auto each = planned.rbegin(); each != planned.rend(); ++each) {
                if (m_plannedSeen.insert(each->path).second)
                    m_planned.push_back(*each);
            }
            return index;
        }

        /// The open folder at `url`, a folder that stays during the batch; null when nothing
        /// is there yet. Anything else there fails the batch now, before any move.
        const OpenFolder* openStaying(const FileURL& url)
        {
            auto found = m_staying.find(url.path);
            if (found != m_staying.end())
                return found->second;
            const OpenFolder* open = nullptr;
            try {
                if (auto existing = BatchChecks::openExistingFolder(m_fileSystem, url))
                    open = &keep(std::move(*existing));
            } catch (const FileSystemError& error) {
                throw RenameExecutionError(error.what());
            }
            m_staying.emplace(url.path, open);
            return open;
        }

        /// Every folder of the batch, once, before anything moves; and the grants.
        void openFolders()
        {
            PathMap<const OpenFolder*> sources;
            for (auto& step : m_steps) {
                auto found = sources.find(folderPathOf(step.from));
                if (found == sources.end()) {
                    FileURL folder(folderPathOf(step.from), true);
                    const OpenFolder* open = nullptr;
                    try {
                        open = &keep(m_fileSystem.openFolder(folder, true));
                    } catch (const FileSystemError&) {
                        // Its sources are missing; the check says so in batch order.
                    }
                    found = sources.emplace(folder.path, open).first;
                    if (open && !movesAway(folder))
                        m_staying.emplace(folder.path, open);
                }
                step.source = found->second;
            }
            for (auto& step : m_steps)
                step.destination
                    = static_cast<std::uint32_t>(destinationFor(folderPathOf(step.to)));

            if (!m_options.grantedFolders)
                return;
            GrantedFolders grants(m_fileSystem, *m_options.grantedFolders);
            for (const OpenFolder* folder : m_kept) {
                if (!grants.contain(*folder))
                    throw RenameExecutionError(GrantedFolders::outsideText(folder->url));
            }
        }

        void check()
        {
            // Sources by themselves when their size and date are wanted too; otherwise, like
            // destinations, from one reading of a folder that holds many of them.
            for (std::size_t index = 0; index < m_steps.size(); ++index) {
                const auto& step = m_steps[index];
                if (!needsStatus())
                    m_lookup.want(step.source, step.fromName());
                if (!m_destinationIsSource[index] && m_destinations[step.destination].folder)
                    m_lookup.want(m_destinations[step.destination].folder, step.toName());
            }
            auto answers = m_lookup.look();
            std::size_t answer = 0;
            std::vector<std::size_t> caseTwins;
            for (std::size_t index = 0; index < m_steps.size(); ++index) {
                auto& step = m_steps[index];
                const auto& move = m_moves[step.given];
                std::optional<ItemStatus> source;
                if (!needsStatus()) {
                    if (const auto& found = answers[answer++]) {
                        source.emplace();
                        source->device = found->device;
                        source->inode = found->inode;
                    }
                } else if (step.source)
                    source = m_fileSystem.itemStatus(*step.source, step.fromName());
                const auto& expected = m_options.expectedSources.empty()
                    ? std::nullopt
                    : m_options.expectedSources[step.given];
                if (!source && expected)
                    throw SourceChangedError(move.from);
                if (!source)
                    throw RenameExecutionError("Source is missing: " + move.from.path);
                step.checked = *source;
                if (expected && *expected != source->fingerprint())
                    throw SourceChangedError(move.from);
                if (m_destinationIsSource[index])
                    continue;
                bool taken = m_destinations[step.destination].folder
                    ? answers[answer++].has_value()
                    : m_fileSystem.itemExists(FileURL(step.to));
                if (!taken)
                    continue;
                // A source's own name in another letter case, where the volume ignores case:
                // phase 1 moves it away. Checked once every source is known.
                if (m_sourceKeys.contains(toKey(step)) && m_destinations[step.destination].folder)
                    caseTwins.push_back(index);
                else
                    throw RenameExecutionError("Destination already exists: " + move.to.path);
            }

            // Sources that share a file number are judged together, once all are known.
            auto sharing = BatchChecks::sharedIdentities(m_steps.size(), [this](std::size_t index) {
                const auto& checked = m_steps[index].checked;
                return std::optional(ItemIdentity { checked.device, checked.inode });
            });
            if (!sharing.empty()
                && !BatchChecks::entriesReachedTwice(
                    m_fileSystem, sharing, [this](std::size_t index) {
                        return BatchChecks::Name { m_steps[index].source,
                            m_steps[index].fromName() };
                    }).empty())
                throw RenameExecutionError(duplicateText);
            if (caseTwins.empty())
                return;
            // A destination that a source's name reaches in another letter case is free only
            // where it is that very entry: another file, or another name of the same file,
            // stays where it is.
            std::unordered_multimap<std::string_view, std::size_t, FoldedKey, FoldedKey>
                sourcesByKey;
            for (std::size_t index = 0; index < m_steps.size(); ++index)
                sourcesByKey.emplace(fromKey(m_steps[index]), index);
            for (std::size_t index : caseTwins) {
                const auto& step = m_steps[index];
                BatchChecks::Name twin { m_destinations[step.destination].folder, step.toName() };
                // Gone meanwhile: nothing is in the way.
                if (!m_fileSystem.itemStatus(*twin.folder, twin.name))
                    continue;
                auto [source, end] = sourcesByKey.equal_range(toKey(step));
                bool isSource = std::any_of(source, end, [&](const auto& entry) {
                    const auto& sourceStep = m_steps[entry.second];
                    return BatchChecks::isOneEntry(
                        m_fileSystem, twin, { sourceStep.source, sourceStep.fromName() });
                });
                if (!isSource)
                    throw RenameExecutionError(
                        "Destination already exists: " + m_moves[step.given].to.path);
            }
        }

        /// What the journal keeps besides the moves.
        RenameJournalBatch journalHeader() const
        {
            RenameJournalBatch batch;
            batch.id = m_options.recordId;
            batch.backupPath = m_options.backupDirectory;
            batch.plannedFolders = m_planned;
            return batch;
        }

        RenameJournalMove journalMove(std::size_t index) const
        {
            const auto& step = m_steps[index];
            return { step.from, folderPathOf(step.from), step.tempName.view(), step.to,
                step.checked.inode, step.isDirectory };
        }

        /// The open folder of a destination, found or made (outermost first) below the
        /// nearest open folder above it.
        const OpenFolder& destinationFolder(std::size_t index)
        {
            auto& destination = m_destinations[index];
            if (!destination.folder)
                destination.folder = &resolve(destination.url);
            return *destination.folder;
        }

        const OpenFolder& resolve(const FileURL& folder)
        {
            auto found = m_resolved.find(folder.path);
            if (found != m_resolved.end())
                return *found->second;
            if (auto staying = m_staying.find(folder.path);
                staying != m_staying.end() && staying->second)
                return *staying->second;
            const OpenFolder& parent = resolve(folder.deletingLastPathComponent());
            auto name = folder.lastPathComponent();
            const OpenFolder* open = nullptr;
            try {
                open = &m_open.keep(m_fileSystem.openFolder(parent, name));
            } catch (const FileSystemError& error) {
                if (error.code() != ENOENT)
                    throw;
                m_fileSystem.createDirectory(parent, name);
                m_created.push_back({ &parent, name, FileURL(folder.path, true) });
                open = &m_open.keep(m_fileSystem.openFolder(parent, name));
            }
            m_resolved.emplace(folder.path, open);
            return *open;
        }

        /// After phase 1: each temporary name holds the very file that was checked.
        void verifyStaged()
        {
            for (const auto& step : m_steps)
                m_lookup.want(step.source, step.tempName.view());
            auto answers = m_lookup.look();
            for (std::size_t index = 0; index < m_steps.size(); ++index) {
                const auto& staged = answers[index];
                const auto& checked = m_steps[index].checked;
                if (!staged || *staged != ItemIdentity { checked.device, checked.inode })
                    throw FileSystemError("The file \"" + m_moves[m_steps[index].given].from.path
                            + "\" was replaced while it was being renamed",
                        EEXIST);
            }
        }

        void perform()
        {
            try {
                for (const auto& step : m_steps) {
                    m_fileSystem.moveToNewName(
                        *step.source, step.fromName(), *step.source, step.tempName.view());
                    ++m_staged;
                }
                verifyStaged();
                m_placed.assign(m_steps.size(), nullptr);
                for (std::size_t index = 0; index < m_steps.size(); ++index) {
                    const auto& step = m_steps[index];
                    const OpenFolder& destination = destinationFolder(step.destination);
                    m_fileSystem.moveItem(
                        *step.source, step.tempName.view(), destination, step.toName());
                    m_placed[index] = &destination;
                }
            } catch (const std::exception& failure) {
                throw rollBack(failure.what());
            }
        }

        RenameExecutionError rollBack(std::string cause)
        {
            // Nothing was staged, so there is nothing to restore or to tell of.
            if (m_staged == 0)
                return RenameExecutionError(std::move(cause));
            m_placed.resize(m_steps.size(), nullptr);
            for (std::size_t index = m_staged; index-- > 0;) {
                if (!m_placed[index])
                    continue;
                const auto& step = m_steps[index];
                try {
                    m_fileSystem.moveItem(
                        *m_placed[index], step.toName(), *step.source, step.tempName.view());
                    m_placed[index] = nullptr;
                } catch (const std::exception&) {
                    // It stays at its destination and is reported below.
                }
            }
            // The placed files have left the created folders; remove those before moving
            // anything home, since a created folder may stand where a source was.
            for (auto created = m_created.rbegin(); created != m_created.rend(); ++created) {
                try {
                    m_fileSystem.removeEmptyDirectory(*created->parent, created->name);
                } catch (const std::exception&) {
                }
            }
            std::vector<StrandedFile> stranded;
            for (std::size_t index = m_staged; index-- > 0;) {
                const auto& step = m_steps[index];
                const auto& move = m_moves[step.given];
                if (m_placed[index]) {
                    stranded.push_back({ move.to, move.from });
                    continue;
                }
                try {
                    m_fileSystem.moveItem(
                        *step.source, step.tempName.view(), *step.source, step.fromName());
                } catch (const std::exception&) {
                    stranded.push_back(
                        { step.source->url.appending(step.tempName.view(), step.isDirectory),
                            move.from });
                }
            }
            return RenameExecutionError(std::move(cause), std::move(stranded));
        }

        FileSystem& m_fileSystem;
        const std::vector<RenameMove>& m_moves;
        const BatchOptions& m_options;
        const std::optional<FileURL>& m_journalFolder;
        OpenFolders m_open;
        NameLookup m_lookup;

        std::vector<Step> m_steps;
        /// Standard paths and keys that are not views into the moves themselves.
        std::deque<std::string> m_ownedTexts;
        KeySet m_sourceKeys;
        std::vector<bool> m_destinationIsSource;
        /// Every folder opened before the first move, for the grant check.
        std::vector<const OpenFolder*> m_kept;
        /// Folders that stay where they are during the batch, by path; null when missing.
        std::unordered_map<std::string, const OpenFolder*> m_staying;
        std::vector<Destination> m_destinations;
        PathMap<std::size_t> m_destinationIndex;
        std::vector<FileURL> m_planned;
        std::unordered_set<std::string> m_plannedSeen;
        std::unordered_map<std::string, const OpenFolder*> m_resolved;

        std::size_t m_staged = 0;
        std::vector<const OpenFolder*> m_placed;
        std::vector<Created> m_created;
    };

} // namespace

HistoryRecord recordOf(const Uuid& id, std::vector<RenameMove> moves, const AppliedBatch& applied,
    const std::optional<FileURL>& backupPath)
{
    HistoryRecord record;
    record.id = id;
    record.schemaVersion = 1;
    record.date = Date::now();
    record.moves = std::move(moves);
    for (std::size_t index = 0; index < record.moves.size(); ++index) {
        const auto& to = record.moves[index].to;
        auto fingerprint = index < applied.fingerprints.size() && applied.fingerprints[index]
            ? *applied.fingerprints[index]
            : FileFingerprint(to);
        if (!record.fingerprints.emplace(to.path, fingerprint).second)
            throw RenameExecutionError(duplicateText);
    }
    record.createdDirectories = applied.createdDirectories;
    record.backupPath = backupPath;
    record.undone = false;
    return record;
}

SourceChangedError::SourceChangedError(FileURL source)
    : RenameExecutionError("The file \"" + source.path + "\" changed since it was read.")
    , m_source(std::move(source))
{
}

RenameExecutor::RenameExecutor(FileSystem& fileSystem, std::optional<FileURL> journalFolder)
    : m_fileSystem(fileSystem)
    , m_journalFolder(std::move(journalFolder))
{
}

std::vector<FileURL> RenameExecutor::execute(
    const std::vector<RenameMove>& moves, const std::optional<FileURL>& backupDirectory) const
{
    BatchOptions options;
    options.backupDirectory = backupDirectory;
    auto applied = apply(moves, options);
    applied.journal.finish();
    return std::move(applied.createdDirectories);
}

AppliedBatch RenameExecutor::apply(
    const std::vector<RenameMove>& moves, const BatchOptions& options) const
{
    return Batch(m_fileSystem, moves, options, m_journalFolder).run();
}

void RenameExecutor::removeCreatedDirectories(const std::vector<FileURL>& folders) const
{
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
        try {
            m_fileSystem.removeEmptyDirectory(*folder);
        } catch (const std::exception&) {
        }
    }
}

JournalRecovery::Report RenameExecutor::recoverInterruptedBatches(
    const JournalRecovery::Options& options) const
{
    if (!m_journalFolder)
        return {};
    return JournalRecovery::recover(m_fileSystem, *m_journalFolder, options);
}

void RenameExecutor::pruneBackups(const FileURL& folder, Date cutoff)
{
    backup::prune(folder, cutoff);
}

} // namespace sorvik
