#pragma once

#include "engine/model/error.h"
#include "engine/model/file_url.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sorvik {

/// The failure of a rename without the window (command line, watch folders). `what()` is
/// the text shown to the user as it stands.
class AutomationError : public Error {
public:
    static constexpr std::string_view grantRequired
        = "Grant the source folder access in sorvik first.";
    static constexpr std::string_view filenameProblem
        = "Resolve the filename problem before running automation: ";
    static constexpr std::string_view sourceChanged
        = "A source file changed while preparing the rename. Try again.";
    static constexpr std::string_view historyNotSaved
        = "Files were renamed, but history could not be saved. Do not retry the batch. ";
    static constexpr std::string_view presetNotFound = "Preset not found.";
    static constexpr std::string_view localURLRequired
        = "This shortcut requires files with a local URL.";

    explicit AutomationError(std::string_view message)
        : Error(std::string(message))
    {
    }
};

/// A batch refused whole because rows of it have a problem. `what()` is the text of
/// `filenameProblem` with the first such file's name; `rows` are all of them, in row order.
class BlockedBatchError : public AutomationError {
public:
    struct Row {
        FileURL url;
        std::string newName;
        /// The row's status reason ("Duplicate name", "File already exists", …).
        std::string reason;
    };

    /// `rows` must not be empty.
    explicit BlockedBatchError(std::vector<Row> rows)
        : AutomationError(std::string(filenameProblem) + rows.front().url.lastPathComponent())
        , m_rows(std::move(rows))
    {
    }

    const std::vector<Row>& rows() const { return m_rows; }

private:
    std::vector<Row> m_rows;
};

/// A run that was stopped by its caller before it touched any file.
class CancellationError : public Error {
public:
    static constexpr std::string_view text = "The rename was cancelled.";

    CancellationError()
        : Error(std::string(text))
    {
    }
};

} // namespace sorvik
