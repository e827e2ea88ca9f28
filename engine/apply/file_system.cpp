#include "engine/apply/file_system.h"

#include <system_error>

namespace sorvik {

FileSystemError::FileSystemError(const std::string& context, int code)
    : Error(context + ": " + std::generic_category().message(code))
    , m_code(code)
{
}

} // namespace sorvik
