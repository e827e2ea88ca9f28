#include "engine/apply/file_system.h"

#include <cerrno>
#include <system_error>

namespace sorvik {

FileSystemError::FileSystemError(const std::string& context, int code)
    : Error(context + ": " + std::generic_category().message(code))
    , m_code(code)
{
}

std::vector<bool> FileSystem::itemsExist(const std::vector<FileURL>& urls)
{
    std::vector<bool> answers;
    answers.reserve(urls.size());
    for (const auto& url : urls)
        answers.push_back(itemExists(url));
    return answers;
}

void throwSystemError(std::string_view action, std::string_view path)
{
    int code = errno;
    std::string context(action);
    context += " \"";
    context += path;
    context += "\"";
    throw FileSystemError(context, code);
}

} // namespace sorvik
