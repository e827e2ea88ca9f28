#pragma once

#include "engine/apply/file_system.h"
#include "engine/apply/local_file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace sorvik::testing {

/// One call the executor made of its file system. Calls on open folders are recorded with
/// the paths they name (folder path + name).
struct FileSystemCall {
    enum class Kind {
        itemExists,
        moveItem,
        createDirectory,
        removeEmptyDirectory,
        openFolder,
        folderStatus,
        realPath,
        findNames,
        removeName,
    };
    Kind kind;
    FileURL first;
    FileURL second;
    /// 1 for the first call.
    std::size_t number = 0;
};

/// The real file system, except where `fails` says a call fails: a failing existence test
/// (or status) answers that nothing is there, a failing lookup of many names answers that it
/// cannot be had, every other failing call throws `FileSystemError` (EIO) without touching the
/// disk. `beforeCall` runs before each call, so that a test can change the disk between two calls.
/// Records every call.
class FailingFileSystem final : public FileSystem {
public:
    std::function<bool(const FileSystemCall&)> fails = [](const FileSystemCall&) { return false; };
    std::function<void(const FileSystemCall&)> beforeCall = [](const FileSystemCall&) {};
    /// The error number of an injected failure.
    int failureCode = EIO;
    std::vector<FileSystemCall> calls;

    /// Fails the call with that number only.
    static std::function<bool(const FileSystemCall&)> failingCall(std::size_t number)
    {
        return [number](const FileSystemCall& call) { return call.number == number; };
    }
    /// Fails the call with that number and every call after it.
    static std::function<bool(const FileSystemCall&)> failingFrom(std::size_t number)
    {
        return [number](const FileSystemCall& call) { return call.number >= number; };
    }

    bool itemExists(const FileURL& url) override
    {
        if (record(FileSystemCall::Kind::itemExists, url, {}))
            return false;
        return m_local.itemExists(url);
    }
    void moveItem(const FileURL& source, const FileURL& destination) override
    {
        if (record(FileSystemCall::Kind::moveItem, source, destination))
            throw injected("moving", source);
        m_local.moveItem(source, destination);
    }
    void createDirectory(const FileURL& url) override
    {
        if (record(FileSystemCall::Kind::createDirectory, url, {}))
            throw injected("creating", url);
        m_local.createDirectory(url);
    }
    void removeEmptyDirectory(const FileURL& url) override
    {
        if (record(FileSystemCall::Kind::removeEmptyDirectory, url, {}))
            throw injected("removing", url);
        m_local.removeEmptyDirectory(url);
    }

    OpenFolder openFolder(const FileURL& url, bool followFinalLink) override
    {
        if (record(FileSystemCall::Kind::openFolder, url, {}))
            throw injected("opening", url);
        return m_local.openFolder(url, followFinalLink);
    }
    OpenFolder openFolder(const OpenFolder& parent, std::string_view name) override
    {
        if (record(FileSystemCall::Kind::openFolder, parent.url.appending(name, true), {}))
            throw injected("opening", parent.url.appending(name, true));
        return m_local.openFolder(parent, name);
    }
    void closeFolder(const OpenFolder& folder) override { m_local.closeFolder(folder); }
    ItemStatus folderStatus(const OpenFolder& folder) override
    {
        if (record(FileSystemCall::Kind::folderStatus, folder.url, {}))
            throw injected("reading", folder.url);
        return m_local.folderStatus(folder);
    }
    std::string realPath(const OpenFolder& folder) override
    {
        if (record(FileSystemCall::Kind::realPath, folder.url, {}))
            throw injected("resolving", folder.url);
        return m_local.realPath(folder);
    }
    std::optional<ItemStatus> itemStatus(const OpenFolder& folder, std::string_view name) override
    {
        if (record(FileSystemCall::Kind::itemExists, folder.url.appending(name), {}))
            return std::nullopt;
        return m_local.itemStatus(folder, name);
    }
    std::optional<std::vector<std::optional<std::uint64_t>>> findNames(const OpenFolder& folder,
        const std::vector<std::string_view>& names, std::size_t limit) override
    {
        if (record(FileSystemCall::Kind::findNames, folder.url, {}))
            return std::nullopt;
        return m_local.findNames(folder, names, limit);
    }
    void moveItem(const OpenFolder& source, std::string_view sourceName,
        const OpenFolder& destination, std::string_view destinationName) override
    {
        if (record(FileSystemCall::Kind::moveItem, source.url.appending(sourceName),
                destination.url.appending(destinationName)))
            throw injected("moving", source.url.appending(sourceName));
        m_local.moveItem(source, sourceName, destination, destinationName);
    }
    void createDirectory(const OpenFolder& parent, std::string_view name) override
    {
        if (record(FileSystemCall::Kind::createDirectory, parent.url.appending(name, true), {}))
            throw injected("creating", parent.url.appending(name, true));
        m_local.createDirectory(parent, name);
    }
    void removeEmptyDirectory(const OpenFolder& parent, std::string_view name) override
    {
        if (record(
                FileSystemCall::Kind::removeEmptyDirectory, parent.url.appending(name, true), {}))
            throw injected("removing", parent.url.appending(name, true));
        m_local.removeEmptyDirectory(parent, name);
    }
    void removeName(const OpenFolder& folder, std::string_view name) override
    {
        if (record(FileSystemCall::Kind::removeName, folder.url.appending(name), {}))
            throw injected("removing", folder.url.appending(name));
        m_local.removeName(folder, name);
    }

