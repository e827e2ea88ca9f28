#pragma once

// A scratch home for the benchmarks that read and write files: HOME and the XDG folders point
// into a fresh temporary folder, which also holds folders of generated files. The shared one
// lives for the program (made on first use, removed at exit); a benchmark that needs a fresh
// home makes its own, removed with it.
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace sorvik::bench {

/// Points HOME and the XDG data, settings and cache folders into `home`.
inline void pointHomeAt(const std::filesystem::path& home)
{
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
}

class ScratchHome {
public:
    static ScratchHome& shared()
    {
        static ScratchHome made;
        return made;
    }

    ScratchHome()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "sorvik-bench-XXXXXX");
        if (!::mkdtemp(pattern.data()))
            std::abort();
        m_root = pattern;
        pointHomeAt(m_root);
    }

    const std::filesystem::path& root() const { return m_root; }

    /// The folder `name` holding `count` empty files named like a camera's photos, made once.
    const std::filesystem::path& photos(const std::string& name, int count)
    {
        auto found = m_folders.find(name);
        if (found != m_folders.end())
            return found->second;
        auto folder = m_root / name;
        std::filesystem::create_directories(folder);
        for (int index = 0; index < count; ++index) {
            auto file = "IMG_" + std::to_string(index) + " Holiday beach dinner photo.jpg";
            int fd = ::open((folder / file).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            if (fd >= 0)
                ::close(fd);
        }
        return m_folders.emplace(name, folder).first->second;
    }

    ~ScratchHome()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
    ScratchHome(const ScratchHome&) = delete;
    ScratchHome& operator=(const ScratchHome&) = delete;

private:
    std::filesystem::path m_root;
    std::map<std::string, std::filesystem::path> m_folders;
};

} // namespace sorvik::bench
