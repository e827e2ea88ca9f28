#pragma once

#include "engine/model/error.h"

#include <string>
#include <string_view>

namespace sorvik {

/// A failure of a file operation of the store: what went wrong, as a code that callers may
/// test, and a description the user can read.
class FileError : public Error {
public:
    enum class Code {
        fileNoSuchFile,
        fileReadNoPermission,
        fileReadUnsupportedScheme,
        fileReadCorruptFile,
        fileReadTooLarge,
        /// The file's bytes are not text in the encoding it is read in (UTF-8).
        fileReadInapplicableStringEncoding,
        fileReadUnknown,
        fileWriteNoPermission,
        fileWriteOutOfSpace,
        fileWriteVolumeReadOnly,
        fileWriteUnknown,
    };

    FileError(Code code, std::string path, const std::string& description);

    /// The error of a failed read of `path` with the system's `errno` value.
    static FileError reading(std::string path, int error);
    /// The error of a failed write or folder creation at `path` with `errno` value `error`.
    static FileError writing(std::string path, int error);
    /// `code` with its standard description for `path`.
    static FileError withCode(Code code, std::string path);
    /// The error of a path that holds a FIFO, socket or device where a file was expected.
    static FileError notRegularFile(std::string path);

    /// `text` in the curly quotes that the descriptions put around names.
    static std::string quoted(std::string_view text);
    /// The last component of `path`, as the descriptions name a file.
    static std::string fileName(std::string_view path);

    Code code() const { return m_code; }
    const std::string& path() const { return m_path; }

private:
    Code m_code;
    std::string m_path;
};

} // namespace sorvik
