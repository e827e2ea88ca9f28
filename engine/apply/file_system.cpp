#include "engine/apply/file_system.h"

#include <cerrno>
#include <system_error>

namespace sorvik {

FileSystemError::FileSystemError(const std::string& context, int code)
    : Error(context + ": " + std::generic_category().message(code))
    , m_code(code)
{
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
