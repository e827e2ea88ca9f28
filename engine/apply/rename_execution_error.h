#pragma once

#include "engine/model/error.h"
#include "engine/model/file_url.h"

#include <string>
#include <vector>

namespace sorvik {

/// The executor's failure. `what()` is `cause` followed by "\nAll staged files were
/// restored." when nothing was left behind, otherwise by "\nSome files could not be
/// restored. They remain at:\n" and the path of every file in `recoveryFiles`, one per line.
/// The fixed ending holds for every such error, also for checks that fail before anything
/// has moved.
class RenameExecutionError : public Error {
public:
    RenameExecutionError(std::string cause, std::vector<FileURL> recoveryFiles = {});

    const std::string& cause() const { return m_cause; }
    /// Files left at a temporary name or at a destination after a failed rollback.
    const std::vector<FileURL>& recoveryFiles() const { return m_recoveryFiles; }

private:
    std::string m_cause;
    std::vector<FileURL> m_recoveryFiles;
};

} // namespace sorvik
