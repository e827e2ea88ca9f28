#pragma once

#include "engine/apply/file_system.h"
#include "engine/model/file_url.h"

#include <optional>
#include <string>
#include <vector>

namespace sorvik {

/// Whether folders a batch has opened lie inside the granted folders, told through the open
/// folders themselves, so that no path can be swapped between the check and the moves.
///
/// A folder is inside when it is a granted folder (same device and file number) or when its
/// real path lies at or below a granted folder's real path (compared under canonical
/// equivalence, letter case kept). Each granted folder is opened, and its real path asked,
/// at most once in the life of the object; each folder asked about costs one status and, only
/// when it is no granted folder itself, one real path.
class GrantedFolders {
public:
    GrantedFolders(FileSystem& fileSystem, std::vector<FileURL> folders);
    ~GrantedFolders();
    GrantedFolders(const GrantedFolders&) = delete;
    GrantedFolders& operator=(const GrantedFolders&) = delete;

    /// Whether `folder` lies inside a granted folder. A folder whose real path cannot be found
    /// is not.
    bool contain(const OpenFolder& folder);

    /// Whether the path lies inside a granted folder, judged by its nearest existing folder
    /// and the names below it.
    bool containPath(const FileURL& url);

    /// "The folder “PATH” is not inside a folder you have granted to sorvik."
    static std::string outsideText(const FileURL& folder);

private:
    struct Grant {
        FileURL url;
        bool isOpened = false;
        std::optional<OpenFolder> folder;
        std::optional<ItemStatus> status;
        std::optional<std::string> realPath;
        bool hasRealPath = false;
    };

    Grant& opened(Grant& grant);
    const std::optional<std::string>& realPathOf(Grant& grant);
    bool pathIsInside(const std::string& realPath);

    FileSystem& m_fileSystem;
    std::vector<Grant> m_grants;
};

} // namespace sorvik
