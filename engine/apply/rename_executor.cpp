#include "engine/apply/rename_executor.h"

#include "engine/apply/backup_folder.h"
#include "engine/apply/granted_folders.h"
#include "engine/model/uuid.h"

#include <cerrno>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace sorvik {

namespace {

    constexpr const char* duplicateText = "Duplicate source or destination.";
    // Below this many names in one folder, asking for each is cheaper than reading it whole.
    constexpr std::size_t listingThreshold = 64;
    // A folder is read whole only while it holds at most this many entries per name wanted.
    constexpr std::size_t entriesPerName = 16;

    std::string temporaryName() { return "." + Uuid::random().text() + ".twtmp"; }

    /// One move of the batch as it is carried out.
    struct Step {
        std::size_t given = 0;
        FileURL from;
        FileURL to;
        std::string fromName;
        std::string tempName;
        std::string toName;
        /// The open folder of `from` (also that of the temporary name); null when it could
        /// not be opened.
        const OpenFolder* source = nullptr;
        /// Index into the batch's destination folders.
        std::size_t destination = 0;
        /// The source as the checks found it.
        ItemStatus checked;
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

    /// The names of one open folder with their file numbers, read once when many are wanted.
    class Listings {
    public:
        explicit Listings(FileSystem& fileSystem)
            : m_fileSystem(fileSystem)
        {
        }

        /// Reads `folder` once `wanted` names of it are to be asked about, if that is worth it.
        void prepare(const OpenFolder* folder, std::size_t wanted)
        {
            if (!folder || wanted < listingThreshold)
                return;
            auto names = m_fileSystem.listFolder(*folder, wanted * entriesPerName);
            if (!names)
                return;
            ItemStatus status;
            try {
                status = m_fileSystem.folderStatus(*folder);
            } catch (const std::exception&) {
                return;
            }
            m_listed[folder] = { std::move(*names), status.device };
        }
        void forget() { m_listed.clear(); }

        /// The device and file number of `name`, or nothing; from the listing when there is
        /// one, else from the file system.
        std::optional<ItemStatus> identity(const OpenFolder* folder, const std::string& name)
        {
            if (!folder)
                return std::nullopt;
            auto listed = m_listed.find(folder);
            if (listed == m_listed.end())
                return m_fileSystem.itemStatus(*folder, name);
            auto found = listed->second.names.find(name);
            if (found == listed->second.names.end())
                return std::nullopt;
            ItemStatus status;
            status.device = listed->second.device;
            status.inode = found->second;
            return status;
        }

    private:
        struct Listed {
            FolderListing names;
            std::uint64_t device = 0;
        };
        FileSystem& m_fileSystem;
        std::unordered_map<const OpenFolder*, Listed> m_listed;
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
            , m_listings(fileSystem)
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
            if (m_options.backupDirectory || m_journalFolder) {
                effective.reserve(m_steps.size());
                for (const auto& step : m_steps)
                    effective.push_back(m_moves[step.given]);
            }
            if (m_options.backupDirectory)
                backup::write(*m_options.backupDirectory, effective);

            AppliedBatch applied;
            if (m_options.recordId)
                applied.fingerprints.resize(m_moves.size());
            if (m_steps.empty())
                return applied;
            if (m_journalFolder)
                applied.journal = RenameJournal::begin(*m_journalFolder, journalBatch());
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

        /// The effective moves (those that do not stay in place), and the checks of names.
        void plan()
        {
            m_steps.reserve(m_moves.size());
            for (std::size_t index = 0; index < m_moves.size(); ++index) {
                const auto& move = m_moves[index];
                Step step;
                step.given = index;
                step.from = FileURL(move.from.standardized().path, move.from.isDirectory);
                step.to = FileURL(move.to.standardized().path, move.to.isDirectory);
                if (step.from.path == step.to.path)
                    continue;
                m_steps.push_back(std::move(step));
            }
            m_sourceKeys.reserve(m_steps.size());
            for (const auto& step : m_steps)
                m_sourceKeys.insert(comparisonKey(step.from));
            if (m_sourceKeys.size() < m_steps.size())
                throw RenameExecutionError(duplicateText);
            std::unordered_set<std::string> destinationKeys;
            destinationKeys.reserve(m_steps.size());
            m_destinationIsSource.reserve(m_steps.size());
            for (const auto& step : m_steps) {
                auto key = comparisonKey(step.to);
                if (!destinationKeys.insert(key).second)
                    throw RenameExecutionError(duplicateText);
                m_destinationIsSource.push_back(m_sourceKeys.contains(key));
            }
        }

