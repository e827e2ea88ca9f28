#include "app/store/security_scope.h"

#include <map>
#include <mutex>
#include <string>

#include <sys/stat.h>

namespace sorvik::SecurityScope {

namespace {

    std::mutex& countsMutex()
    {
        static std::mutex mutex;
        return mutex;
    }

    std::map<std::string, int>& counts()
    {
        static std::map<std::string, int> byPath;
        return byPath;
    }

} // namespace

bool startAccessing(const FileURL& url)
{
    struct stat status { };
    if (url.path.empty() || ::stat(url.path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        return false;
    std::lock_guard lock(countsMutex());
    ++counts()[url.path];
    return true;
}

void stopAccessing(const FileURL& url)
{
    std::lock_guard lock(countsMutex());
    auto found = counts().find(url.path);
    if (found == counts().end())
        return;
    if (--found->second <= 0)
        counts().erase(found);
}

int accessCount(const FileURL& url)
{
    std::lock_guard lock(countsMutex());
    auto found = counts().find(url.path);
    return found == counts().end() ? 0 : found->second;
}

} // namespace sorvik::SecurityScope
