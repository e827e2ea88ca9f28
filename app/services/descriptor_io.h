#pragma once

#include <exiv2/basicio.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace sorvik {

class RegularFile;

/// exiv2's view of a file that is already open: reads go to the descriptor (buffered, by
/// position), so exiv2 never opens the file by name again. Read-only: every write fails.
class DescriptorIo : public Exiv2::BasicIo {
public:
    /// `file` must outlive this object.
    explicit DescriptorIo(const RegularFile& file);
    ~DescriptorIo() override;
    DescriptorIo(const DescriptorIo&) = delete;
    DescriptorIo& operator=(const DescriptorIo&) = delete;

    int open() override;
    int close() override;
    long write(const Exiv2::byte* data, long count) override;
    long write(Exiv2::BasicIo& source) override;
    int putb(Exiv2::byte data) override;
    Exiv2::DataBuf read(long count) override;
    long read(Exiv2::byte* buffer, long count) override;
    int getb() override;
    void transfer(Exiv2::BasicIo& source) override;
    int seek(int64_t offset, Position position) override;
    Exiv2::byte* mmap(bool isWriteable = false) override;
    int munmap() override;
    long tell() const override;
    size_t size() const override;
    bool isopen() const override;
    int error() const override;
    bool eof() const override;
    std::string path() const override;

private:
    /// Makes the buffer hold the bytes at the current position; false at the end of the file.
    bool fill();

    int m_descriptor;
    std::int64_t m_size;
    std::int64_t m_position = 0;
    bool m_isEndOfFile = false;
    bool m_hasError = false;
    std::vector<Exiv2::byte> m_buffer;
    std::int64_t m_bufferStart = 0; // file offset of m_buffer[0]
    void* m_mapping = nullptr;
    std::size_t m_mappingSize = 0;
};

} // namespace sorvik
