#include "engine/apply/journal_recovery.h"

#include "engine/apply/granted_folders.h"
#include "engine/apply/local_file_system.h"
#include "engine/apply/rename_move.h"
#include "engine/model/uuid.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unordered_map>
#include <unordered_set>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sorvik::JournalRecovery {

namespace {

    constexpr std::string_view temporarySuffix = ".twtmp";
    constexpr std::string_view setAsideSuffix = ".unsound";

    std::string curlyQuoted(const std::string& text) { return "\u201C" + text + "\u201D"; }

    bool isTemporaryName(std::string_view name)
    {
        if (!name.starts_with('.') || !name.ends_with(temporarySuffix))
            return false;
        auto uuid = name.substr(1, name.size() - 1 - temporarySuffix.size());
        return uuid.size() == 36 && Uuid::parse(uuid).has_value();
    }

    /// A journal that must not be acted on, and why.
    struct Unsound {
        std::string reason;
    };

    /// One entry's places, in open folders.
    struct Places {
        const OpenFolder* fromFolder = nullptr;
        const OpenFolder* toFolder = nullptr;
        std::string fromName;
        std::string tempName;
        std::string toName;
    };

    /// What a restore left away from the sources.
    struct Left {
        std::vector<StrandedFile> stranded;
        std::vector<StrandedFile> missing;

        bool empty() const { return stranded.empty() && missing.empty(); }
    };

