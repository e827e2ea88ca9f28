#pragma once

#include "engine/model/error.h"
#include "engine/model/file_url.h"

#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

/// The failure of one file-system operation. `code()` is the POSIX error number; `what()`
/// puts the operation and its paths first and the system's description of the error last
/// ("Couldn't move "/a/x" to "/a/y": File exists").
class FileSystemError : public Error {
public:
    FileSystemError(const std::string& context, int code);

    int code() const { return m_code; }

private:
    int m_code;
};

/// Throws `FileSystemError` for the current `errno`, with the text `action` + " \"" + `path`
/// + "\"". `errno` is read before anything else happens.
[[noreturn]] void throwSystemError(std::string_view action, std::string_view path);

/// The executor's view of the file system: four operations, nothing else. The application
/// always hands the executor a `LocalFileSystem`; tests hand it one that fails on purpose.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    /// True when anything exists at the URL's path, a dangling symbolic link included.
    /// Never fails: a failing test reads as false.
    virtual bool itemExists(const FileURL& url) = 0;
    /// `itemExists` of each URL, in order, for checking a whole batch at once. This asks
    /// `itemExists` for each; an implementation may answer many names in one folder faster.
    virtual std::vector<bool> itemsExist(const std::vector<FileURL>& urls);
    /// Moves (renames) one item. Fails, moving nothing, when anything exists at `destination`.
    virtual void moveItem(const FileURL& source, const FileURL& destination) = 0;
    /// Creates exactly one folder; its parent must exist.
    virtual void createDirectory(const FileURL& url) = 0;
    /// Removes a folder only when it is empty.
    virtual void removeEmptyDirectory(const FileURL& url) = 0;
};

} // namespace sorvik
