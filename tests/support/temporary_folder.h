#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace sorvik::testing {

/// A fresh folder under the system's temporary folder, removed with everything in it when
/// the object is destroyed.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(std::string_view relative) const { return m_path / relative; }

    /// Writes `data` to the file at `relative` (parent folders created) and, when
    /// `unixTime` is not negative, sets its modification time to it.
    std::filesystem::path createFile(
        std::string_view relative, std::string_view data = {}, double unixTime = -1) const;
    std::filesystem::path createFolder(std::string_view relative) const;

private:
    std::filesystem::path m_path;
};

/// Reads a whole file; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);

/// Points HOME, XDG_DATA_HOME, XDG_CONFIG_HOME, XDG_CACHE_HOME and XDG_RUNTIME_DIR into a
/// fresh temporary folder for as long as the object lives, and restores them afterwards. With
/// a runtime folder of its own, a test never reaches a sorvik that another test, or the
/// developer, runs.
class IsolatedHome {
public:
    static constexpr int variableCount = 5;

    IsolatedHome();
    ~IsolatedHome();
    IsolatedHome(const IsolatedHome&) = delete;
    IsolatedHome& operator=(const IsolatedHome&) = delete;

    const std::filesystem::path& path() const { return m_folder.path(); }
    std::filesystem::path dataFolder() const { return m_folder.path() / "data"; }
    std::filesystem::path configFolder() const { return m_folder.path() / "config"; }
    std::filesystem::path runtimeFolder() const { return m_folder.path() / "runtime"; }

private:
    TemporaryFolder m_folder;
    std::string m_saved[variableCount];
    bool m_wasSet[variableCount] {};
};

} // namespace sorvik::testing