    std::size_t count(FileSystemCall::Kind kind) const
    {
        return static_cast<std::size_t>(std::count_if(calls.begin(), calls.end(),
            [kind](const FileSystemCall& call) { return call.kind == kind; }));
    }

private:
    FileSystemError injected(const char* action, const FileURL& url) const
    {
        return FileSystemError(
            std::string("Injected failure ") + action + " \"" + url.path + "\"", failureCode);
    }

    bool record(FileSystemCall::Kind kind, const FileURL& first, const FileURL& second)
    {
        calls.push_back({ kind, first, second, calls.size() + 1 });
        auto call = calls.back();
        beforeCall(call);
        return fails(call);
    }

    LocalFileSystem m_local;
};

/// A file system in memory that ignores letter case as removable volumes do: a name is found
/// in any case and keeps the case it was given when it was made. Open folders are looked up
/// by their path.
class CaseInsensitiveFileSystem final : public FileSystem {
public:
    CaseInsensitiveFileSystem() { m_items[""] = { "/", true, m_nextInode++ }; }

    void addFile(const std::string& path) { m_items[key(path)] = { path, false, m_nextInode++ }; }
    void addFolder(const std::string& path) { m_items[key(path)] = { path, true, m_nextInode++ }; }
    /// The path as it is spelled on the volume, or empty when nothing is there.
    std::string spelling(const std::string& path) const
    {
        auto found = m_items.find(key(path));
        return found == m_items.end() ? std::string() : found->second.path;
    }

    bool itemExists(const FileURL& url) override { return m_items.contains(key(url.path)); }
    void moveItem(const FileURL& source, const FileURL& destination) override
    {
        auto found = m_items.find(key(source.path));
        if (found == m_items.end())
            throw FileSystemError("Couldn't move \"" + source.path + "\"", ENOENT);
        if (m_items.contains(key(destination.path)))
            throw FileSystemError("Couldn't move \"" + source.path + "\"", EEXIST);
        if (!m_items.contains(key(destination.deletingLastPathComponent().path)))
            throw FileSystemError("Couldn't move \"" + source.path + "\"", ENOENT);
        Item item = found->second;
        item.path = destination.path;
        m_items.erase(found);
        m_items[key(destination.path)] = item;
    }
    void createDirectory(const FileURL& url) override
    {
        if (m_items.contains(key(url.path)))
            throw FileSystemError("Couldn't create \"" + url.path + "\"", EEXIST);
        if (!m_items.contains(key(url.deletingLastPathComponent().path)))
            throw FileSystemError("Couldn't create \"" + url.path + "\"", ENOENT);
        m_items[key(url.path)] = { url.path, true, m_nextInode++ };
    }
    void removeEmptyDirectory(const FileURL& url) override
    {
        std::string folder = key(url.path);
        for (const auto& [itemKey, item] : m_items) {
            if (itemKey.size() > folder.size() && itemKey.starts_with(folder + "/"))
                throw FileSystemError("Couldn't remove \"" + url.path + "\"", ENOTEMPTY);
        }
        m_items.erase(folder);
    }

    OpenFolder openFolder(const FileURL& url, bool) override
    {
        auto found = m_items.find(key(url.path));
        if (found == m_items.end())
            throw FileSystemError("Couldn't open \"" + url.path + "\"", ENOENT);
        if (!found->second.isFolder)
            throw FileSystemError("Couldn't open \"" + url.path + "\"", ENOTDIR);
        return { 0, FileURL(found->second.path, true) };
    }
    OpenFolder openFolder(const OpenFolder& parent, std::string_view name) override
    {
        return openFolder(parent.url.appending(name, true), false);
    }
    void closeFolder(const OpenFolder&) override { }
    ItemStatus folderStatus(const OpenFolder& folder) override
    {
        auto status = itemStatus(folder.url);
        if (!status)
            throw FileSystemError("Couldn't read \"" + folder.url.path + "\"", ENOENT);
        return *status;
    }
    std::string realPath(const OpenFolder& folder) override { return spelling(folder.url.path); }
    std::optional<ItemStatus> itemStatus(const OpenFolder& folder, std::string_view name) override
    {
        return itemStatus(folder.url.appending(name));
    }
    void moveItem(const OpenFolder& source, std::string_view sourceName,
        const OpenFolder& destination, std::string_view destinationName) override
    {
        moveItem(source.url.appending(sourceName), destination.url.appending(destinationName));
    }
    void createDirectory(const OpenFolder& parent, std::string_view name) override
    {
        createDirectory(parent.url.appending(name, true));
    }
    void removeEmptyDirectory(const OpenFolder& parent, std::string_view name) override
    {
        removeEmptyDirectory(parent.url.appending(name, true));
    }
    void removeName(const OpenFolder& folder, std::string_view name) override
    {
        m_items.erase(key(folder.url.appending(name).path));
    }

private:
    struct Item {
        std::string path;
        bool isFolder = false;
        std::uint64_t inode = 0;
    };

    std::optional<ItemStatus> itemStatus(const FileURL& url) const
    {
        auto found = m_items.find(key(url.path));
        if (found == m_items.end())
            return std::nullopt;
        ItemStatus status;
        status.device = 1;
        status.inode = found->second.inode;
        status.size = 0;
        status.isDirectory = found->second.isFolder;
        return status;
    }

    static std::string key(std::string path)
    {
        while (!path.empty() && path.back() == '/')
            path.pop_back();
        std::transform(path.begin(), path.end(), path.begin(), [](char character) {
            return character >= 'A' && character <= 'Z' ? static_cast<char>(character + 32)
                                                        : character;
        });
        return path;
    }

    std::map<std::string, Item> m_items;
    std::uint64_t m_nextInode = 1;
};

} // namespace sorvik::testing
