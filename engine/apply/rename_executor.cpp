#include "engine/apply/rename_executor.h"

#include "engine/apply/backup_folder.h"
#include "engine/apply/rename_journal.h"
#include "engine/model/uuid.h"

#include <cerrno>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include <dirent.h>

#include <sys/stat.h>

namespace sorvik {

namespace {

    constexpr const char* duplicateText = "Duplicate source or destination.";

    FileURL temporaryURL(const FileURL& from)
    {
        return from.deletingLastPathComponent().appending(
            "." + Uuid::random().text() + ".twtmp", from.isDirectory);
    }

    // The file numbers of the sources, for the journal. Where many sources share a folder,
    // one listing of the folder costs far less than a `lstat` of each; the listing stops early
    // when the folder holds much more than the batch takes from it.
    std::vector<std::uint64_t> fileNumbers(const std::vector<RenameMove>& moves)
    {
        constexpr std::size_t listingThreshold = 64;
        constexpr std::size_t entriesPerSource = 16;
        std::vector<std::uint64_t> numbers(moves.size(), 0);
        std::unordered_map<std::string, std::vector<std::size_t>> byFolder;
        for (std::size_t index = 0; index < moves.size(); ++index)
            byFolder[moves[index].from.deletingLastPathComponent().path].push_back(index);
        for (const auto& [folder, indices] : byFolder) {
            if (indices.size() < listingThreshold)
                continue;
            std::unordered_map<std::string, std::size_t> wanted;
            wanted.reserve(indices.size());
            for (std::size_t index : indices)
                wanted.emplace(moves[index].from.lastPathComponent(), index);
            DIR* listing = ::opendir(folder.c_str());
            if (!listing)
                continue;
            std::size_t budget = indices.size() * entriesPerSource;
            while (const dirent* entry = ::readdir(listing)) {
                if (budget-- == 0)
                    break;
                auto found = wanted.find(entry->d_name);
                if (found != wanted.end())
                    numbers[found->second] = static_cast<std::uint64_t>(entry->d_ino);
            }
            ::closedir(listing);
        }
        for (std::size_t index = 0; index < moves.size(); ++index) {
            if (numbers[index] != 0)
                continue;
            struct stat status { };
            if (::lstat(moves[index].from.path.c_str(), &status) == 0)
                numbers[index] = static_cast<std::uint64_t>(status.st_ino);
        }
        return numbers;
    }

    // The run of one batch from the first move on.
    class Run {
    public:
        Run(FileSystem& fileSystem, const std::vector<RenameMove>& moves)
            : m_fileSystem(fileSystem)
            , m_moves(moves)
            , m_completed(moves.size(), false)
        {
            m_temps.reserve(moves.size());
            for (const auto& move : moves)
                m_temps.push_back(temporaryURL(move.from));
        }

        const std::vector<FileURL>& temps() const { return m_temps; }

        std::vector<FileURL> perform()
        {
            try {
                for (std::size_t index = 0; index < m_moves.size(); ++index) {
                    m_fileSystem.moveItem(m_moves[index].from, m_temps[index]);
                    ++m_staged;
                }
                for (std::size_t index = 0; index < m_staged; ++index) {
                    makeParentFolder(m_moves[index].to);
                    m_fileSystem.moveItem(m_temps[index], m_moves[index].to);
                    m_completed[index] = true;
                }
            } catch (const std::exception& failure) {
                throw rollBack(failure.what());
            }
            return std::move(m_created);
        }

    private:
        // Creates the missing folders above `to`, outermost first. A folder once seen or
        // made is not tested again: a batch into one folder costs one test, not one per file.
        void makeParentFolder(const FileURL& to)
        {
            FileURL parent = to.deletingLastPathComponent();
            if (m_knownFolders.contains(parent.path))
                return;
            if (!m_fileSystem.itemExists(parent)) {
                std::vector<FileURL> missing;
                FileURL current = parent;
                for (;;) {
                    missing.push_back(current);
                    FileURL above = current.deletingLastPathComponent();
                    if (above.path == current.path)
                        throw FileSystemError(
                            "Couldn't create the folder \"" + parent.path + "\"", EACCES);
                    current = above;
                    if (m_knownFolders.contains(current.path) || m_fileSystem.itemExists(current))
                        break;
                }
                for (auto folder = missing.rbegin(); folder != missing.rend(); ++folder) {
                    m_fileSystem.createDirectory(*folder);
                    m_created.push_back(*folder);
                    m_knownFolders.insert(folder->path);
                }
            }
            m_knownFolders.insert(parent.path);
        }

