#include "app/store/json_files.h"

#include "app/store/stored_file.h"
#include "app/store/stored_file_error.h"

#include <cstdlib>

#include <pwd.h>
#include <unistd.h>

namespace sorvik::JSONFiles {

namespace {

    std::filesystem::path homeFolder()
    {
        const char* home = std::getenv("HOME");
        if (home && *home)
            return home;
        if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
            return entry->pw_dir;
        return "/";
    }

    /// $XDG_DATA_HOME when it is set to an absolute path; relative values are ignored, as
    /// the XDG base directory rules require.
    std::filesystem::path dataHome()
    {
        const char* value = std::getenv("XDG_DATA_HOME");
        if (value && *value == '/')
            return value;
        return homeFolder() / ".local" / "share";
    }

    std::filesystem::path fileIn(const std::filesystem::path& folder, std::string_view name)
    {
        // Names are the program's own constants; anything that could leave the folder is a
        // programming error.
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos
            || name.find('\0') != std::string_view::npos)
            throw Error("Invalid file name \"" + std::string(name) + "\"");
        return folder / name;
    }

} // namespace

std::filesystem::path applicationFolder() { return dataHome() / "sorvik"; }

std::filesystem::path legacyFolder() { return dataHome() / "Tamblewick"; }

std::optional<std::filesystem::path> storedPath(std::string_view name)
{
    auto primary = fileIn(applicationFolder(), name);
    auto chosen = StoredFile::exists(primary) ? primary : fileIn(legacyFolder(), name);
    if (!StoredFile::exists(chosen))
        return std::nullopt;
    return chosen;
}

std::filesystem::path savedPath(std::string_view name) { return fileIn(applicationFolder(), name); }

json::Json readDocument(const std::filesystem::path& path)
{
    return StoredFile::parseJSON(StoredFile::read(path));
}

std::string unreadableRemedy(std::string_view name, const std::filesystem::path& path)
{
    // A file the window reads only when it starts needs a new start once it is out of the way.
    if (name == "presets.json")
        return StoredFile::startAfresh(path, "no saved presets", true);
    if (name == "watchfolders.json")
        return StoredFile::startAfresh(path, "no watch folders", true);
    if (name == "watch-log.json")
        return StoredFile::startAfresh(path, "an empty activity log", true);
    if (name == "history.json")
        return StoredFile::startAfresh(path, "an empty rename history", false);
    if (name == "last-session.json")
        return "sorvik starts without the rules you last used, and saves over the file when you "
               "next change the rules or the sort order; to keep it, move "
            + FileError::quoted(path.string()) + " aside before then.";
    return StoredFile::startAfresh(path, {}, true);
}

void failedToLoad(std::string_view name, const std::filesystem::path& path)
{
    StoredFile::rethrowUnreadable(path, unreadableRemedy(name, path));
}

void throwEncodeFailure(std::string_view name) { throw StoredFile::encodeFailure(savedPath(name)); }

std::optional<json::Json> loadDocument(std::string_view name)
{
    auto path = storedPath(name);
    if (!path)
        return std::nullopt;
    try {
        return readDocument(*path);
    } catch (...) {
        failedToLoad(name, *path);
    }
}

void saveDocument(const json::Json& document, std::string_view name)
{
    saveDocument(document, name, applicationFolder());
}

void saveDocument(
    const json::Json& document, std::string_view name, const std::filesystem::path& folder)
{
    auto file = fileIn(folder, name);
    StoredFile::createFolder(folder);
    std::string bytes;
    try {
        bytes = json::serialize(document);
    } catch (const std::exception&) {
        throw StoredFile::encodeFailure(file);
    }
    StoredFile::writeAtomically(file, bytes);
}

} // namespace sorvik::JSONFiles
