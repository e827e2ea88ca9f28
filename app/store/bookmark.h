#pragma once

#include "engine/model/file_url.h"

#include <cstdint>
#include <vector>

namespace sorvik {

/// The bytes that remember one granted folder.
using BookmarkData = std::vector<std::uint8_t>;

/// A folder found again from its bookmark.
struct ResolvedBookmark {
    FileURL url;
    /// The folder is no longer what the bookmark describes (it was moved, or another folder
    /// now stands at its path); the bookmark should be made again for `url`.
    bool isStale = false;

    friend bool operator==(const ResolvedBookmark&, const ResolvedBookmark&) = default;
};

// Bookmark data is a small binary record that identifies a folder by its path and by its
// identity on the file system, so that the folder can be found again after it was renamed or
// moved nearby, and a different folder at the same path can be told apart from it.
//
// Layout (integers little-endian), 41 bytes plus the path:
//   offset  size  field
//        0     4  magic "SVBK"
//        4     1  format version, 1
//        5     8  device number (st_dev)
//       13     8  inode number (st_ino)
//       21     8  birth time, whole seconds (signed; 0 with the flag below clear)
//       29     4  birth time, nanoseconds
//       33     4  flags: bit 0 set when the file system reported the birth time
//       37     4  path length N
//       41     N  the absolute path as given, bytes as the file system has them
//
// Resolving, in this order:
//   1. the folder at the recorded path has the recorded identity: that folder, not stale;
//   2. a folder with the recorded identity lies within two levels below the nearest existing
//      folder above the recorded path (it was renamed or moved nearby): that folder, stale;
//   3. some other folder stands at the recorded path (it was replaced): that folder, stale;
//   4. otherwise the folder is gone and resolving fails.
// The birth time, when both sides have one, guards against an inode number that the file
// system handed out again to a new folder.
namespace Bookmark {

    /// The bookmark of the folder at `url` (symbolic links followed when reading its
    /// identity; the path is kept as given). Fails with `FileError` when it cannot be read.
    BookmarkData create(const FileURL& url);

    /// Finds the folder again. Fails with `FileError`: `fileReadCorruptFile` for data that is
    /// not a bookmark, `fileNoSuchFile` when the folder is gone.
    ResolvedBookmark resolve(const BookmarkData& data);

    /// The path recorded in the data; nothing when the data is not a bookmark.
    std::optional<std::string> recordedPath(const BookmarkData& data);

} // namespace Bookmark

} // namespace sorvik
