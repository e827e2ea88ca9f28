#pragma once

// Readable failure messages for engine values in GoogleTest assertions.

#include "engine/model/file_item.h"

#include <ostream>

namespace sorvik {

inline void PrintTo(const RenameStatus& status, std::ostream* stream)
{
    static constexpr const char* names[]
        = { "conflict", "invalid", "unchanged", "ready", "skipped", "needsAccess" };
    *stream << names[static_cast<int>(status.kind)];
    if (status.isProblem())
        *stream << "(\"" << status.reason << "\")";
}

inline void PrintTo(const FileURL& url, std::ostream* stream) { *stream << url.text(); }

} // namespace sorvik
