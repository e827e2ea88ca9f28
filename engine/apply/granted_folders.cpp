#include "engine/apply/granted_folders.h"

#include "engine/model/folder_paths.h"

#include <cerrno>

namespace sorvik {

GrantedFolders::GrantedFolders(FileSystem& fileSystem, std::vector<FileURL> folders)
    : m_fileSystem(fileSystem)
{
    m_grants.reserve(folders.size());
    for (auto& folder : folders) {
        Grant grant;
        grant.url = std::move(folder);
        m_grants.push_back(std::move(grant));
    }
}

GrantedFolders::~GrantedFolders()
{
    for (const auto& grant : m_grants) {
        if (grant.folder)
            m_fileSystem.closeFolder(*grant.folder);
    }
}

std::string GrantedFolders::outsideText(const FileURL& folder)
{
    return "The folder \u201C" + folder.path
        + "\u201D is not inside a folder you have granted to sorvik.";
}

GrantedFolders::Grant& GrantedFolders::opened(Grant& grant)
{
    if (grant.isOpened)
        return grant;
    grant.isOpened = true;
    try {
        // A granted folder may itself be reached through a link; it stands for where it leads.
        grant.folder = m_fileSystem.openFolder(grant.url, true);
        grant.status = m_fileSystem.folderStatus(*grant.folder);
    } catch (const std::exception&) {
        // A granted folder that is gone covers nothing.
    }
    return grant;
}

const std::optional<std::string>& GrantedFolders::realPathOf(Grant& grant)
{
    if (grant.hasRealPath)
        return grant.realPath;
    grant.hasRealPath = true;
    if (!opened(grant).folder)
        return grant.realPath;
    try {
        grant.realPath = folder_paths::comparable(m_fileSystem.realPath(*grant.folder));
    } catch (const std::exception&) {
    }
    return grant.realPath;
}

bool GrantedFolders::pathIsInside(const std::string& realPath)
{
    auto path = folder_paths::comparable(realPath);
    for (auto& grant : m_grants) {
        const auto& granted = realPathOf(grant);
        if (granted && folder_paths::isAtOrBelow(path, *granted))
            return true;
    }
    return false;
}

bool GrantedFolders::contain(const OpenFolder& folder)
{
    ItemStatus status;
    try {
        status = m_fileSystem.folderStatus(folder);
    } catch (const std::exception&) {
        return false;
    }
    for (auto& grant : m_grants) {
        const auto& found = opened(grant).status;
        if (found && found->isSameItem(status))
            return true;
    }
    try {
        return pathIsInside(m_fileSystem.realPath(folder));
    } catch (const std::exception&) {
        return false;
    }
}

bool GrantedFolders::containPath(const FileURL& url)
{
    auto path = url.standardized();
    std::vector<std::string> missing;
    for (;;) {
        std::optional<OpenFolder> folder;
        try {
            folder = m_fileSystem.openFolder(path, true);
        } catch (const FileSystemError& error) {
            if (error.code() != ENOENT && error.code() != ENOTDIR)
                return false;
        }
        if (folder) {
            bool inside = false;
            try {
                auto real = m_fileSystem.realPath(*folder);
                for (auto name = missing.rbegin(); name != missing.rend(); ++name) {
                    if (real.back() != '/')
                        real.push_back('/');
                    real += *name;
                }
                inside = pathIsInside(real);
            } catch (const std::exception&) {
            }
            m_fileSystem.closeFolder(*folder);
            return inside;
        }
        auto above = path.deletingLastPathComponent();
        if (above.path == path.path)
            return false;
        missing.push_back(path.lastPathComponent());
        path = above;
    }
}

} // namespace sorvik