    /// The items of the folder at `folder` by file number, one name each; empty when it
    /// cannot be read. Items on another file system (mount points) are left out.
    std::unordered_map<std::uint64_t, std::string> namesByInode(const FileURL& folder)
    {
        std::unordered_map<std::uint64_t, std::string> names;
        DIR* directory = ::opendir(folder.path.c_str());
        if (!directory)
            return names;
        struct stat own { };
        if (::fstat(::dirfd(directory), &own) == 0) {
            while (const dirent* entry = ::readdir(directory)) {
                if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                    continue;
                struct stat status { };
                if (::fstatat(::dirfd(directory), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0
                    && status.st_dev == own.st_dev)
                    names.emplace(static_cast<std::uint64_t>(status.st_ino), entry->d_name);
            }
        }
        ::closedir(directory);
        return names;
    }

    /// Puts one trusted, unfinished batch back. Every folder is opened and checked against the
    /// grants before anything moves.
    class Restore {
    public:
        Restore(FileSystem& fileSystem, const RenameJournalBatch& batch, GrantedFolders* grants)
            : m_fileSystem(fileSystem)
            , m_batch(batch)
            , m_grants(grants)
            , m_open(fileSystem)
            , m_atTemp(batch.entries.size(), false)
            , m_home(batch.entries.size(), false)
            , m_wasPlaced(batch.entries.size(), false)
        {
        }

        /// The files left away from their sources, each where it is found. Throws `Unsound`
        /// before any move.
        Left run()
        {
            openFolders();
            // Without a file at a temporary name the batch either never began or finished
            // moving, and its files are where they belong; unless some are home and others at
            // their destination, as an earlier recovery that could not finish leaves them.
            if (!findStagedFiles() && !partlyPlaced())
                return {};
            bringPlacedFilesBack();
            removePlannedFolders();
            moveHome();
            // Folders that only now stand empty, once their files left them.
            removePlannedFolders();
            Left left;
            for (std::size_t index = m_batch.entries.size(); index-- > 0;) {
                const auto& entry = m_batch.entries[index];
                if (m_atTemp[index]) {
                    left.stranded.push_back({ entry.temp, entry.from });
                    continue;
                }
                if (m_home[index]
                    || holds(m_places[index].fromFolder, m_places[index].fromName, index))
                    continue;
                if (auto place = foundPlace(index))
                    left.stranded.push_back({ *place, entry.from });
                else
                    left.missing.push_back({ lastPlace(index), entry.from });
            }
            return left;
        }

    private:
        const OpenFolder* folder(const FileURL& url)
        {
            auto found = m_folders.find(url.path);
            if (found != m_folders.end())
                return found->second;
            const OpenFolder* opened = nullptr;
            try {
                opened = &m_open.keep(m_fileSystem.openFolder(url, true));
            } catch (const std::exception&) {
            }
            if (m_grants) {
                bool inside = opened ? m_grants->contain(*opened) : m_grants->containPath(url);
                if (!inside)
                    throw Unsound { curlyQuoted(url.path) + " is not inside a granted folder" };
            }
            m_folders.emplace(url.path, opened);
            return opened;
        }

        void openFolders()
        {
            std::unordered_set<std::uint64_t> inodes;
            for (const auto& entry : m_batch.entries) {
                if (entry.inode != 0 && !inodes.insert(entry.inode).second)
                    m_sharedInodes.insert(entry.inode);
            }
            m_places.reserve(m_batch.entries.size());
            for (const auto& entry : m_batch.entries) {
                Places places;
                places.fromFolder = folder(entry.from.deletingLastPathComponent());
                places.toFolder = folder(entry.to.deletingLastPathComponent());
                places.fromName = entry.from.lastPathComponent();
                places.tempName = entry.temp.lastPathComponent();
                places.toName = entry.to.lastPathComponent();
                m_places.push_back(std::move(places));
            }
            if (m_grants) {
                for (const auto& planned : m_batch.plannedFolders) {
                    if (!m_grants->containPath(planned))
                        throw Unsound { curlyQuoted(planned.path)
                            + " is not inside a granted folder" };
                }
            }
        }

        std::optional<ItemStatus> status(const OpenFolder* in, const std::string& name)
        {
            if (!in)
                return std::nullopt;
            return m_fileSystem.itemStatus(*in, name);
        }

        bool move(const OpenFolder* fromFolder, const std::string& fromName,
            const OpenFolder* toFolder, const std::string& toName)
        {
            if (!fromFolder || !toFolder)
                return false;
            try {
                m_fileSystem.moveItem(*fromFolder, fromName, *toFolder, toName);
                return true;
            } catch (const std::exception&) {
                return false;
            }
        }

        // Drops `name` when it and `other` are two names of one file that keeps both. Where
        // the batch itself renames two names of the file (hard links), the other name may be
        // one of those: no name of such a file is dropped.
        bool dropSecondName(const OpenFolder* in, const std::string& name,
            const std::optional<ItemStatus>& named, const std::optional<ItemStatus>& other)
        {
            if (!in || !named || !other || !named->isSameItem(*other) || named->isDirectory
                || named->linkCount < 2 || m_sharedInodes.contains(named->inode))
                return false;
            try {
                m_fileSystem.removeName(*in, name);
                return true;
            } catch (const std::exception&) {
                return false;
            }
        }

        /// Whether any file is at its temporary name; a batch without one had either not
        /// begun or finished moving.
        bool findStagedFiles()
        {
            bool any = false;
            for (std::size_t index = 0; index < m_places.size(); ++index) {
                const auto& places = m_places[index];
                auto temp = status(places.fromFolder, places.tempName);
                if (!temp)
                    continue;
                // A `link` + `unlink` move cut short leaves one file under two names.
                if (dropSecondName(places.fromFolder, places.tempName, temp,
                        status(places.fromFolder, places.fromName))) {
                    m_home[index] = true;
                    continue;
                }
                dropSecondName(
                    places.toFolder, places.toName, status(places.toFolder, places.toName), temp);
                m_atTemp[index] = true;
                any = true;
            }
            return any;
        }

        /// Whether the file of entry `index` is the one named `name` in `in`: the same file
        /// number, or, where the journal has none, any item at all.
        bool holds(const OpenFolder* in, const std::string& name, std::size_t index)
        {
            auto found = status(in, name);
            auto inode = m_batch.entries[index].inode;
            return found && (inode == 0 || found->inode == inode);
        }

        /// Whether some files of the batch are at their destination and others at their
        /// source (told by file number).
        bool partlyPlaced()
        {
            bool anyPlaced = false;
            bool anyHome = false;
            for (std::size_t index = 0; index < m_places.size() && !(anyPlaced && anyHome);
                 ++index) {
                if (m_batch.entries[index].inode == 0)
                    continue;
                const auto& places = m_places[index];
                if (holds(places.toFolder, places.toName, index))
                    anyPlaced = true;
                else if (holds(places.fromFolder, places.fromName, index))
                    anyHome = true;
            }
            return anyPlaced && anyHome;
        }

        /// Where the file of an entry that did not come home is found now: at its destination,
        /// or under any other name beside its source or its destination (renamed by hand or by
        /// another program meanwhile), told by file number. Nothing when it is not found there.
        std::optional<FileURL> foundPlace(std::size_t index)
        {
            const auto& entry = m_batch.entries[index];
            const auto& places = m_places[index];
            if (entry.inode == 0) {
                // Without a file number a file at the destination cannot be told from
                // another; it is reported only when nothing is at its source.
                if (status(places.toFolder, places.toName))
                    return entry.to;
                return std::nullopt;
            }
            if (holds(places.toFolder, places.toName, index))
                return entry.to;
            // Several entries of one file (hard links) cannot be told apart by its number.
            if (m_sharedInodes.contains(entry.inode))
                return std::nullopt;
            for (const FileURL& folder :
                { entry.from.deletingLastPathComponent(), entry.to.deletingLastPathComponent() }) {
                if (auto name = nameOf(folder, entry.inode))
                    return folder.appending(*name);
            }
            return std::nullopt;
        }

        /// Where the batch last left the file of an entry: at its destination when a later
        /// move of the batch had been placed, else at its temporary name.
        FileURL lastPlace(std::size_t index) const
        {
            const auto& entry = m_batch.entries[index];
            bool laterPlaced
                = std::any_of(m_wasPlaced.begin() + static_cast<std::ptrdiff_t>(index) + 1,
                    m_wasPlaced.end(), [](bool placed) { return placed; });
            return laterPlaced ? entry.to : entry.temp;
        }

        /// The name under which the file with `inode` is in `folder`, by one reading of the
        /// folder (kept for the other entries); nothing when none is.
        std::optional<std::string> nameOf(const FileURL& folder, std::uint64_t inode)
        {
            auto listed = m_namesByInode.find(folder.path);
            if (listed == m_namesByInode.end())
                listed = m_namesByInode.emplace(folder.path, namesByInode(folder)).first;
            auto found = listed->second.find(inode);
            if (found == listed->second.end())
                return std::nullopt;
            return found->second;
        }

        void bringPlacedFilesBack()
        {
            for (std::size_t index = m_places.size(); index-- > 0;) {
                const auto& entry = m_batch.entries[index];
                const auto& places = m_places[index];
                if (m_atTemp[index] || m_home[index] || entry.inode == 0)
                    continue;
                auto placed = status(places.toFolder, places.toName);
                if (!placed || placed->inode != entry.inode)
                    continue;
                m_wasPlaced[index] = true;
                auto source = status(places.fromFolder, places.fromName);
                if (source && source->inode == entry.inode)
                    continue;
                // Left where it is on failure; its source may still be free for the others.
                if (move(places.toFolder, places.toName, places.fromFolder, places.tempName))
                    m_atTemp[index] = true;
            }
        }

        /// The folders the batch may have made, deepest first, where they are empty. One at or
        /// below a source whose file is not at its temporary name may be that very file (or
        /// inside it), and stays.
        void removePlannedFolders()
        {
            if (m_batch.plannedFolders.empty())
                return;
            std::unordered_map<std::string, std::size_t> sources;
            for (std::size_t index = 0; index < m_batch.entries.size(); ++index)
                sources.emplace(comparisonKey(m_batch.entries[index].from), index);
            std::vector<FileURL> folders = m_batch.plannedFolders;
            std::sort(
                folders.begin(), folders.end(), [](const FileURL& left, const FileURL& right) {
                    return left.pathComponents().size() > right.pathComponents().size();
                });
            for (const auto& planned : folders) {
                bool mayBeOriginal = false;
                for (FileURL current = planned;;) {
                    auto source = sources.find(comparisonKey(current));
                    if (source != sources.end()) {
                        mayBeOriginal = !m_atTemp[source->second];
                        break;
                    }
                    auto above = current.deletingLastPathComponent();
                    if (above.path == current.path)
                        break;
                    current = above;
                }
                if (mayBeOriginal)
                    continue;
                const OpenFolder* parent = folder(planned.deletingLastPathComponent());
                if (!parent)
                    continue;
                try {
                    m_fileSystem.removeEmptyDirectory(*parent, planned.lastPathComponent());
                } catch (const std::exception&) {
                    // Not empty, or gone already.
                }
            }
        }

        void moveHome()
        {
            std::unordered_map<std::string, std::size_t> byDestination;
            for (std::size_t index = 0; index < m_batch.entries.size(); ++index)
                byDestination.emplace(comparisonKey(m_batch.entries[index].to), index);
            for (bool progress = true; progress;) {
                progress = false;
                for (std::size_t index = m_places.size(); index-- > 0;) {
                    if (!m_atTemp[index])
                        continue;
                    const auto& places = m_places[index];
                    if (move(places.fromFolder, places.tempName, places.fromFolder,
                            places.fromName)) {
                        m_atTemp[index] = false;
                        m_home[index] = true;
                        progress = true;
                        continue;
                    }
                    // The source may be taken by another file of the batch that reached its
                    // destination without being recognised: move that one aside first.
                    auto blocker = byDestination.find(comparisonKey(m_batch.entries[index].from));
                    if (blocker == byDestination.end())
                        continue;
                    std::size_t other = blocker->second;
                    if (other == index || m_atTemp[other] || m_home[other])
                        continue;
                    const auto& otherPlaces = m_places[other];
                    if (move(otherPlaces.toFolder, otherPlaces.toName, otherPlaces.fromFolder,
                            otherPlaces.tempName)) {
                        m_atTemp[other] = true;
                        progress = true;
                    }
                }
            }
        }

        FileSystem& m_fileSystem;
        const RenameJournalBatch& m_batch;
        GrantedFolders* m_grants;
        OpenFolders m_open;
        std::unordered_map<std::string, const OpenFolder*> m_folders;
        std::vector<Places> m_places;
        std::vector<bool> m_atTemp;
        std::vector<bool> m_home;
        /// Entries found at their destination when recovery began.
        std::vector<bool> m_wasPlaced;
        /// Per folder path, the names of its items by file number, once read.
        std::unordered_map<std::string, std::unordered_map<std::uint64_t, std::string>>
            m_namesByInode;
        /// File numbers that more than one entry of the batch holds.
        std::unordered_set<std::uint64_t> m_sharedInodes;
    };

    std::optional<bool> journalNameIsUnfinished(const std::string& name)
    {
        return RenameJournal::nameIsUnfinished(name);
    }

    /// Renames the journal aside; the text that tells the user.
    std::string setAside(const FileURL& url, const std::string& reason)
    {
        if (auto kept = LocalFileSystem::moveAside(url, setAsideSuffix))
            return "The journal of an interrupted rename was not used, because " + reason
                + ". It is kept at " + curlyQuoted(kept->path) + "; no file was moved.";
        return "The journal of an interrupted rename at " + curlyQuoted(url.path)
            + " was not used, because " + reason + "; no file was moved.";
    }

} // namespace

std::optional<std::string> unsoundness(const RenameJournalBatch& batch)
{
    std::unordered_set<std::string> sources;
    std::unordered_set<std::string> sourcePaths;
    std::unordered_set<std::string> temps;
    std::unordered_set<std::string> destinations;
    for (const auto& entry : batch.entries) {
        for (const FileURL* url : { &entry.from, &entry.temp, &entry.to }) {
            if (!url->isStandardized() || url->path == "/")
                return curlyQuoted(url->path) + " is not a plain absolute path of a file";
        }
        if (entry.temp.deletingLastPathComponent().path
                != entry.from.deletingLastPathComponent().path
            || !isTemporaryName(entry.temp.lastPathComponent()))
            return "the temporary name " + curlyQuoted(entry.temp.path) + " of "
                + curlyQuoted(entry.from.path) + " is not one beside it";
        auto from = comparisonKey(entry.from);
        auto temp = comparisonKey(entry.temp);
        auto to = comparisonKey(entry.to);
        // A change of letter case only is a move between two names of one key.
        if (entry.from.path == entry.to.path || from == temp || temp == to)
            return "one entry names the same file twice (" + curlyQuoted(entry.from.path) + ", "
                + curlyQuoted(entry.temp.path) + ", " + curlyQuoted(entry.to.path) + ")";
        // Sources differing in letter case only are two files where the volume tells case
        // apart, and the executor took them as such; destinations never differ that little.
        sources.insert(from);
        if (!sourcePaths.insert(entry.from.path).second || !temps.insert(temp).second
            || !destinations.insert(to).second)
            return "two entries name the same file (" + curlyQuoted(entry.from.path) + ")";
    }
    for (const auto& entry : batch.entries) {
        auto temp = comparisonKey(entry.temp);
        if (sources.contains(temp) || destinations.contains(temp))
            return "the temporary name " + curlyQuoted(entry.temp.path)
                + " is also a file of the batch";
    }
    for (const auto& folder : batch.plannedFolders) {
        if (!folder.isStandardized() || folder.path == "/")
            return curlyQuoted(folder.path) + " is not a plain absolute path of a folder";
    }
    return std::nullopt;
}

HistoryRecord recordOf(const RenameJournalBatch& batch, const RenameJournalCompletion& completion)
{
    HistoryRecord record;
    record.id = batch.id.value_or(Uuid::random());
    record.schemaVersion = 1;
    record.date = completion.date;
    record.moves.reserve(batch.entries.size());
    for (const auto& entry : batch.entries) {
        record.moves.push_back({ entry.from, entry.to });
        FileFingerprint fingerprint;
        try {
            fingerprint = FileFingerprint(entry.to);
        } catch (const std::exception&) {
            // Gone since: the unreadable values, which no file matches at undo.
        }
        record.fingerprints.emplace(entry.to.path, fingerprint);
    }
    record.createdDirectories = completion.createdDirectories;
    record.backupPath = batch.backupPath;
    record.undone = false;
    return record;
}

Report recover(FileSystem& fileSystem, const FileURL& folder, const Options& options)
{
    Report report;
    std::error_code error;
    std::vector<std::string> names;
    std::filesystem::directory_iterator listing(folder.path, error);
    if (error) {
        if (error == std::errc::no_such_file_or_directory)
            return report;
        report.problems.push_back(
            FileSystemError("Couldn't list the folder \"" + folder.path + "\"", error.value())
                .what());
        return report;
    }
    for (; !error && listing != std::filesystem::directory_iterator(); listing.increment(error)) {
        std::string name = listing->path().filename().string();
        if (journalNameIsUnfinished(name))
            names.push_back(std::move(name));
    }
    if (error) {
        report.problems.push_back(
            FileSystemError("Couldn't list the folder \"" + folder.path + "\"", error.value())
                .what());
    }
    std::sort(names.begin(), names.end());
    if (names.empty())
        return report;

    std::optional<GrantedFolders> grants;
    if (options.grantedFolders)
        grants.emplace(fileSystem, *options.grantedFolders);

    for (const auto& name : names) {
        bool unfinished = *journalNameIsUnfinished(name);
        FileURL url = folder.appending(name);
        // Non-blocking and not through a link: whatever stands under a journal's name, opening
        // it cannot stall the program.
        int descriptor = ::open(url.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (descriptor < 0) {
            int failure = errno;
            if (failure == ENOENT)
                continue;
            if (failure == ELOOP) {
                report.problems.push_back(setAside(url, "it is a symbolic link"));
                continue;
            }
            report.problems.push_back(
                FileSystemError("Couldn't read the rename journal \"" + url.path + "\"", failure)
                    .what());
            continue;
        }
        RenameJournal journal(url, descriptor);
        if (!RenameJournal::lockIfAbandoned(descriptor))
            continue;
        struct stat opened { };
        struct stat named { };
        if (::fstat(descriptor, &opened) != 0 || ::lstat(url.path.c_str(), &named) != 0
            || opened.st_dev != named.st_dev || opened.st_ino != named.st_ino)
            continue;
        if (!S_ISREG(opened.st_mode)) {
            report.problems.push_back(setAside(url, "it is not a regular file"));
            continue;
        }
        // A journal that never got its final name was written before any move.
        if (unfinished) {
            journal.finish();
            continue;
        }
        RenameJournalContents contents;
        try {
            contents = RenameJournal::read(descriptor, url);
        } catch (const FileSystemError& failure) {
            report.problems.push_back(failure.what());
            continue;
        } catch (const std::exception&) {
            report.problems.push_back(setAside(url, "it is damaged"));
            continue;
        }
        if (auto reason = unsoundness(contents.batch)) {
            report.problems.push_back(setAside(url, *reason));
            continue;
        }
        try {
            if (contents.completion) {
                if (grants) {
                    std::unordered_set<std::string> checked;
                    for (const auto& entry : contents.batch.entries) {
                        auto destination = entry.to.deletingLastPathComponent();
                        if (!checked.insert(destination.path).second)
                            continue;
                        if (!grants->containPath(destination))
                            throw Unsound { curlyQuoted(entry.to.path)
                                + " is not inside a granted folder" };
                    }
                }
                if (contents.batch.id && options.recordBatch)
                    options.recordBatch(recordOf(contents.batch, *contents.completion));
                journal.finish();
                continue;
            }
            auto left = Restore(fileSystem, contents.batch, grants ? &*grants : nullptr).run();
            if (left.empty())
                journal.finish();
            report.stranded.insert(
                report.stranded.end(), left.stranded.begin(), left.stranded.end());
            report.missing.insert(report.missing.end(), left.missing.begin(), left.missing.end());
        } catch (const Unsound& unsound) {
            report.problems.push_back(setAside(url, unsound.reason));
        } catch (const std::exception& failure) {
            report.problems.push_back("The finished rename recorded in " + curlyQuoted(url.path)
                + " could not be added to the history: " + failure.what());
        }
    }
    return report;
}

} // namespace sorvik::JournalRecovery
