#include "engine/apply/rename_execution_error.h"

namespace sorvik {

namespace {

    std::vector<StrandedFile> withoutOrigins(const std::vector<FileURL>& files)
    {
        std::vector<StrandedFile> stranded;
        stranded.reserve(files.size());
        for (const auto& file : files)
            stranded.push_back({ file, {} });
        return stranded;
    }

    std::vector<FileURL> placesOf(const std::vector<StrandedFile>& stranded)
    {
        std::vector<FileURL> files;
        files.reserve(stranded.size());
        for (const auto& file : stranded)
            files.push_back(file.at);
        return files;
    }

    std::string description(const std::string& cause, const std::vector<StrandedFile>& stranded)
    {
        if (stranded.empty())
            return cause + "\nAll staged files were restored.";
        return cause + std::string(strandedFilesHeading) + strandedFilesText(stranded);
    }

} // namespace

std::string strandedFilesText(const std::vector<StrandedFile>& files, const PathText& shown)
{
    auto path = [&shown](const FileURL& url) { return shown ? shown(url.path) : url.path; };
    std::string text;
    for (std::size_t index = 0; index < files.size(); ++index) {
        if (index > 0)
            text += "\n";
        text += path(files[index].at);
        if (!files[index].original.isEmpty())
            text += " (originally " + path(files[index].original) + ")";
    }
    return text;
}

RenameExecutionError::RenameExecutionError(std::string cause)
    : Error(cause)
    , m_cause(std::move(cause))
{
}

RenameExecutionError::RenameExecutionError(std::string cause, std::vector<FileURL> recoveryFiles)
    : RenameExecutionError(std::move(cause), withoutOrigins(recoveryFiles))
{
}

RenameExecutionError::RenameExecutionError(std::string cause, std::vector<StrandedFile> stranded)
    : Error(description(cause, stranded))
    , m_cause(std::move(cause))
    , m_recoveryFiles(placesOf(stranded))
    , m_stranded(std::move(stranded))
{
}

} // namespace sorvik
