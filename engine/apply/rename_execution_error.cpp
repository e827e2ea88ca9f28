#include "engine/apply/rename_execution_error.h"

namespace sorvik {

namespace {

    std::string description(const std::string& cause, const std::vector<FileURL>& recoveryFiles)
    {
        if (recoveryFiles.empty())
            return cause + "\nAll staged files were restored.";
        std::string text = cause + "\nSome files could not be restored. They remain at:\n";
        for (std::size_t index = 0; index < recoveryFiles.size(); ++index) {
            if (index > 0)
                text += "\n";
            text += recoveryFiles[index].path;
        }
        return text;
    }

} // namespace

RenameExecutionError::RenameExecutionError(std::string cause, std::vector<FileURL> recoveryFiles)
    : Error(description(cause, recoveryFiles))
    , m_cause(std::move(cause))
    , m_recoveryFiles(std::move(recoveryFiles))
{
}

} // namespace sorvik
