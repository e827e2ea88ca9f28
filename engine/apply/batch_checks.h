#pragma once

#include "engine/apply/file_system.h"
#include "engine/apply/name_lookup.h"
#include "engine/model/file_url.h"
#include "engine/model/preview_disk.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

// The judgements a batch is checked by before anything moves, in one place for the executor's
// own checks and for a preview that must agree with them: a row shown ready is one the
// executor accepts.
namespace sorvik::BatchChecks {

/// One name inside an open folder.
struct Name {
    const OpenFolder* folder = nullptr;
    std::string_view name;
};

/// Whether two names alike but for letter case are one entry of one folder, reached twice (by
/// two paths to the folder, or by two spellings where the volume ignores letter case), rather
/// than two entries: two files, or two names of one file (hard links), each of which is
/// renamed on its own. They are one entry when both lead to one item in one folder, and the
/// names are the same bytes, or the item has a single name, or one reading of the folder does
/// not hold both spellings. Where no reading tells (the volume does not compare names byte for
/// byte), an item of many names counts as one entry, so a batch over it is refused rather than
/// moved into a clash. A name or folder that cannot be read counts as one entry with any other.
bool isOneEntry(FileSystem& fileSystem, const Name& first, const Name& second);

/// `isOneEntry` of two paths, each looked up in its folder opened as a path is (a final link
/// to the folder followed). False when either folder cannot be opened or either is missing.
bool isOneEntry(FileSystem& fileSystem, const FileURL& first, const FileURL& second);

/// The places among `count` items that share a device and file number with another, each
/// group in ascending order: found side by side in the places sorted by identity, with no node
/// per item. `identityAt(place)` gives an item's identity, or nothing for one that is not to be
/// looked at.
template <class IdentityAt>
std::vector<std::vector<std::size_t>> sharedIdentities(std::size_t count, IdentityAt identityAt)
{
    std::vector<std::uint32_t> places;
    places.reserve(count);
    for (std::size_t place = 0; place < count; ++place) {
        if (identityAt(place))
            places.push_back(static_cast<std::uint32_t>(place));
    }
    auto key = [&](std::uint32_t place) {
        auto identity = *identityAt(place);
        return std::pair(identity.device, identity.inode);
    };
    std::sort(places.begin(), places.end(),
        [&](std::uint32_t first, std::uint32_t second) { return key(first) < key(second); });
    std::vector<std::vector<std::size_t>> groups;
    for (std::size_t start = 0; start < places.size();) {
        std::size_t end = start + 1;
        while (end < places.size() && key(places[end]) == key(places[start]))
            ++end;
        if (end - start > 1) {
            auto& group = groups.emplace_back(places.begin() + static_cast<std::ptrdiff_t>(start),
                places.begin() + static_cast<std::ptrdiff_t>(end));
            std::sort(group.begin(), group.end());
        }
        start = end;
    }
    return groups;
}

/// Among `groups` of names that share an identity (see `sharedIdentities`): every pair that is
/// one entry reached twice (see `isOneEntry`), the earlier first, in ascending order. A folder
/// that must be read to tell is read once for all its names. `nameAt(place)` gives the name at
/// a place.
std::vector<std::pair<std::size_t, std::size_t>> entriesReachedTwice(FileSystem& fileSystem,
    const std::vector<std::vector<std::size_t>>& groups,
    const std::function<Name(std::size_t)>& nameAt);

/// The folder at `url`, opened as a path is (a final link followed); nothing when nothing is
/// there yet. Anything else there, a file or a folder that cannot be opened, fails with the
/// file system's error: files cannot be put into it.
std::optional<OpenFolder> openExistingFolder(FileSystem& fileSystem, const FileURL& url);

/// What stands at `folder`, a folder below `within`: one opening of it where it is a folder or
/// is missing; only where something else is in the way are the folders above it opened, to
/// find what it is.
FolderAnswer folderState(FileSystem& fileSystem, const FileURL& folder, const FileURL& within);

/// What the disk says of a batch's `sources`: each is missing where `exists` says nothing is
/// there; among those that are there and `moving`, the pairs that are one entry given twice.
/// Only names that could be are read again: names in one folder reached by two paths, and
/// names alike but for letter case in a folder where a name read in another case leads to
/// the same item. Each folder is opened once.
SourceAnswers findSources(FileSystem& fileSystem, const std::vector<const FileURL*>& sources,
    const std::vector<bool>& moving, const std::function<bool(const FileURL&)>& exists);

} // namespace sorvik::BatchChecks
