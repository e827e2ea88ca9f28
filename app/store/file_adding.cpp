#include "app/store/file_adding.h"

#include "app/store/item_order.h"

#include <unordered_set>

namespace sorvik::FileAdding {

namespace {

    std::unordered_set<std::string> pathsOf(const std::vector<FileItem>& items)
    {
        std::unordered_set<std::string> paths;
        paths.reserve(items.size());
        for (const auto& item : items)
            paths.insert(standardPath(item.url));
        return paths;
    }

} // namespace

std::string standardPath(const FileURL& url)
{
    return url.isStandardized() ? url.path : url.standardized().path;
}

bool isDSStore(std::string_view path)
{
    constexpr std::string_view name = ".DS_Store";
    return path.ends_with(name)
        && (path.size() == name.size() || path[path.size() - name.size() - 1] == '/');
}

std::optional<Found> collect(const Request& request, std::stop_token stop)
{
    static const std::vector<FileItem> nothingListed;
    auto known = pathsOf(request.listed ? *request.listed : nothingListed);

    Found found;
    // The URLs to add, in order; their files are read once the whole call is known.
    std::vector<FileURL> accepted;
    auto accept = [&](FileURL url) {
        if (isDSStore(url.path) || !known.insert(standardPath(url)).second)
            return;
        accepted.push_back(std::move(url));
    };
    for (const auto& url : request.urls) {
        if (stop.stop_requested())
            return std::nullopt;
        // Anything that cannot be read as a plain folder is one item: a file, a link, a path
        // that cannot be read. A path where nothing is becomes none (see `makeItems`).
        if (request.renameFolders || !FileScan::isPlainFolder(url)) {
            accept(url);
            continue;
        }
        found.scannedFolders.push_back(url);
        auto files = ItemOrder::sortURLsByPath(FileScan::regularFiles(url, request.options, stop));
        known.reserve(known.size() + files.size());
        accepted.reserve(accepted.size() + files.size());
        for (auto& file : files)
            accept(std::move(file));
    }
    if (stop.stop_requested())
        return std::nullopt;
    found.items = FileScan::makeItems(accepted, 0, stop);
    if (stop.stop_requested())
        return std::nullopt;
    return found;
}

std::vector<FileItem> withoutListed(
    std::vector<FileItem> found, const std::vector<FileItem>& listed)
{
    auto known = pathsOf(listed);
    std::erase_if(
        found, [&](const FileItem& item) { return known.contains(standardPath(item.url)); });
    return found;
}

} // namespace sorvik::FileAdding
