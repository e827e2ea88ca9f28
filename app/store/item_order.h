#pragma once

#include "engine/model/file_item.h"
#include "engine/model/file_url.h"
#include "engine/model/rename_options.h"

#include <string>
#include <string_view>
#include <vector>

// The order in which the preview sees the listed items, and the pair groups of companion files
// (a RAW file with its JPEG and sidecar). Sorting is one stable sort of copies; descending is
// the ascending result reversed whole, ties included. Names sort the way a file manager shows
// them: runs of digits by their value, letter case deciding only between names that are
// otherwise equal, in the user's locale. Each name's collation key is computed once per sort.
namespace sorvik::ItemOrder {

/// The companion extensions, lowercase, in order.
inline constexpr std::string_view companionExtensions[]
    = { "dng", "cr2", "cr3", "nef", "arw", "raf", "orf", "rw2", "jpg", "jpeg", "xmp" };

/// The collation key of a name or path: comparing two keys bytewise orders the texts as the
/// "Name" sort does. Text that is not UTF-8 is keyed with its faulty bytes replaced.
std::string nameSortKey(std::string_view name);

/// Copies of `items` sorted by `sortKey`, stable, then reversed whole unless `ascending`.
std::vector<FileItem> sortedItems(
    const std::vector<FileItem>& items, SortKey sortKey, bool ascending);

/// Gives every group of two or more companion files in one folder (same folder path, same base
/// name lowercased, companion extensions) one new random `pairGroup`. Items are not moved;
/// items outside every group keep their `pairGroup`.
void assignPairGroups(std::vector<FileItem>& items);

/// The preview's snapshot: `sortedItems`, then pair groups when `pairPhotos` is on.
std::vector<FileItem> itemSnapshot(
    const std::vector<FileItem>& items, SortKey sortKey, bool ascending, bool pairPhotos);

/// `urls` sorted by path, stable, in the order of the "Name" sort.
std::vector<FileURL> sortURLsByPath(const std::vector<FileURL>& urls);

} // namespace sorvik::ItemOrder
