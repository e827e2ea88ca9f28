#include "app/automation/watch_folder_location.h"

#include "app/store/bookmark.h"
#include "app/store/folder_access_manager.h"
#include "engine/model/error.h"

#include <exception>

namespace sorvik {

std::string WatchFolderProblem::text(std::string_view reason)
{
    return std::string(lead) + std::string(reason);
}

WatchFolderLocation locateWatchFolder(
    const WatchFolder& folder, const std::optional<FolderIdentity>& last)
{
    auto identity = folderIdentity(folder.folder.path);
    if (identity && last && *identity == *last)
        return { FileURL(folder.folder.path, true), *identity };
    FileURL found;
    try {
        found = FileURL(Bookmark::resolve(folder.bookmark).url.path, true);
    } catch (const std::exception&) {
        throw Error(std::string(WatchFolderProblem::gone));
    }
    identity = folderIdentity(found.path);
    if (!identity)
        throw Error(std::string(WatchFolderProblem::gone));
    return { found, *identity };
}

std::optional<FileURL> grantHolding(const FileURL& folder, const BookmarkMap& grants)
{
    for (const auto& [path, data] : grants) {
        try {
            auto granted = FileURL(Bookmark::resolve(data).url.path, true);
            if (FolderAccessManager::covers({ granted }, folder))
                return granted;
        } catch (const std::exception&) {
            // A grant whose folder is gone holds nothing.
        }
    }
    return std::nullopt;
}

} // namespace sorvik
