#include "app/store/stored_file.h"

#include "app/store/file_descriptor.h"
#include "app/store/file_error.h"
#include "app/store/stored_file_error.h"
#include "engine/model/regular_file.h"
#include "engine/model/uuid.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sorvik::StoredFile {

namespace {

    void writeAll(int descriptor, std::string_view bytes, const std::filesystem::path& path)
    {
        while (!bytes.empty()) {
            ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                throw writeFailure(path, errno);
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

RegularFile open(const std::filesystem::path& path)
{
    std::error_code error;
    auto file = RegularFile::open(path, error);
    if (file)
        return std::move(*file);
    if (error == notRegularFileError())
        throw FileError::notRegularFile(path.string());
    throw FileError::reading(path.string(), error.value());
}

std::string read(const std::filesystem::path& path, std::optional<std::int64_t> limit)
{
    auto file = open(path);
    std::error_code error;
    if (limit && file.size() >= *limit)
        throw FileError::withCode(FileError::Code::fileReadTooLarge, path.string());
    // The size is only a hint: the file may grow while it is read, or report nothing (as
    // files under /proc do), so the limit is checked on what was read.
    auto bytes
        = limit ? file.readPrefix(static_cast<std::size_t>(*limit), error) : file.readAll(error);
    if (error)
        throw FileError::reading(path.string(), error.value());
    if (limit && static_cast<std::int64_t>(bytes.size()) >= *limit)
        throw FileError::withCode(FileError::Code::fileReadTooLarge, path.string());
    return bytes;
}

void createFolder(const std::filesystem::path& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw folderFailure(folder, error.value());
    // create_directories reports no error when a file stands where the folder should be.
    if (!std::filesystem::is_directory(folder, error))
        throw folderFailure(folder, ENOTDIR);
}

void writeAtomically(const std::filesystem::path& path, std::string_view bytes)
{
    AtomicWriter writer(path);
    writer.write(bytes);
    writer.commit();
}

AtomicWriter::AtomicWriter(std::filesystem::path path)
    : m_path(std::move(path))
    , m_temporary(m_path.parent_path()
          / ("." + m_path.filename().string() + "." + Uuid::random().text() + ".tmp"))
{
    // 0666 lets the user's umask decide the mode, as for any file the user creates.
    m_descriptor = ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (m_descriptor < 0)
        throw writeFailure(m_path, errno);
}

AtomicWriter::~AtomicWriter()
{
    if (m_descriptor < 0)
        return;
    ::close(m_descriptor);
    ::unlink(m_temporary.c_str());
}

void AtomicWriter::write(std::string_view bytes)
{
    if (m_descriptor < 0)
        throw writeFailure(m_path, EBADF);
    writeAll(m_descriptor, bytes, m_path);
}

void AtomicWriter::copyFrom(
    int source, const std::filesystem::path& path, std::uint64_t offset, std::uint64_t length)
{
    if (m_descriptor < 0)
        throw writeFailure(m_path, EBADF);
    auto from = static_cast<loff_t>(offset);
    while (length > 0) {
        ssize_t copied = ::copy_file_range(source, &from, m_descriptor, nullptr,
            static_cast<std::size_t>(std::min<std::uint64_t>(length, 1 << 30)), 0);
        if (copied < 0 && errno == EINTR)
            continue;
        if (copied < 0
            && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP))
            break; // another file system, or one that cannot: copied below
        if (copied < 0)
            throw writeFailure(m_path, errno);
        if (copied == 0)
            throw FileError::reading(path.string(), EIO); // shorter than it was read
        length -= static_cast<std::uint64_t>(copied);
    }
    std::string buffer(std::min<std::uint64_t>(length, 1 << 20), '\0');
    while (length > 0) {
        ssize_t count = ::pread(source, buffer.data(),
            static_cast<std::size_t>(std::min<std::uint64_t>(length, buffer.size())), from);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            throw FileError::reading(path.string(), errno);
        if (count == 0)
            throw FileError::reading(path.string(), EIO);
        writeAll(
            m_descriptor, std::string_view(buffer.data(), static_cast<std::size_t>(count)), m_path);
        from += count;
        length -= static_cast<std::uint64_t>(count);
    }
}

void AtomicWriter::commit()
{
    if (m_descriptor < 0)
        throw writeFailure(m_path, EBADF);
    if (::fsync(m_descriptor) != 0)
        throw writeFailure(m_path, errno);
    int descriptor = std::exchange(m_descriptor, -1);
    if (::close(descriptor) != 0) {
        int error = errno;
        ::unlink(m_temporary.c_str());
        throw writeFailure(m_path, error);
    }
    if (::rename(m_temporary.c_str(), m_path.c_str()) != 0) {
        int error = errno;
        ::unlink(m_temporary.c_str());
        throw writeFailure(m_path, error);
    }
    // The rename is durable only once the folder itself reaches the disk. The new file is in
    // place already, so a folder that cannot be flushed is no failure of this write.
    FileDescriptor directory(
        ::open(m_path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0)
        ::fsync(directory.get());
}

} // namespace sorvik::StoredFile
