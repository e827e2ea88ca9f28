#include "engine/apply/batch_checks.h"

#include "engine/apply/rename_move.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <map>
#include <string>
#include <unordered_map>

namespace sorvik::BatchChecks {

namespace {

    /// A name's comparison form, as a path's comparison key folds it.
    std::string nameKey(std::string_view name)
    {
        return comparisonKey(FileURL("/" + std::string(name)));
    }

    /// The last component of a path.
    std::string_view nameOf(std::string_view path) { return path.substr(path.rfind('/') + 1); }

    /// What can be told of two names without reading their folder.
    enum class Verdict { oneEntry, twoEntries, askTheListing };

    Verdict judge(FileSystem& fileSystem, const Name& first, const Name& second)
    {
        if (!first.folder || !second.folder || nameKey(first.name) != nameKey(second.name))
            return Verdict::twoEntries;
        auto firstStatus = fileSystem.itemStatus(*first.folder, first.name);
        auto secondStatus = fileSystem.itemStatus(*second.folder, second.name);
        if (!firstStatus || !secondStatus || !firstStatus->isSameItem(*secondStatus))
            return Verdict::twoEntries;
        if (first.folder != second.folder) {
            try {
                if (!fileSystem.folderStatus(*first.folder)
                         .isSameItem(fileSystem.folderStatus(*second.folder)))
                    return Verdict::twoEntries;
            } catch (const std::exception&) {
                // A folder that cannot tell what it is cannot show the names apart.
                return Verdict::oneEntry;
            }
        }
        if (first.name == second.name || firstStatus->linkCount <= 1)
            return Verdict::oneEntry;
        return Verdict::askTheListing;
    }

