#pragma once

#include "app/store/bookmark.h"

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace sorvik {

/// The granted folders as stored: folder path -> bookmark data, in path order.
using BookmarkMap = std::map<std::string, BookmarkData>;

// "bookmarks.plist": a binary property list whose root dictionary maps each granted folder's
// path to its bookmark data.
namespace BookmarkFile {

    /// The binary property list of `bookmarks`. Fails with `FileError` when a path is not
    /// UTF-8, which a property list cannot hold.
    std::string encode(const BookmarkMap& bookmarks);

    /// Reads a binary property list whose root is a dictionary of data values. Fails with
    /// `FileError` (`fileReadCorruptFile`) for anything else, an XML list or deeper nesting
    /// too, before the property-list library sees it.
    BookmarkMap decode(std::string_view bytes);

    /// The grants stored in the file at `path`. Fails with `FileError` naming the file when
    /// it cannot be read (never waiting on a FIFO in its place) or is not such a list.
    BookmarkMap read(const std::filesystem::path& path);

} // namespace BookmarkFile

} // namespace sorvik
