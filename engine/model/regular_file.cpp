#include "engine/model/regular_file.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sorvik {

RegularFile::RegularFile(int descriptor, std::int64_t size)
    : m_descriptor(descriptor)
    , m_size(size)
{
}

std::optional<RegularFile> RegularFile::open(const std::filesystem::path& path)
{
    std::error_code ignored;
    return open(path, ignored);
}

std::optional<RegularFile> RegularFile::open(
    const std::filesystem::path& path, std::error_code& error, Links links)
{
    error.clear();
    // O_NONBLOCK keeps open() of a FIFO without a writer from waiting forever; the type
    // check on the open descriptor then turns it away without reading.
    int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    if (links == Links::refuse)
        flags |= O_NOFOLLOW;
    int descriptor = ::open(path.c_str(), flags);
    if (descriptor < 0) {
        error.assign(errno, std::generic_category());
        return std::nullopt;
    }
    struct stat status { };
    if (fstat(descriptor, &status) != 0) {
        error.assign(errno, std::generic_category());
        ::close(descriptor);
        return std::nullopt;
    }
    if (!S_ISREG(status.st_mode)) {
        error = S_ISDIR(status.st_mode) ? std::make_error_code(std::errc::is_a_directory)
                                        : notRegularFileError();
        ::close(descriptor);
        return std::nullopt;
    }
    if (int openFlags = fcntl(descriptor, F_GETFL); openFlags >= 0)
        fcntl(descriptor, F_SETFL, openFlags & ~O_NONBLOCK);
    return RegularFile(descriptor, static_cast<std::int64_t>(status.st_size));
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1))
    , m_size(other.m_size)
{
}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept
{
    if (this != &other) {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        m_descriptor = std::exchange(other.m_descriptor, -1);
        m_size = other.m_size;
    }
    return *this;
}

RegularFile::~RegularFile()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

std::string RegularFile::readPrefix(std::size_t limit) const
{
    std::error_code ignored;
    return readPrefix(limit, ignored);
}

std::string RegularFile::readPrefix(std::size_t limit, std::error_code& error) const
{
    error.clear();
    std::string data;
    // Size the buffer by the file, not the limit: most files are far below it. The file may
    // still grow while it is read, so the buffer grows too, up to the limit.
    std::size_t expected = m_size >= 0 ? static_cast<std::size_t>(m_size) + 1 : 65536;
    data.resize(std::min(limit, std::max<std::size_t>(expected, 4096)));
    std::size_t filled = 0;
    while (filled < limit) {
        if (filled == data.size())
            data.resize(std::min(limit, data.size() * 2));
        ssize_t count = ::pread(
            m_descriptor, data.data() + filled, data.size() - filled, static_cast<off_t>(filled));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            error.assign(errno, std::generic_category());
        if (count <= 0)
            break;
        filled += static_cast<std::size_t>(count);
    }
    data.resize(filled);
    return data;
}

std::string RegularFile::descriptorPath() const
{
    return "/proc/self/fd/" + std::to_string(m_descriptor);
}

std::string RegularFile::readAll(std::error_code& error) const
{
    return readPrefix(std::numeric_limits<std::size_t>::max(), error);
}

namespace {

    class RegularFileCategory : public std::error_category {
    public:
        const char* name() const noexcept override { return "regular file"; }
        std::string message(int) const override { return "Not a regular file"; }
    };

} // namespace

std::error_code notRegularFileError()
{
    static const RegularFileCategory category;
    return { 1, category };
}

bool isRegularFile(const std::filesystem::path& path)
{
    struct stat status { };
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

} // namespace sorvik
