#pragma once

#include "app/store/file_scan.h"
#include "engine/model/file_item.h"
#include "engine/model/file_url.h"

#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

// What adding files and folders does away from the GUI thread: every read of the disk (is it
// a folder, the folder walk, each file's values) and the order and duplicate rules. The
// store then only grants the scanned folders, numbers the new items and lists them.
//
// A given URL that is a plain folder is scanned (unless folders are renamed as items): its
// regular files in the order a file manager shows their paths. Anything else, a path that
// cannot be read included, is one item. Paths where nothing is, paths already listed or met
// earlier in the same call, and ".DS_Store" files are passed over.
namespace sorvik::FileAdding {

/// One call of adding, with the scan options as they were when it was asked for.
struct Request {
    std::vector<FileURL> urls;
    FileScan::Options options;
    bool renameFolders = false;
    /// The list when the work begins: its paths are not added again.
    std::shared_ptr<const std::vector<FileItem>> listed;
};

/// What a request found.
struct Found {
    /// The plain folders that were scanned, in the order given; the store grants them.
    std::vector<FileURL> scannedFolders;
    /// The new items in list order, numbered from 0.
    std::vector<FileItem> items;
};

/// The path by which listed files are told apart: the URL's path standardized.
std::string standardPath(const FileURL& url);

/// Whether the last component of `path` is ".DS_Store".
bool isDSStore(std::string_view path);

/// Reads what `request` adds; nothing once `stop` is requested.
std::optional<Found> collect(const Request& request, std::stop_token stop = {});

/// `found` without the items whose standardized path `listed` already holds (for a list that
/// changed while the request was read).
std::vector<FileItem> withoutListed(
    std::vector<FileItem> found, const std::vector<FileItem>& listed);

} // namespace sorvik::FileAdding
