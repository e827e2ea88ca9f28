#include "tests/support/temporary_folder.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>

namespace sorvik::testing {

namespace {

    constexpr const char* isolatedVariables[IsolatedHome::variableCount]
        = { "HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR" };

} // namespace

TemporaryFolder::TemporaryFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "sorvik-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    m_path = pattern;
}

TemporaryFolder::~TemporaryFolder()
{
    std::error_code ignored;
    // Tests may leave read-only folders behind; give write access back before removing.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::permissions(
        m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(m_path, ignored);
}

std::filesystem::path TemporaryFolder::createFile(
    std::string_view relative, std::string_view data, double unixTime) const
{
    auto file = m_path / relative;
    std::filesystem::create_directories(file.parent_path());
    {
        std::ofstream stream(file, std::ios::binary | std::ios::trunc);
        stream.write(data.data(), static_cast<std::streamsize>(data.size()));
        if (!stream)
            throw std::runtime_error("cannot write " + file.string());
    }
    if (unixTime >= 0) {
        timespec times[2];
        times[0].tv_sec = static_cast<time_t>(unixTime);
        times[0].tv_nsec
            = static_cast<long>((unixTime - static_cast<double>(times[0].tv_sec)) * 1e9);
        times[1] = times[0];
        utimensat(AT_FDCWD, file.c_str(), times, 0);
    }
    return file;
}

std::filesystem::path TemporaryFolder::createFolder(std::string_view relative) const
{
    auto folder = m_path / relative;
    std::filesystem::create_directories(folder);
    return folder;
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream contents;
    contents << stream.rdbuf();
    return contents.str();
}

IsolatedHome::IsolatedHome()
{
    for (int index = 0; index < variableCount; ++index) {
        if (const char* value = std::getenv(isolatedVariables[index])) {
            m_saved[index] = value;
            m_wasSet[index] = true;
        }
    }
    std::filesystem::create_directories(m_folder.path() / "data");
    std::filesystem::create_directories(m_folder.path() / "config");
    std::filesystem::create_directories(m_folder.path() / "cache");
    // The runtime folder is the user's alone, as the session makes it; programs refuse others.
    ::mkdir((m_folder.path() / "runtime").c_str(), 0700);
    setenv("HOME", m_folder.path().c_str(), 1);
    setenv("XDG_DATA_HOME", (m_folder.path() / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (m_folder.path() / "config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (m_folder.path() / "cache").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (m_folder.path() / "runtime").c_str(), 1);
}

IsolatedHome::~IsolatedHome()
{
    for (int index = 0; index < variableCount; ++index) {
        if (m_wasSet[index])
            setenv(isolatedVariables[index], m_saved[index].c_str(), 1);
        else
            unsetenv(isolatedVariables[index]);
    }
}

} // namespace sorvik::testing
