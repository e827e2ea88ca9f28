#pragma once

#include "app/store/bookmark.h"

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

    /// Reads a property list (binary or XML) whose root is a dictionary of data values.
    /// Fails with `FileError` (`fileReadCorruptFile`) for anything else.
    BookmarkMap decode(std::string_view bytes);

} // namespace BookmarkFile

} // namespace sorvik
