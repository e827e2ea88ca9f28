#pragma once

#include "engine/apply/file_fingerprint.h"
#include "engine/model/date.h"
#include "engine/model/file_item.h"
#include "engine/model/file_url.h"

#include <cstdint>
#include <stop_token>
#include <vector>

#include <sys/stat.h>

// What adding files reads from the disk: the four values of a new list item, and the files a
// dropped folder holds.
//
// Symbolic links are never followed: a link is an item of its own, and a link inside a
// scanned folder is passed over like any entry that is not a regular file. Hidden means a
// name that begins with "."; a hidden folder is skipped with all it holds. Linux has no
// packages (folders shown as one file), so every folder is a plain folder here.
namespace sorvik::FileScan {

/// The values a new item takes from its file.
struct ResourceValues {
    bool isDirectory = false;
    bool isRegularFile = false;
    /// The birth time where the file system keeps one, else the change time.
    Date created = Date::distantPast();
    Date modified = Date::distantPast();
    /// Bytes of a regular file; 0 for a folder and for anything else.
    std::int64_t size = 0;

    friend bool operator==(const ResourceValues&, const ResourceValues&) = default;
};

/// How a folder is scanned.
struct Options {
    bool includeSubfolders = false;
    bool includeHidden = false;
};

/// The values that one `statx` answer gives, by what its mask says it holds.
ResourceValues valuesOf(const struct statx& status);

/// The values of the file at `url`, read in one `statx` call; the defaults when it fails.
ResourceValues read(const FileURL& url);

/// The values of the file at `url`, read in one `statx` call. Fails with `FileSystemError`
/// when they cannot be read (for instance, no such file).
ResourceValues readChecked(const FileURL& url);

/// `readChecked`, also giving the file's fingerprint from the same call.
ResourceValues readChecked(const FileURL& url, FileFingerprint& fingerprint);

/// What `readChecked` found for one URL: its values and fingerprint, or the error number.
struct CheckedRead {
    ResourceValues values;
    FileFingerprint fingerprint;
    /// The system's error number of a failed read; 0 when it worked.
    int error = 0;
};

/// `readChecked` of every URL, in order, read by a few threads at once when there are many.
/// A failure is kept in its place, not thrown.
std::vector<CheckedRead> readAllChecked(const std::vector<FileURL>& urls);

/// Whether the file at `url` can be read as a plain folder (not through a symbolic link).
bool isPlainFolder(const FileURL& url);

/// A new included item for `url` with the values of its file.
FileItem makeItem(const FileURL& url, std::int64_t order);

/// New items for `urls`, numbered from `firstOrder` in list order, leaving out every path
/// where nothing is (a path that is there but cannot be read is an item with the defaults). A
/// long list is read by a few threads at once: the disk answers many small requests faster
/// side by side. Once `stop` is requested no further file is read, and the items not yet read
/// keep their defaults.
std::vector<FileItem> makeItems(
    const std::vector<FileURL>& urls, std::int64_t firstOrder, std::stop_token stop = {});

/// The regular files inside `folder`, as "folder path/relative path" URLs, in the order the
/// folders hand them out (not sorted). Subfolders are entered only with
/// `includeSubfolders`; hidden entries are skipped unless `includeHidden`. A folder that
/// cannot be opened adds nothing, and so does any subfolder that cannot be opened. Once `stop`
/// is requested the walk ends early with what it found so far.
std::vector<FileURL> regularFiles(
    const FileURL& folder, Options options, std::stop_token stop = {});

} // namespace sorvik::FileScan
