#include "engine/pipeline/real_path.h"

#include "engine/model/file_url.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace sorvik::RealPath {

std::optional<std::string> resolve(const std::string& path, const Calls& calls)
{
    std::string existing = path;
    std::string_view missing;
    auto dropLast = [&] {
        auto slash = existing.rfind('/');
        missing = std::string_view(path).substr(slash == 0 ? 0 : slash);
        existing.resize(slash == 0 ? 1 : slash);
    };
    for (;;) {
        struct stat status { };
        while (existing != "/" && calls.lstat(existing.c_str(), &status) != 0)
            dropLast();
        char* real = calls.realpath(existing.c_str(), nullptr);
        if (real) {
            std::string result = real;
            std::free(real);
            if (!missing.empty()) {
                if (result == "/")
                    result.clear();
                result.append(missing);
            }
            return FileURL(result).standardized().path;
        }
        // A part that is still there but cannot be resolved (a dangling or looping link) is
        // refused; one that is gone since it was looked at is missing like the rest.
        int failure = errno;
        if ((failure != ENOENT && failure != ENOTDIR) || existing == "/"
            || calls.lstat(existing.c_str(), &status) == 0)
            return std::nullopt;
        dropLast();
    }
}

} // namespace sorvik::RealPath
