#include "engine/apply/local_file_system.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sorvik {

namespace {

    std::string inQuotes(const FileURL& url) { return "\"" + url.path + "\""; }

    [[noreturn]] void failMove(const FileURL& source, const FileURL& destination, int code)
    {
        throw FileSystemError(
            "Couldn't move " + inQuotes(source) + " to " + inQuotes(destination), code);
    }

} // namespace

// `link` refuses an existing destination atomically; only then is the old name dropped. A
// folder cannot be hard-linked, and a check followed by rename(2) could replace an item made
// in between, so folders fail.
void LocalFileSystem::moveByLinking(
    const FileURL& source, const FileURL& destination, int renameError)
{
    struct stat status { };
    if (::lstat(source.path.c_str(), &status) != 0)
        failMove(source, destination, errno);
    if (S_ISDIR(status.st_mode))
        failMove(source, destination, renameError);
    // Flags 0: a symbolic link is linked itself, not what it points to.
    if (::linkat(AT_FDCWD, source.path.c_str(), AT_FDCWD, destination.path.c_str(), 0) != 0)
        failMove(source, destination, errno);
    if (::unlink(source.path.c_str()) != 0) {
        int unlinkError = errno;
        ::unlink(destination.path.c_str());
        failMove(source, destination, unlinkError);
    }
}

bool LocalFileSystem::itemExists(const FileURL& url)
{
    struct stat status { };
    return ::lstat(url.path.c_str(), &status) == 0;
}

void LocalFileSystem::moveItem(const FileURL& source, const FileURL& destination)
{
    if (::renameat2(
            AT_FDCWD, source.path.c_str(), AT_FDCWD, destination.path.c_str(), RENAME_NOREPLACE)
        == 0)
        return;
    int error = errno;
    if (error == EINVAL) {
        moveByLinking(source, destination, error);
        return;
    }
    failMove(source, destination, error);
}

void LocalFileSystem::createDirectory(const FileURL& url)
{
    if (::mkdir(url.path.c_str(), 0777) != 0)
        throwSystemError("Couldn't create the folder", url.path);
}

void LocalFileSystem::removeEmptyDirectory(const FileURL& url)
{
    if (::rmdir(url.path.c_str()) == 0)
        return;
    int error = errno;
    throw FileSystemError("Couldn't remove the folder " + inQuotes(url), error > 0 ? error : EIO);
}

} // namespace sorvik
