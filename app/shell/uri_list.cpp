#include "app/shell/uri_list.h"

namespace sorvik::UriList {

std::vector<FileURL> fileURLs(std::string_view payload)
{
    std::vector<FileURL> urls;
    while (!payload.empty()) {
        auto end = payload.find('\n');
        auto line = payload.substr(0, end);
        payload.remove_prefix(end == std::string_view::npos ? payload.size() : end + 1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        auto url = FileURL::parse(line);
        // A NUL would end the name early at every system call, which then names another file.
        if (!url || url->path.find('\0') != std::string::npos)
            continue;
        urls.push_back(std::move(*url));
    }
    return urls;
}

} // namespace sorvik::UriList