        RenameExecutionError rollBack(std::string cause)
        {
            for (std::size_t index = m_staged; index-- > 0;) {
                if (!m_completed[index])
                    continue;
                try {
                    m_fileSystem.moveItem(m_moves[index].to, m_temps[index]);
                    m_completed[index] = false;
                } catch (const std::exception&) {
                    // It stays at its destination and is reported below.
                }
            }
            // The placed files have left the created folders; remove those before moving
            // anything home, since a created folder may stand where a source was.
            for (auto folder = m_created.rbegin(); folder != m_created.rend(); ++folder) {
                try {
                    m_fileSystem.removeEmptyDirectory(*folder);
                } catch (const std::exception&) {
                }
            }
            std::vector<FileURL> recoveryFiles;
            for (std::size_t index = m_staged; index-- > 0;) {
                if (m_completed[index]) {
                    recoveryFiles.push_back(m_moves[index].to);
                    continue;
                }
                try {
                    m_fileSystem.moveItem(m_temps[index], m_moves[index].from);
                } catch (const std::exception&) {
                    recoveryFiles.push_back(m_temps[index]);
                }
            }
            return RenameExecutionError(std::move(cause), std::move(recoveryFiles));
        }

        FileSystem& m_fileSystem;
        const std::vector<RenameMove>& m_moves;
        std::vector<FileURL> m_temps;
        std::size_t m_staged = 0;
        std::vector<bool> m_completed;
        std::vector<FileURL> m_created;
        std::unordered_set<std::string> m_knownFolders;
    };

} // namespace

RenameExecutor::RenameExecutor(FileSystem& fileSystem, std::optional<FileURL> journalFolder)
    : m_fileSystem(fileSystem)
    , m_journalFolder(std::move(journalFolder))
{
}

std::vector<FileURL> RenameExecutor::execute(
    const std::vector<RenameMove>& moves, const std::optional<FileURL>& backupDirectory) const
{
    std::vector<RenameMove> effective;
    effective.reserve(moves.size());
    for (const auto& move : moves) {
        if (move.from.standardized().path != move.to.standardized().path)
            effective.push_back(move);
    }

    std::unordered_set<std::string> sourceKeys;
    sourceKeys.reserve(effective.size());
    for (const auto& move : effective)
        sourceKeys.insert(comparisonKey(move.from));
    if (sourceKeys.size() < effective.size())
        throw RenameExecutionError(duplicateText);
    std::vector<std::string> destinationKeys;
    destinationKeys.reserve(effective.size());
    {
        std::unordered_set<std::string> seen;
        seen.reserve(effective.size());
        for (const auto& move : effective) {
            destinationKeys.push_back(comparisonKey(move.to));
            if (!seen.insert(destinationKeys.back()).second)
                throw RenameExecutionError(duplicateText);
        }
    }

    // Every source, and every destination that is not also a source (that one will have
    // moved away in phase 1), asked in one go; failures are reported in batch order.
    std::vector<FileURL> asked;
    asked.reserve(effective.size() * 2);
    std::vector<bool> destinationAsked(effective.size(), false);
    for (std::size_t index = 0; index < effective.size(); ++index) {
        asked.push_back(effective[index].from);
        if (!sourceKeys.contains(destinationKeys[index])) {
            destinationAsked[index] = true;
            asked.push_back(effective[index].to);
        }
    }
    auto exists = m_fileSystem.itemsExist(asked);
    for (std::size_t index = 0, answer = 0; index < effective.size(); ++index) {
        const auto& move = effective[index];
        if (!exists[answer++])
            throw RenameExecutionError("Source is missing: " + move.from.path);
        if (!destinationAsked[index])
            continue;
        if (exists[answer++])
            throw RenameExecutionError("Destination already exists: " + move.to.path);
    }

    if (backupDirectory)
        backup::write(*backupDirectory, effective);
    if (effective.empty())
        return {};

    Run run(m_fileSystem, effective);
    RenameJournal journal;
    if (m_journalFolder) {
        auto numbers = fileNumbers(effective);
        std::vector<RenameJournalEntry> entries;
        entries.reserve(effective.size());
        for (std::size_t index = 0; index < effective.size(); ++index) {
            entries.push_back(
                { effective[index].from, run.temps()[index], effective[index].to, numbers[index] });
        }
        journal = RenameJournal::begin(*m_journalFolder, entries);
    }
    try {
        auto created = run.perform();
        journal.finish();
        return created;
    } catch (const RenameExecutionError& error) {
        // Files the rollback could not put back stay listed in the journal, so the next
        // start-up tries again; the user also gets their paths now.
        if (error.recoveryFiles().empty())
            journal.finish();
        throw;
    }
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

std::vector<FileURL> RenameExecutor::recoverInterruptedBatches() const
{
    if (!m_journalFolder)
        return {};
    return RenameJournal::recover(m_fileSystem, *m_journalFolder);
}

void RenameExecutor::pruneBackups(const FileURL& folder, Date cutoff)
{
    backup::prune(folder, cutoff);
}

} // namespace sorvik
