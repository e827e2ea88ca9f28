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

std::optional<std::vector<std::optional<std::uint64_t>>> FileSystem::findNames(
    const OpenFolder&, const std::vector<std::string_view>&, std::size_t)
{
    return std::nullopt;
}

void FileSystem::moveToNewName(const OpenFolder& source, std::string_view sourceName,
    const OpenFolder& destination, std::string_view newName)
{
    moveItem(source, sourceName, destination, newName);
}

OpenFolders::~OpenFolders()
{
    for (const auto& folder : m_folders)
        m_fileSystem.closeFolder(folder);
}

const OpenFolder& OpenFolders::keep(OpenFolder folder)
{
    try {
        return m_folders.emplace_back(std::move(folder));
    } catch (...) {
        m_fileSystem.closeFolder(folder);
        throw;
    }
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
