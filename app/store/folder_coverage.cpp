#include "app/store/folder_coverage.h"

#include "engine/model/folder_paths.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace sorvik {

FolderCoverage::FolderCoverage(std::vector<FileURL> grantedFolders, RealPath realPath)
    : m_realPath(realPath ? std::move(realPath) : RealPath(systemRealPath))
{
    m_grantPaths.reserve(grantedFolders.size());
    for (const auto& folder : grantedFolders)
        m_grantPaths.push_back(folder.standardized().path);
}

std::string FolderCoverage::systemRealPath(const std::string& path)
{
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved))
        return resolved;
    return {};
}

std::string FolderCoverage::resolved(const std::string& path)
{
    if (auto real = m_realPath(path); !real.empty())
        return real;
    // A path that does not exist (yet) keeps its missing tail, appended to its longest
    // existing part resolved.
    auto components = FileURL(path).pathComponents();
    for (std::size_t kept = components.size(); kept-- > 0;) {
        std::string prefix;
        for (std::size_t index = 0; index < kept; ++index)
            prefix += "/" + components[index];
        auto real = m_realPath(prefix.empty() ? "/" : prefix);
        if (real.empty())
            continue;
        for (std::size_t index = kept; index < components.size(); ++index) {
            if (real.back() != '/')
                real.push_back('/');
            real += components[index];
        }
        return real;
    }
    return path;
}

bool FolderCoverage::covers(const FileURL& url)
{
    auto path = url.standardized().path;
    auto found = m_answers.find(path);
    if (found != m_answers.end())
        return found->second;
    bool covered = std::find(m_grantPaths.begin(), m_grantPaths.end(), path) != m_grantPaths.end();
    if (!covered) {
        if (!m_resolvedGrants) {
            m_resolvedGrants.emplace();
            for (const auto& grant : m_grantPaths)
                m_resolvedGrants->push_back(folder_paths::comparable(resolved(grant)));
        }
        auto target = folder_paths::comparable(resolved(path));
        covered = std::any_of(m_resolvedGrants->begin(), m_resolvedGrants->end(),
            [&](const std::string& grant) { return folder_paths::isAtOrBelow(target, grant); });
    }
    m_answers.emplace(std::move(path), covered);
    return covered;
}

} // namespace sorvik
