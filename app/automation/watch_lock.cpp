#include "app/automation/watch_lock.h"

#include "app/store/file_error.h"
#include "app/store/json_files.h"
#include "app/store/stored_file.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace sorvik {

WatchLock::~WatchLock()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

std::optional<std::string> WatchLock::acquire()
{
    if (isHeld())
        return std::nullopt;
    auto folder = JSONFiles::applicationFolder();
    auto path = folder / fileName;
    try {
        StoredFile::createFolder(folder);
    } catch (const Error& error) {
        return std::string(error.what());
    }
    int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor < 0)
        return std::string(FileError::writing(path.string(), errno).what());
    while (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        int failure = errno;
        ::close(descriptor);
        if (failure == EWOULDBLOCK)
            return std::string(heldElsewhereText);
        return std::string(FileError::writing(path.string(), failure).what());
    }
    m_descriptor = descriptor;
    return std::nullopt;
}

} // namespace sorvik
