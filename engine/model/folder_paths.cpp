#include "engine/model/folder_paths.h"

#include "engine/model/text.h"

namespace sorvik::folder_paths {

bool isAtOrBelow(std::string_view path, std::string_view folder)
{
    if (path == folder)
        return true;
    if (folder == "/")
        return path.starts_with('/');
    return path.size() > folder.size() && path.starts_with(folder) && path[folder.size()] == '/';
}

std::string comparable(const std::string& path)
{
    if (text::isAscii(path) || !text::isValidUtf8(path))
        return path;
    return text::nfd(path);
}

} // namespace sorvik::folder_paths
