#pragma once

#include "app/store/file_error.h"
#include "engine/model/json.h"

#include <cstddef>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

namespace sorvik {

// The one place where a failure of one of sorvik's stored files (its state in the application
// folder, its settings, its grants) becomes the text the user reads. Such a text names the
// file, says what is wrong in sorvik's own words (never a library's inner text, never an
// errno text without the file) and ends with what the user can do, naming the file's full
// path:
//   The file “presets.json” couldn’t be opened because it isn’t in the correct format (not
//   valid JSON at line 1, column 31). To start afresh with no saved presets, move
//   “/home/ada/.local/share/sorvik/presets.json” aside and open sorvik again.
// The failure stays the kind of error it was (a `FileError` with its code, a
// `json::DecodeError` with its path and reason), so callers that tell failures apart still can.

/// What every failure about a stored file is besides its own kind: the file it concerns.
class StoredFileFailure {
public:
    explicit StoredFileFailure(std::filesystem::path file)
        : m_file(std::move(file))
    {
    }
    virtual ~StoredFileFailure() = default;

    const std::filesystem::path& file() const { return m_file; }

private:
    std::filesystem::path m_file;
};

/// `Cause` as the user reads it: `what()` is the whole text about the stored file.
template <class Cause> class StoredFileError final : public Cause, public StoredFileFailure {
public:
    StoredFileError(const Cause& cause, std::filesystem::path file, std::string text)
        : Cause(cause)
        , StoredFileFailure(std::move(file))
        , m_text(std::move(text))
    {
    }

    const char* what() const noexcept override { return m_text.c_str(); }

private:
    std::string m_text;
};

/// A document whose text is not JSON: empty, ending in the middle, or not JSON from a place
/// on. `what()` says which, and where, in sorvik's words.
class JSONSyntaxError : public json::DecodeError {
public:
    enum class Kind { empty, endsEarly, invalid };

    JSONSyntaxError(Kind kind, std::size_t line, std::size_t column);

    Kind kind() const { return m_kind; }
    std::size_t line() const { return m_line; }
    std::size_t column() const { return m_column; }

private:
    Kind m_kind;
    std::size_t m_line;
    std::size_t m_column;
};

/// The line and column, both from 1, of the place after a text given in pieces; columns
/// count characters (UTF-8 sequences), as editors show them.
class TextPosition {
public:
    void advance(std::string_view text);

    std::size_t line() const { return m_line; }
    std::size_t column() const { return m_column; }

private:
    std::size_t m_line = 1;
    std::size_t m_column = 1;
};

namespace StoredFile {

    /// Whether a stored text holds nothing but white space (and a byte-order mark).
    bool isBlank(std::string_view text);

    /// Parses a stored document or one the user hands to sorvik. A text that is not JSON
    /// fails with `JSONSyntaxError`, which says where (line and column, counted in
    /// characters, from 1).
    json::Json parseJSON(std::string_view text);

    /// Why the file at `path` could not be read or decoded (`cause`), as one sentence of
    /// sorvik's naming the file: a `FileError`'s own description, or what is wrong with the
    /// content.
    std::string unreadableReason(const std::filesystem::path& path, const std::exception& cause);

    /// The usual way out of a stored file that cannot be read: "To start afresh with
    /// `afresh`, move “`path`” aside and open sorvik again." (without "with …" when `afresh`
    /// is empty, and without the last words when `reopen` is false: sorvik reads the file
    /// afresh every time it needs it).
    std::string startAfresh(
        const std::filesystem::path& path, std::string_view afresh, bool reopen);

    /// Rethrows the failure being handled, of reading or decoding the file at `path`, as a
    /// `StoredFileError` of the same kind whose text is its reason followed by `remedy`
    /// (nothing follows when it is empty). A failure that is already about a stored file
    /// passes unchanged. Only to be called inside a `catch`.
    [[noreturn]] void rethrowUnreadable(const std::filesystem::path& path, std::string_view remedy);

    /// The failure of writing the file at `path` with the system's `errno` value `error`:
    /// why, that nothing was saved to its full path, and what the user can do about it.
    StoredFileError<FileError> writeFailure(const std::filesystem::path& path, int error);
    /// The same for a write that failed as `cause` says.
    StoredFileError<FileError> writeFailure(const FileError& cause);

    /// The failure of making the folder `folder` with `errno` value `error`.
    StoredFileError<FileError> folderFailure(const std::filesystem::path& folder, int error);

    /// The failure of turning a value into the bytes of the file at `path` (text that is not
    /// UTF-8, a number JSON cannot hold); nothing was saved.
    StoredFileError<Error> encodeFailure(const std::filesystem::path& path);

} // namespace StoredFile

} // namespace sorvik
