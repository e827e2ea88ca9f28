#include "app/services/descriptor_io.h"

#include "engine/model/regular_file.h"

#include <exiv2/error.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

namespace sorvik {

namespace {

    constexpr std::size_t bufferSize = 64 * 1024;

    /// Reads up to `count` bytes at `offset`; fewer only at the end of the file or on an error.
    long readAt(
        int descriptor, Exiv2::byte* target, std::size_t count, std::int64_t offset, bool& hasError)
    {
        std::size_t filled = 0;
        while (filled < count) {
            ssize_t got = ::pread(descriptor, target + filled, count - filled,
                static_cast<off_t>(offset + static_cast<std::int64_t>(filled)));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                hasError = true;
            if (got <= 0)
                break;
            filled += static_cast<std::size_t>(got);
        }
        return static_cast<long>(filled);
    }

} // namespace

DescriptorIo::DescriptorIo(const RegularFile& file)
    : m_descriptor(file.descriptor())
    , m_size(file.size())
{
}

DescriptorIo::~DescriptorIo() { munmap(); }

int DescriptorIo::open()
{
    m_position = 0;
    m_isEndOfFile = false;
    return 0;
}

int DescriptorIo::close()
{
    munmap();
    return 0;
}

long DescriptorIo::write(const Exiv2::byte*, long) { return 0; }
long DescriptorIo::write(Exiv2::BasicIo&) { return 0; }
int DescriptorIo::putb(Exiv2::byte) { return EOF; }

void DescriptorIo::transfer(Exiv2::BasicIo&)
{
    throw Exiv2::Error(Exiv2::kerFunctionNotSupported, "DescriptorIo::transfer");
}

bool DescriptorIo::fill()
{
    if (m_position >= m_size)
        return false;
    if (m_position >= m_bufferStart
        && m_position < m_bufferStart + static_cast<std::int64_t>(m_buffer.size()))
        return true;
    m_buffer.resize(bufferSize);
    long got = readAt(m_descriptor, m_buffer.data(), bufferSize, m_position, m_hasError);
    m_buffer.resize(static_cast<std::size_t>(got));
    m_bufferStart = m_position;
    return got > 0;
}

long DescriptorIo::read(Exiv2::byte* target, long count)
{
    if (count <= 0)
        return 0;
    auto wanted = static_cast<std::size_t>(count);
    std::size_t copied = 0;
    if (wanted >= bufferSize) {
        // Large reads skip the buffer.
        copied = static_cast<std::size_t>(
            readAt(m_descriptor, target, wanted, m_position, m_hasError));
        m_position += static_cast<std::int64_t>(copied);
    } else {
        while (copied < wanted && fill()) {
            auto offset = static_cast<std::size_t>(m_position - m_bufferStart);
            std::size_t chunk = std::min(m_buffer.size() - offset, wanted - copied);
            std::memcpy(target + copied, m_buffer.data() + offset, chunk);
            copied += chunk;
            m_position += static_cast<std::int64_t>(chunk);
        }
    }
    if (copied < wanted)
        m_isEndOfFile = true;
    return static_cast<long>(copied);
}

Exiv2::DataBuf DescriptorIo::read(long count)
{
    // A damaged file may ask for more than it holds; allocate only what can be read.
    std::int64_t available = std::max<std::int64_t>(0, m_size - m_position);
    Exiv2::DataBuf buffer(static_cast<long>(std::clamp<std::int64_t>(count, 0, available)));
    long got = read(buffer.pData_, buffer.size_);
    buffer.size_ = got;
    if (got < count)
        m_isEndOfFile = true;
    return buffer;
}

int DescriptorIo::getb()
{
    if (!fill()) {
        m_isEndOfFile = true;
        return EOF;
    }
    int value = m_buffer[static_cast<std::size_t>(m_position - m_bufferStart)];
    ++m_position;
    return value;
}

int DescriptorIo::seek(int64_t offset, Position position)
{
    std::int64_t base = position == beg ? 0 : position == cur ? m_position : m_size;
    std::int64_t target = base + offset;
    if (target < 0)
        return 1;
    if (target > m_size) {
        m_isEndOfFile = true;
        return 1;
    }
    m_position = target;
    m_isEndOfFile = false;
    return 0;
}

Exiv2::byte* DescriptorIo::mmap(bool isWriteable)
{
    if (isWriteable)
        throw Exiv2::Error(Exiv2::kerFunctionNotSupported, "DescriptorIo::mmap");
    munmap();
    if (m_size <= 0)
        throw Exiv2::Error(Exiv2::kerCallFailed, path(), "empty file", "mmap");
    void* mapping = ::mmap(
        nullptr, static_cast<std::size_t>(m_size), PROT_READ, MAP_PRIVATE, m_descriptor, 0);
    if (mapping == MAP_FAILED)
        throw Exiv2::Error(Exiv2::kerCallFailed, path(), std::strerror(errno), "mmap");
    m_mapping = mapping;
    m_mappingSize = static_cast<std::size_t>(m_size);
    return static_cast<Exiv2::byte*>(mapping);
}

int DescriptorIo::munmap()
{
    if (!m_mapping)
        return 0;
    int result = ::munmap(m_mapping, m_mappingSize);
    m_mapping = nullptr;
    m_mappingSize = 0;
    return result;
}

long DescriptorIo::tell() const { return static_cast<long>(m_position); }
size_t DescriptorIo::size() const { return static_cast<size_t>(m_size); }
bool DescriptorIo::isopen() const { return true; }
int DescriptorIo::error() const { return m_hasError ? 1 : 0; }
bool DescriptorIo::eof() const { return m_isEndOfFile; }
std::string DescriptorIo::path() const { return "/proc/self/fd/" + std::to_string(m_descriptor); }

} // namespace sorvik
