#pragma once

#include "engine/model/error.h"
#include "engine/model/file_url.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

/// A file that a failed rollback or recovery left away from its place: where it is now, and
/// where it belongs (empty when that is not known).
struct StrandedFile {
    FileURL at;
    FileURL original;

    friend bool operator==(const StrandedFile&, const StrandedFile&) = default;
};

/// What follows the cause of a failure that left files away from their places, before one
/// line per file (see `strandedFilesText`).
inline constexpr std::string_view strandedFilesHeading
    = "\nSome files could not be restored. They remain at:\n";

/// How a path is written in a message: as it stands unless the caller escapes it.
using PathText = std::function<std::string(const std::string& path)>;

/// One line per file: its path, and "(originally " + the path it belongs at + ")" when known;
/// each path as `shown` writes it (as it stands without one).
std::string strandedFilesText(const std::vector<StrandedFile>& files, const PathText& shown = {});

/// The executor's failure. A batch refused before anything was staged says only its `cause`.
/// One that was rolled back says `cause` followed by "\nAll staged files were restored."
/// when nothing was left behind, otherwise by "\nSome files could not be restored. They
/// remain at:\n" and one line per file left behind (see `strandedFilesText`).
class RenameExecutionError : public Error {
public:
    /// A batch refused before anything moved.
    explicit RenameExecutionError(std::string cause);
    /// A batch rolled back, with the files it could not put back (none: all were).
    RenameExecutionError(std::string cause, std::vector<FileURL> recoveryFiles);
    RenameExecutionError(std::string cause, std::vector<StrandedFile> stranded);

    const std::string& cause() const { return m_cause; }
    /// Files left at a temporary name or at a destination after a failed rollback.
    const std::vector<FileURL>& recoveryFiles() const { return m_recoveryFiles; }
    /// The same files, each with the place it belongs at.
    const std::vector<StrandedFile>& stranded() const { return m_stranded; }

private:
    std::string m_cause;
    std::vector<FileURL> m_recoveryFiles;
    std::vector<StrandedFile> m_stranded;
};

} // namespace sorvik
