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

/// One call the executor made of its file system.
struct FileSystemCall {
    enum class Kind { itemExists, moveItem, createDirectory, removeEmptyDirectory };
    Kind kind;
    FileURL first;
    FileURL second;
    /// 1 for the first call.
    std::size_t number = 0;
};

/// The real file system, except where `fails` says a call fails: a failing existence test
/// answers false, every other failing call throws `FileSystemError` (EIO) without touching
/// the disk. Records every call.
class FailingFileSystem final : public FileSystem {
public:
    std::function<bool(const FileSystemCall&)> fails = [](const FileSystemCall&) { return false; };
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
            throw FileSystemError("Injected failure moving \"" + source.path + "\"", EIO);
        m_local.moveItem(source, destination);
    }
    void createDirectory(const FileURL& url) override
    {
        if (record(FileSystemCall::Kind::createDirectory, url, {}))
            throw FileSystemError("Injected failure creating \"" + url.path + "\"", EIO);
        m_local.createDirectory(url);
    }
    void removeEmptyDirectory(const FileURL& url) override
    {
        if (record(FileSystemCall::Kind::removeEmptyDirectory, url, {}))
            throw FileSystemError("Injected failure removing \"" + url.path + "\"", EIO);
        m_local.removeEmptyDirectory(url);
    }

    std::size_t count(FileSystemCall::Kind kind) const
    {
        return static_cast<std::size_t>(std::count_if(calls.begin(), calls.end(),
            [kind](const FileSystemCall& call) { return call.kind == kind; }));
    }

private:
    bool record(FileSystemCall::Kind kind, const FileURL& first, const FileURL& second)
    {
        calls.push_back({ kind, first, second, calls.size() + 1 });
        return fails(calls.back());
    }

    LocalFileSystem m_local;
};

/// A file system in memory that ignores letter case as removable volumes do: a name is found
/// in any case and keeps the case it was given when it was made.
class CaseInsensitiveFileSystem final : public FileSystem {
public:
    CaseInsensitiveFileSystem() { m_items[""] = { "/", true }; }

    void addFile(const std::string& path) { m_items[key(path)] = { path, false }; }
    void addFolder(const std::string& path) { m_items[key(path)] = { path, true }; }
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
        bool isFolder = found->second.isFolder;
        m_items.erase(found);
        m_items[key(destination.path)] = { destination.path, isFolder };
    }
    void createDirectory(const FileURL& url) override
    {
        if (m_items.contains(key(url.path)))
            throw FileSystemError("Couldn't create \"" + url.path + "\"", EEXIST);
        if (!m_items.contains(key(url.deletingLastPathComponent().path)))
            throw FileSystemError("Couldn't create \"" + url.path + "\"", ENOENT);
        m_items[key(url.path)] = { url.path, true };
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

private:
    struct Item {
        std::string path;
        bool isFolder = false;
    };

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
};

} // namespace sorvik::testing
