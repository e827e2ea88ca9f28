#include "app/store/folder_access_manager.h"

#include "app/store/bookmark.h"
#include "app/store/file_error.h"
#include "app/store/json_files.h"
#include "app/store/security_scope.h"
#include "app/store/stored_file.h"
#include "app/store/stored_file_error.h"
#include "engine/model/folder_paths.h"

#include <algorithm>
#include <cerrno>
#include <unordered_set>

#include <sys/stat.h>

namespace sorvik {

namespace {

    constexpr const char* storageName = "bookmarks.plist";

    std::string standardizedPath(const FileURL& url) { return url.standardized().path; }

    /// A granted folder as the manager keeps it: standardized and marked as a folder.
    FileURL folderURL(const FileURL& url) { return FileURL(standardizedPath(url), true); }

    bool samePath(const FileURL& first, const FileURL& second)
    {
        return standardizedPath(first) == standardizedPath(second);
    }

    bool isListed(const std::vector<FileURL>& folders, const FileURL& folder)
    {
        return std::any_of(folders.begin(), folders.end(),
            [&](const FileURL& listed) { return samePath(listed, folder); });
    }

    /// Whether a stored grant names `path`: by its key, by the path its bookmark records, or
    /// by the folder its bookmark finds today.
    bool namesFolder(const std::string& key, const BookmarkData& data, const std::string& path)
    {
        if (FileURL(key).standardized().path == path)
            return true;
        if (auto recorded = Bookmark::recordedPath(data);
            recorded && FileURL(*recorded).standardized().path == path)
            return true;
        try {
            return standardizedPath(Bookmark::resolve(data).url) == path;
        } catch (const Error&) {
            return false;
        }
    }

} // namespace

FolderAccessManager::AccessBatch::~AccessBatch()
{
    for (const auto& folder : m_started)
        SecurityScope::stopAccessing(folder);
}

FolderAccessManager::FolderAccessManager(QObject* parent)
    : QObject(parent)
{
    load();
}

FolderAccessManager::~FolderAccessManager() = default;

void FolderAccessManager::load()
{
    auto folder = JSONFiles::applicationFolder();
    auto storagePath = folder / storageName;
    m_storage = FileURL(storagePath.string());
    try {
        StoredFile::createFolder(folder);
    } catch (const Error& error) {
        setErrorMessage(error.what());
        return;
    }

    auto legacyPath = JSONFiles::legacyFolder() / storageName;
    auto source = StoredFile::exists(storagePath) ? storagePath : legacyPath;
    if (!StoredFile::exists(source))
        return;
    try {
        setBookmarks(BookmarkFile::read(source));
    } catch (const Error& error) {
        // Every grant the user made may be in it: never write over it, and say how to get
        // out of it, since no folder can be granted until then.
        m_storageError = StoredFile::unreadableReason(source, error) + " "
            + StoredFile::startAfresh(source, "no granted folders", true);
        setErrorMessage(m_storageError);
        return;
    }

    // A copy, so that refreshed entries do not disturb the walk; the map keeps path order, so
    // start-up goes the same way every time.
    const BookmarkMap stored = m_bookmarks;
    bool needsWrite = source != storagePath;
    std::vector<std::string> failures;
    for (const auto& [key, data] : stored) {
        try {
            auto resolved = Bookmark::resolve(data);
            if (!SecurityScope::startAccessing(resolved.url))
                continue;
            open(resolved.url);
            if (resolved.isStale) {
                auto fresh = Bookmark::create(resolved.url);
                auto refreshed = m_bookmarks;
                refreshed.erase(key);
                refreshed[resolved.url.path] = std::move(fresh);
                setBookmarks(std::move(refreshed));
                needsWrite = true;
            }
        } catch (const FileError& error) {
            // One folder that is gone (a removed disk, a deleted folder) must not keep every
            // grant after it closed at each start: keep its bookmark for when it comes back,
            // go on with the others, and name it below with the others not found.
            if (error.code() == FileError::Code::fileReadCorruptFile)
                failures.push_back("The grant of " + FileError::quoted(key) + " in "
                    + FileError::quoted(source.string())
                    + " is damaged, so that folder can\u2019t be opened. Remove the grant and "
                      "grant the folder again.");
            else if (error.code() != FileError::Code::fileNoSuchFile)
                failures.push_back("The granted folder " + FileError::quoted(key)
                    + " couldn\u2019t be opened: " + error.what());
        } catch (const Error& error) {
            failures.push_back("The granted folder " + FileError::quoted(key)
                + " couldn\u2019t be opened: " + error.what());
        }
    }
    // The grants whose folder was not found, whatever the reason, and those that are damaged.
    std::vector<FileURL> notFound;
    for (const auto& [key, data] : m_bookmarks) {
        if (Bookmark::recordedPath(data) && !isListed(m_folders, FileURL(key, true)))
            notFound.emplace_back(key, true);
    }
    if (auto text = notFoundText(notFound))
        failures.insert(failures.begin(), std::move(*text));

    if (needsWrite) {
        try {
            writeBookmarks(m_bookmarks);
        } catch (const Error& error) {
            failures.emplace_back(error.what());
        }
    }
    if (failures.empty())
        return;
    std::string text;
    for (const auto& failure : failures)
        text += (text.empty() ? "" : "\n") + failure;
    setErrorMessage(std::move(text));
}

std::vector<FileURL> FolderAccessManager::notFoundFolders() const
{
    std::vector<FileURL> missing;
    for (const auto& [path, data] : m_bookmarks) {
        if (!isListed(m_folders, FileURL(path, true)))
            missing.emplace_back(path, true);
    }
    return missing;
}

std::optional<std::string> FolderAccessManager::notFoundText(const std::vector<FileURL>& folders)
{
    if (folders.empty())
        return std::nullopt;
    if (folders.size() == 1)
        return "The granted folder " + FileError::quoted(folders.front().path)
            + " couldn\u2019t be found. It may have been moved or deleted, or be on a disk that "
              "isn\u2019t connected. Until it is back, nothing in it can be renamed: connect "
              "the disk or put the folder back and open sorvik again, or remove the grant "
              "under Folder Access in sorvik\u2019s settings.";
    std::string names;
    for (const auto& folder : folders)
        names += (names.empty() ? "" : ", ") + FileError::quoted(folder.path);
    return std::to_string(folders.size()) + " granted folders couldn\u2019t be found: " + names
        + ". They may have been moved or deleted, or be on disks that aren\u2019t connected. "
          "Until they are back, nothing in them can be renamed: connect the disks or put the "
          "folders back and open sorvik again, or remove the grants under Folder Access in "
          "sorvik\u2019s settings.";
}

void FolderAccessManager::open(const FileURL& folder)
{
    auto found = std::find_if(m_active.begin(), m_active.end(),
        [&](const auto& entry) { return samePath(entry.first, folder); });
    if (found != m_active.end()) {
        SecurityScope::stopAccessing(folder);
    } else {
        m_active.emplace(folder, std::make_unique<FolderScopeLease>(folder));
        emit activeChanged();
    }
    if (!isListed(m_folders, folder)) {
        auto folders = m_folders;
        folders.push_back(folder);
        setFolders(std::move(folders));
    }
}

void FolderAccessManager::writeBookmarks(const BookmarkMap& bookmarks) const
{
    if (m_storageError)
        throw Error(*m_storageError);
    StoredFile::writeAtomically(m_storage.path, BookmarkFile::encode(bookmarks));
}

bool FolderAccessManager::covers(const FileURL& url) const { return coverage().covers(url); }

bool FolderAccessManager::covers(const std::vector<FileURL>& folders, const FileURL& url)
{
    return FolderCoverage(folders).covers(url);
}

FolderCoverage FolderAccessManager::coverage() const { return FolderCoverage(m_folders); }

std::vector<FileURL> FolderAccessManager::startAccessFor(const std::vector<FileURL>& urls) const
{
    // A batch names the same few folders over and over: each is looked at once.
    std::vector<std::string> paths;
    std::unordered_set<std::string> seen;
    auto check = coverage();
    for (const auto& url : urls) {
        auto path = standardizedPath(url);
        if (!seen.insert(path).second)
            continue;
        if (!check.covers(url))
            throw FileError::withCode(FileError::Code::fileWriteNoPermission, url.path);
        paths.push_back(std::move(path));
    }
    std::vector<FileURL> started;
    for (const auto& folder : m_folders) {
        auto folderPath = standardizedPath(folder);
        bool concerned = std::any_of(paths.begin(), paths.end(),
            [&](const std::string& path) { return folder_paths::isAtOrBelow(path, folderPath); });
        if (concerned && SecurityScope::startAccessing(folder))
            started.push_back(folder);
    }
    return started;
}

void FolderAccessManager::grant(const FileURL& url)
{
    auto folder = folderURL(url);
    struct stat status { };
    if (::stat(folder.path.c_str(), &status) != 0)
        throw FileError::reading(folder.path, errno);
    if (!S_ISDIR(status.st_mode))
        throw FileError::withCode(FileError::Code::fileReadUnsupportedScheme, folder.path);

    bool started = SecurityScope::startAccessing(folder);
    try {
        auto updated = m_bookmarks;
        updated[folder.path] = Bookmark::create(folder);
        writeBookmarks(updated);
        setBookmarks(std::move(updated));
    } catch (...) {
        if (started)
            SecurityScope::stopAccessing(folder);
        throw;
    }
    if (started) {
        open(folder);
        return;
    }
    if (!isListed(m_folders, folder)) {
        auto folders = m_folders;
        folders.push_back(folder);
        setFolders(std::move(folders));
    }
}

void FolderAccessManager::requestAccess(const FileURL& folder)
{
    if (!m_prompt)
        return;
    auto chosen = m_prompt->chooseFolder(folder, allowLabel, allowMessage);
    if (!chosen)
        return;
    try {
        grant(*chosen);
    } catch (const std::exception& error) {
        setErrorMessage(error.what());
    }
}

void FolderAccessManager::remove(const FileURL& url)
{
    auto path = standardizedPath(url);
    auto updated = m_bookmarks;
    std::erase_if(
        updated, [&](const auto& entry) { return namesFolder(entry.first, entry.second, path); });
    try {
        writeBookmarks(updated);
    } catch (const std::exception& error) {
        setErrorMessage(error.what());
        return;
    }
    setBookmarks(std::move(updated));

    auto folders = m_folders;
    std::erase_if(folders, [&](const FileURL& folder) { return standardizedPath(folder) == path; });
    setFolders(std::move(folders));

    auto erased = std::erase_if(
        m_active, [&](const auto& entry) { return standardizedPath(entry.first) == path; });
    if (erased > 0)
        emit activeChanged();
}

void FolderAccessManager::setFolders(std::vector<FileURL> folders)
{
    if (folders == m_folders)
        return;
    m_folders = std::move(folders);
    emit foldersChanged();
}

void FolderAccessManager::setErrorMessage(std::optional<std::string> message)
{
    if (message == m_errorMessage)
        return;
    m_errorMessage = std::move(message);
    emit errorMessageChanged();
}

void FolderAccessManager::setBookmarks(BookmarkMap bookmarks)
{
    if (bookmarks == m_bookmarks)
        return;
    m_bookmarks = std::move(bookmarks);
    emit bookmarksChanged();
}

} // namespace sorvik
