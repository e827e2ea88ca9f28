#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

namespace sorvik {

/// An open, read-only descriptor of a regular file, closed when destroyed. Every file sorvik
/// reads, a listed file or one of its own stored files, is opened through it: a FIFO, socket
/// or device put in the place of a file must never block the program or be read.
class RegularFile {
public:
    /// Whether a symbolic link at the path itself is followed or refused (`ELOOP`).
    enum class Links { follow, refuse };

    /// Opens `path` (following symbolic links) when it is a regular file; nothing otherwise.
    /// Opening never blocks, even on a FIFO.
    static std::optional<RegularFile> open(const std::filesystem::path& path);
    /// Like `open`, and tells why nothing was opened: the system's error, `EISDIR` for a
    /// folder, or `notRegularFileError()` for a FIFO, socket or device.
    static std::optional<RegularFile> open(
        const std::filesystem::path& path, std::error_code& error, Links links = Links::follow);

    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;
    ~RegularFile();

    int descriptor() const { return m_descriptor; }
    /// A path that names the open file itself ("/proc/self/fd/…"), for libraries that insist
    /// on opening a path: they reach the very file that was checked, whatever happens to its
    /// name meanwhile, and never a FIFO put there since.
    std::string descriptorPath() const;
    std::int64_t size() const { return m_size; }

    /// Up to `limit` bytes from the start of the file; a read that fails ends the data there.
    /// For sniffing a file's kind, where a failure only means "not this kind".
    std::string readPrefix(std::size_t limit) const;
    /// Up to `limit` bytes from the start of the file; `error` tells why reading stopped short
    /// (cleared when it did not). What was read before the failure is returned.
    std::string readPrefix(std::size_t limit, std::error_code& error) const;
    /// The whole file; `error` tells why reading stopped short.
    std::string readAll(std::error_code& error) const;

private:
    RegularFile(int descriptor, std::int64_t size);

    int m_descriptor = -1;
    std::int64_t m_size = 0;
};

/// The error of a path that exists but is neither a regular file nor a folder; its message is
/// "Not a regular file".
std::error_code notRegularFileError();

/// True when `path` names a regular file (after following symbolic links).
bool isRegularFile(const std::filesystem::path& path);

} // namespace sorvik
