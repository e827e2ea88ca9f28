#pragma once

#include "engine/model/file_url.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sorvik {

/// Tells whether folders lie inside granted folders, for a whole batch or preview at once.
///
/// A folder is covered when it is a granted folder or lies below one, both sides standardized
/// and their symbolic links resolved (a path that does not exist yet resolves its longest
/// existing part and keeps the rest), compared under canonical equivalence without case
/// folding. Each granted folder's real path is asked for once, and so is each folder's: a batch
/// of any size in one folder costs one lookup of that folder. A folder whose path is exactly a
/// granted folder's needs no lookup at all. Answers are kept for the life of the object, which
/// should end with the batch or preview it serves.
class FolderCoverage {
public:
    /// The real path of a path (links resolved), or empty when it cannot be found.
    using RealPath = std::function<std::string(const std::string& path)>;

    explicit FolderCoverage(std::vector<FileURL> grantedFolders, RealPath realPath = {});

    /// Whether `url` is a granted folder or lies below one.
    bool covers(const FileURL& url);

    /// `realpath(3)` of the path, or empty.
    static std::string systemRealPath(const std::string& path);

private:
    std::string resolved(const std::string& path);

    std::vector<std::string> m_grantPaths;
    std::optional<std::vector<std::string>> m_resolvedGrants;
    std::map<std::string, bool, std::less<>> m_answers;
    RealPath m_realPath;
};

} // namespace sorvik