    /// No limit on the entries of a folder read for the spellings of one file's names: it is
    /// read only for names of a file with many names, alike but for letter case.
    constexpr std::size_t anyFolderSize = std::numeric_limits<std::size_t>::max() / 4;

} // namespace

bool isOneEntry(FileSystem& fileSystem, const Name& first, const Name& second)
{
    auto verdict = judge(fileSystem, first, second);
    if (verdict != Verdict::askTheListing)
        return verdict == Verdict::oneEntry;
    // Two entries only when the folder is seen to hold both spellings.
    auto found = fileSystem.findNames(*first.folder, { first.name, second.name }, anyFolderSize);
    return !(found && (*found)[0] && (*found)[1]);
}

bool isOneEntry(FileSystem& fileSystem, const FileURL& first, const FileURL& second)
{
    OpenFolders open(fileSystem);
    auto folderOf = [&](const FileURL& url) -> const OpenFolder* {
        try {
            return &open.keep(fileSystem.openFolder(url.deletingLastPathComponent(), true));
        } catch (const std::exception&) {
            return nullptr;
        }
    };
    auto firstName = first.lastPathComponent();
    auto secondName = second.lastPathComponent();
    const OpenFolder* firstFolder = folderOf(first);
    const OpenFolder* secondFolder = firstFolder
            && first.deletingLastPathComponent().path == second.deletingLastPathComponent().path
        ? firstFolder
        : folderOf(second);
    if (!firstFolder || !secondFolder)
        return false;
    return isOneEntry(fileSystem, { firstFolder, firstName }, { secondFolder, secondName });
}

std::vector<std::pair<std::size_t, std::size_t>> entriesReachedTwice(FileSystem& fileSystem,
    const std::vector<std::vector<std::size_t>>& groups,
    const std::function<Name(std::size_t)>& nameAt)
{
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    // Pairs whose folder must be read, by folder: each folder is read once for all of them.
    std::map<const OpenFolder*, std::vector<std::pair<std::size_t, std::size_t>>> toList;
    for (const auto& group : groups) {
        for (std::size_t one = 0; one < group.size(); ++one) {
            for (std::size_t other = one + 1; other < group.size(); ++other) {
                std::pair pair(group[one], group[other]);
                Name first = nameAt(pair.first);
                switch (judge(fileSystem, first, nameAt(pair.second))) {
                case Verdict::oneEntry:
                    pairs.push_back(pair);
                    break;
                case Verdict::askTheListing:
                    toList[first.folder].push_back(pair);
                    break;
                case Verdict::twoEntries:
                    break;
                }
            }
        }
    }
    for (const auto& [folder, listed] : toList) {
        std::vector<std::string_view> wanted;
        for (const auto& [first, second] : listed) {
            wanted.push_back(nameAt(first).name);
            wanted.push_back(nameAt(second).name);
        }
        auto answers = fileSystem.findNames(*folder, wanted, anyFolderSize);
        for (std::size_t index = 0; index < listed.size(); ++index) {
            if (!answers || !(*answers)[2 * index] || !(*answers)[2 * index + 1])
                pairs.push_back(listed[index]);
        }
    }
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}

std::optional<OpenFolder> openExistingFolder(FileSystem& fileSystem, const FileURL& url)
{
    try {
        return fileSystem.openFolder(url, true);
    } catch (const FileSystemError& error) {
        if (error.code() == ENOENT)
            return std::nullopt;
        throw;
    }
}

FolderAnswer folderState(FileSystem& fileSystem, const FileURL& folder, const FileURL& within)
{
    // Whether the folder at `url` can be opened, or is missing; false for a file in the way.
    auto opens = [&](const FileURL& url) {
        if (auto open = openExistingFolder(fileSystem, url))
            fileSystem.closeFolder(*open);
        return true;
    };
    try {
        opens(folder);
        return {};
    } catch (const FileSystemError& error) {
        if (error.code() != ENOTDIR)
            return { FolderAnswer::Kind::unusable, folder };
    }
    // Something on the way is not a folder: the highest such below `within` is in the way.
    FileURL blocking = folder;
    for (FileURL current = folder.deletingLastPathComponent();
         current.path.size() > within.path.size(); current = current.deletingLastPathComponent()) {
        try {
            if (opens(current))
                break;
        } catch (const FileSystemError& error) {
            if (error.code() != ENOTDIR)
                return { FolderAnswer::Kind::unusable, current };
        }
        blocking = current;
    }
    return { FolderAnswer::Kind::notAFolder, blocking };
}

namespace {

