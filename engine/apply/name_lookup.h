#pragma once

#include "engine/apply/file_system.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace sorvik {

/// An item by its device and file number.
struct ItemIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    friend bool operator==(const ItemIdentity&, const ItemIdentity&) = default;
};

/// Looks many names up in their open folders, reading a folder once where many of its names
/// are wanted and the file system can answer that way; each name by itself elsewhere. Names
/// are added with `want`, then `look` answers them all.
class NameLookup {
public:
    explicit NameLookup(FileSystem& fileSystem)
        : m_fileSystem(fileSystem)
    {
    }

    /// Adds a name (a view that must live until `look`); its answer comes at the same place
    /// in `look`'s result.
    void want(const OpenFolder* folder, std::string_view name);

    /// For every name wanted, in order: its device and file number, or nothing. Nothing else
    /// is kept: a batch asks for as many names as it moves files.
    std::vector<std::optional<ItemIdentity>> look();

private:
    struct Asked {
        std::vector<std::string_view> names;
        std::vector<std::uint32_t> places;
    };

    bool answerFromListing(const OpenFolder& folder, const Asked& asked,
        std::vector<std::optional<ItemIdentity>>& answers);

    FileSystem& m_fileSystem;
    std::unordered_map<const OpenFolder*, Asked> m_byFolder;
    std::size_t m_count = 0;
};

} // namespace sorvik
