#pragma once

#include "engine/model/date.h"
#include "engine/model/file_url.h"
#include "engine/model/uuid.h"

#include <cstdint>
#include <optional>
#include <string>

namespace sorvik {

/// One file or folder in the list. Identified by `id`; equal only when all nine fields are.
/// It has no JSON form.
struct FileItem {
    Uuid id = Uuid::random();
    FileURL url;
    bool included = true;
    bool isDirectory = false;
    std::optional<Uuid> pairGroup;
    Date created;
    Date modified;
    std::int64_t size = 0;
    std::int64_t order = 0;

    FileItem() = default;
    /// A file (not a folder) without companions and with a new random id.
    FileItem(FileURL url, bool included, Date created, Date modified, std::int64_t size,
        std::int64_t order);

    /// The url's last path component.
    std::string name() const;
    /// The folder that holds the item.
    FileURL folderURL() const;
    /// The text after the last "." of the name when that dot is not the first character;
    /// empty for folders and for names without such a dot. Case is kept.
    std::string ext() const;
    /// The name without "." and `ext` when `ext` is not empty, else the whole name.
    std::string baseName() const;

    friend bool operator==(const FileItem&, const FileItem&) = default;
};

/// The extension of a last path component by the item rule (no folder check).
std::string extensionOfName(std::string_view name);
/// The base name of a last path component by the item rule (no folder check).
std::string baseNameOfName(std::string_view name);

/// The outcome of planning one item. `conflict` and `invalid` carry a user-facing reason.
struct RenameStatus {
    enum class Kind { conflict, invalid, unchanged, ready, skipped, needsAccess };

    Kind kind = Kind::unchanged;
    std::string reason;

    static RenameStatus conflict(std::string reason)
    {
        return { Kind::conflict, std::move(reason) };
    }
    static RenameStatus invalid(std::string reason) { return { Kind::invalid, std::move(reason) }; }
    static RenameStatus unchanged() { return { Kind::unchanged, {} }; }
    static RenameStatus ready() { return { Kind::ready, {} }; }
    static RenameStatus skipped() { return { Kind::skipped, {} }; }
    static RenameStatus needsAccess() { return { Kind::needsAccess, {} }; }

    /// True for `conflict` and `invalid`.
    bool isProblem() const { return kind == Kind::conflict || kind == Kind::invalid; }

    friend bool operator==(const RenameStatus&, const RenameStatus&) = default;
};

/// The result of planning one item: its new name, status and destination.
struct PreviewRow {
    FileItem item;
    std::string newName;
    RenameStatus status;
    FileURL targetURL;

    /// Without a target, the target is the item's folder joined with `newName`.
    PreviewRow(FileItem item, std::string newName, RenameStatus status,
        std::optional<FileURL> targetURL = std::nullopt);

    const Uuid& id() const { return item.id; }
};

namespace RenameCoreVersion {
    inline constexpr int current = 1;
}

} // namespace sorvik

template <> struct std::hash<sorvik::FileItem> {
    std::size_t operator()(const sorvik::FileItem& item) const noexcept;
};