    /// Whether names in `folder` may be found in another letter case: `name`, one of its
    /// names, read with the case of its ASCII letters turned, leads to the same item. A name
    /// without such letters cannot tell, and the folder is taken to ignore case.
    bool mayIgnoreCase(FileSystem& fileSystem, const OpenFolder& folder, std::string_view name)
    {
        std::string turned(name);
        bool hasLetter = false;
        for (char& character : turned) {
            if (character >= 'a' && character <= 'z') {
                character = static_cast<char>(character - 32);
                hasLetter = true;
            } else if (character >= 'A' && character <= 'Z') {
                character = static_cast<char>(character + 32);
                hasLetter = true;
            }
        }
        if (!hasLetter)
            return true;
        auto asGiven = fileSystem.itemStatus(folder, name);
        auto asTurned = fileSystem.itemStatus(folder, turned);
        return asGiven && asTurned && asGiven->isSameItem(*asTurned);
    }

} // namespace

SourceAnswers findSources(FileSystem& fileSystem, const std::vector<const FileURL*>& sources,
    const std::vector<bool>& moving, const std::function<bool(const FileURL&)>& exists)
{
    SourceAnswers findings;
    findings.missing.resize(sources.size());
    for (std::size_t index = 0; index < sources.size(); ++index)
        findings.missing[index] = !exists(*sources[index]);

    // The moving sources that are there, by the folder path they are given with: two paths of
    // one folder are found to be one by the folders' identities below.
    std::unordered_map<std::size_t, std::string> standardized;
    auto pathOf = [&](std::size_t index) -> std::string_view {
        std::string_view path = sources[index]->path;
        auto name = path.substr(path.rfind('/') + 1);
        if (!name.empty() && name != "." && name != "..")
            return path;
        auto [entry, isNew] = standardized.try_emplace(index);
        if (isNew)
            entry->second = sources[index]->standardized().path;
        return entry->second;
    };
    auto isLookedAt = [&](std::size_t index) { return moving[index] && !findings.missing[index]; };
    struct Folder {
        const OpenFolder* open = nullptr;
        /// The first of its sources, whose name tells whether the folder ignores case.
        std::size_t first = 0;
        /// Its names are compared with the other names of its group.
        bool isCompared = false;
    };
    std::unordered_map<std::string_view, Folder> folders;
    // Files of one folder mostly follow each other.
    std::string_view lastPath;
    Folder* last = nullptr;
    auto folderFor = [&](std::size_t index) -> Folder& {
        auto folderPath = folderPathOf(pathOf(index));
        if (!last || folderPath != lastPath) {
            auto [entry, isNew] = folders.try_emplace(folderPath);
            if (isNew)
                entry->second.first = index;
            last = &entry->second;
            lastPath = folderPath;
        }
        return *last;
    };
    for (std::size_t index = 0; index < sources.size(); ++index) {
        if (isLookedAt(index))
            folderFor(index);
    }

    // Two names are one entry only in one folder, reached by one path or two, and only when
    // they are alike but for letter case: where the folder tells case apart, only the same
    // name reached by two paths is.
    OpenFolders open(fileSystem);
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::vector<Folder*>> byIdentity;
    for (auto& [path, folder] : folders) {
        try {
            folder.open = &open.keep(fileSystem.openFolder(FileURL(path, true), true));
            auto status = fileSystem.folderStatus(*folder.open);
            byIdentity[{ status.device, status.inode }].push_back(&folder);
        } catch (const std::exception&) {
            // Its files were there a moment ago; the executor's checks will say what changed.
        }
    }
    // Per group of one folder's paths: whether names are compared ignoring case.
    std::map<const Folder*, std::pair<std::size_t, bool>> compared;
    std::size_t groupCount = 0;
    for (const auto& [identity, sameFolder] : byIdentity) {
        const Folder& first = *sameFolder.front();
        bool ignoresCase = mayIgnoreCase(fileSystem, *first.open, nameOf(pathOf(first.first)));
        if (sameFolder.size() == 1 && !ignoresCase)
            continue;
        for (Folder* folder : sameFolder) {
            folder->isCompared = true;
            compared[folder] = { groupCount, ignoresCase };
        }
        ++groupCount;
    }
    if (compared.empty())
        return findings;

    std::vector<std::unordered_map<std::string, std::vector<std::size_t>>> byName(groupCount);
    std::vector<Name> candidates;
    std::vector<std::size_t> places;
    last = nullptr;
    for (std::size_t index = 0; index < sources.size(); ++index) {
        if (!isLookedAt(index))
            continue;
        Folder& folder = folderFor(index);
        if (!folder.isCompared)
            continue;
        auto [group, ignoresCase] = compared[&folder];
        auto name = nameOf(pathOf(index));
        byName[group][ignoresCase ? nameKey(name) : std::string(name)].push_back(candidates.size());
        candidates.push_back({ folder.open, name });
        places.push_back(index);
    }
    std::vector<std::vector<std::size_t>> groups;
    for (auto& names : byName) {
        for (auto& [key, alike] : names) {
            if (alike.size() > 1)
                groups.push_back(std::move(alike));
        }
    }
    for (auto [first, second] : entriesReachedTwice(
             fileSystem, groups, [&](std::size_t candidate) { return candidates[candidate]; }))
        findings.sameEntries.push_back(std::minmax(places[first], places[second]));
    std::sort(findings.sameEntries.begin(), findings.sameEntries.end());
    return findings;
}

} // namespace sorvik::BatchChecks