        /// Whether `folder` is, or lies below, a source that phase 1 moves away.
        bool movesAway(const FileURL& folder) const
        {
            for (FileURL current = folder;;) {
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
        std::size_t destinationFor(const FileURL& folder)
        {
            auto found = m_destinationIndex.find(folder.path);
            if (found != m_destinationIndex.end())
                return found->second;
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
                open = &keep(m_fileSystem.openFolder(url, true));
            } catch (const FileSystemError& error) {
                if (error.code() != ENOENT)
                    throw RenameExecutionError(error.what());
            }
            m_staying.emplace(url.path, open);
            return open;
        }

        /// Every folder of the batch, once, before anything moves; and the grants.
        void openFolders()
        {
            std::unordered_map<std::string, const OpenFolder*> sources;
            for (auto& step : m_steps) {
                auto folder = step.from.deletingLastPathComponent();
                auto found = sources.find(folder.path);
                if (found == sources.end()) {
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
                step.fromName = step.from.lastPathComponent();
                step.toName = step.to.lastPathComponent();
                step.tempName = temporaryName();
            }
            for (auto& step : m_steps)
                step.destination = destinationFor(step.to.deletingLastPathComponent());

            if (!m_options.grantedFolders)
                return;
            GrantedFolders grants(m_fileSystem, *m_options.grantedFolders);
            for (const OpenFolder* folder : m_kept) {
                if (!grants.contain(*folder))
                    throw RenameExecutionError(GrantedFolders::outsideText(folder->url));
            }
        }

        void prepareListings()
        {
            std::unordered_map<const OpenFolder*, std::size_t> wanted;
            for (std::size_t index = 0; index < m_steps.size(); ++index) {
                const auto& step = m_steps[index];
                if (!needsStatus())
                    ++wanted[step.source];
                if (!m_destinationIsSource[index])
                    ++wanted[m_destinations[step.destination].folder];
            }
            for (const auto& [folder, count] : wanted)
                m_listings.prepare(folder, count);
        }

        void check()
        {
            prepareListings();
            for (std::size_t index = 0; index < m_steps.size(); ++index) {
                auto& step = m_steps[index];
                auto source = needsStatus() && step.source
                    ? m_fileSystem.itemStatus(*step.source, step.fromName)
                    : m_listings.identity(step.source, step.fromName);
                const auto& expected = m_options.expectedSources.empty()
                    ? std::nullopt
                    : m_options.expectedSources[step.given];
                if (!source && expected)
                    throw SourceChangedError(m_moves[step.given].from);
                if (!source)
                    throw RenameExecutionError(
                        "Source is missing: " + m_moves[step.given].from.path);
                step.checked = *source;
                if (expected && *expected != source->fingerprint())
                    throw SourceChangedError(m_moves[step.given].from);
                if (m_destinationIsSource[index])
                    continue;
                const auto& destination = m_destinations[step.destination];
                bool taken = destination.folder
                    ? m_listings.identity(destination.folder, step.toName).has_value()
                    : m_fileSystem.itemExists(step.to);
                if (taken)
                    throw RenameExecutionError(
                        "Destination already exists: " + m_moves[step.given].to.path);
            }
            m_listings.forget();
        }

        RenameJournalBatch journalBatch() const
        {
            RenameJournalBatch batch;
            batch.id = m_options.recordId;
            batch.backupPath = m_options.backupDirectory;
            batch.plannedFolders = m_planned;
            batch.entries.reserve(m_steps.size());
            for (const auto& step : m_steps) {
                batch.entries.push_back({ step.from,
                    step.from.deletingLastPathComponent().appending(
                        step.tempName, step.from.isDirectory),
                    step.to, step.checked.inode });
            }
            return batch;
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
            std::unordered_map<const OpenFolder*, std::size_t> wanted;
            for (const auto& step : m_steps)
                ++wanted[step.source];
            for (const auto& [folder, count] : wanted)
                m_listings.prepare(folder, count);
            for (const auto& step : m_steps) {
                auto staged = m_listings.identity(step.source, step.tempName);
                if (!staged || !staged->isSameItem(step.checked))
                    throw FileSystemError("The file \"" + m_moves[step.given].from.path
                            + "\" was replaced while it was being renamed",
                        EEXIST);
            }
            m_listings.forget();
        }

        void perform()
        {
            try {
                for (const auto& step : m_steps) {
                    m_fileSystem.moveItem(*step.source, step.fromName, *step.source, step.tempName);
                    ++m_staged;
                }
                verifyStaged();
                m_placed.assign(m_steps.size(), nullptr);
                for (std::size_t index = 0; index < m_steps.size(); ++index) {
                    const auto& step = m_steps[index];
                    const OpenFolder& destination = destinationFolder(step.destination);
                    m_fileSystem.moveItem(*step.source, step.tempName, destination, step.toName);
                    m_placed[index] = &destination;
                }
            } catch (const std::exception& failure) {
                throw rollBack(failure.what());
            }
        }

        RenameExecutionError rollBack(std::string cause)
        {
            m_placed.resize(m_steps.size(), nullptr);
            for (std::size_t index = m_staged; index-- > 0;) {
                if (!m_placed[index])
                    continue;
                const auto& step = m_steps[index];
                try {
                    m_fileSystem.moveItem(
                        *m_placed[index], step.toName, *step.source, step.tempName);
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
                    m_fileSystem.moveItem(*step.source, step.tempName, *step.source, step.fromName);
                } catch (const std::exception&) {
                    stranded.push_back(
                        { step.source->url.appending(step.tempName, step.from.isDirectory),
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
        Listings m_listings;

        std::vector<Step> m_steps;
        std::unordered_set<std::string> m_sourceKeys;
        std::vector<bool> m_destinationIsSource;
        /// Every folder opened before the first move, for the grant check.
        std::vector<const OpenFolder*> m_kept;
        /// Folders that stay where they are during the batch, by path; null when missing.
        std::unordered_map<std::string, const OpenFolder*> m_staying;
        std::vector<Destination> m_destinations;
        std::unordered_map<std::string, std::size_t> m_destinationIndex;
        std::vector<FileURL> m_planned;
        std::unordered_set<std::string> m_plannedSeen;
        std::unordered_map<std::string, const OpenFolder*> m_resolved;

        std::size_t m_staged = 0;
        std::vector<const OpenFolder*> m_placed;
        std::vector<Created> m_created;
    };

} // namespace

HistoryRecord recordOf(const Uuid& id, const std::vector<RenameMove>& moves,
    const AppliedBatch& applied, const std::optional<FileURL>& backupPath)
{
    HistoryRecord record;
    record.id = id;
    record.schemaVersion = 1;
    record.date = Date::now();
    record.moves = moves;
    for (std::size_t index = 0; index < moves.size(); ++index) {
        const auto& to = moves[index].to;
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
