#include "app/store/stored_file.h"

#include "app/store/file_descriptor.h"
#include "app/store/file_error.h"
#include "engine/model/uuid.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sorvik::StoredFile {

namespace {

    void writeAll(int descriptor, std::string_view bytes, const std::string& path)
    {
        while (!bytes.empty()) {
            ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                throw FileError::writing(path, errno);
            }
            bytes.remove_prefix(static_cast<std::size_t>(written));
        }
    }

} // namespace

bool exists(const std::filesystem::path& path)
{
    struct stat status { };
    if (::stat(path.c_str(), &status) == 0)
        return true;
    return errno != ENOENT && errno != ENOTDIR;
}

std::string read(const std::filesystem::path& path)
{
    // O_NONBLOCK keeps a FIFO put in place of the file from blocking the caller.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0)
        throw FileError::reading(path.string(), errno);
    struct stat status { };
    if (::fstat(file.get(), &status) != 0)
        throw FileError::reading(path.string(), errno);
    if (S_ISDIR(status.st_mode))
        throw FileError::reading(path.string(), EISDIR);
    if (!S_ISREG(status.st_mode))
        throw FileError::withCode(FileError::Code::fileReadCorruptFile, path.string());

    std::string contents;
    contents.reserve(static_cast<std::size_t>(status.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t count = ::read(file.get(), buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            throw FileError::reading(path.string(), errno);
        }
        if (count == 0)
            break;
        contents.append(buffer, static_cast<std::size_t>(count));
    }
    return contents;
}

void createFolder(const std::filesystem::path& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw FileError::writing(folder.string(), error.value());
    // create_directories reports no error when a file stands where the folder should be.
    if (!std::filesystem::is_directory(folder, error))
        throw FileError::writing(folder.string(), ENOTDIR);
}

void writeAtomically(const std::filesystem::path& path, std::string_view bytes)
{
    auto folder = path.parent_path();
    auto temporary
        = folder / ("." + path.filename().string() + "." + Uuid::random().text() + ".tmp");
    // 0666 lets the user's umask decide the mode, as for any file the user creates.
    FileDescriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (file.get() < 0)
        throw FileError::writing(path.string(), errno);
    try {
        writeAll(file.get(), bytes, path.string());
        if (::fsync(file.get()) != 0)
            throw FileError::writing(path.string(), errno);
        if (int error = file.close(); error != 0)
            throw FileError::writing(path.string(), error);
        if (::rename(temporary.c_str(), path.c_str()) != 0)
            throw FileError::writing(path.string(), errno);
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    // The rename is durable only once the folder itself reaches the disk. The new file is in
    // place already, so a folder that cannot be flushed is no failure of this write.
    FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0)
        ::fsync(directory.get());
}

} // namespace sorvik::StoredFile
