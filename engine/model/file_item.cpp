#include "engine/model/file_item.h"

#include "engine/model/text.h"

namespace sorvik {

FileItem::FileItem(FileURL url_, bool included_, Date created_, Date modified_, std::int64_t size_,
    std::int64_t order_)
    : url(std::move(url_))
    , included(included_)
    , created(created_)
    , modified(modified_)
    , size(size_)
    , order(order_)
{
}

std::string FileItem::name() const { return url.lastPathComponent(); }

FileURL FileItem::folderURL() const { return url.deletingLastPathComponent(); }

std::string FileItem::ext() const
{
    if (isDirectory)
        return {};
    return extensionOfName(name());
}

std::string FileItem::baseName() const
{
    if (isDirectory)
        return name();
    return baseNameOfName(name());
}

namespace {

    /// Byte offset of the last character that is exactly ".", when it is not the first.
    std::optional<std::size_t> extensionDot(std::string_view name)
    {
        auto dot = name.rfind('.');
        if (dot == std::string_view::npos || dot == 0)
            return std::nullopt;
        if (text::isAscii(name))
            return dot;
        // A "." followed by a combining mark is part of a larger character, not a dot; names
        // that are not UTF-8 are taken byte by byte, since no character rule applies to them.
        if (!text::isValidUtf8(name))
            return dot;
        auto characters = text::characters(name);
        for (std::size_t index = characters.size(); index-- > 0;) {
            if (characters[index] == ".") {
                if (index == 0)
                    return std::nullopt;
                return static_cast<std::size_t>(characters[index].data() - name.data());
            }
        }
        return std::nullopt;
    }

} // namespace

std::string extensionOfName(std::string_view name)
{
    auto dot = extensionDot(name);
    if (!dot)
        return {};
    return std::string(name.substr(*dot + 1));
}

std::string baseNameOfName(std::string_view name)
{
    auto dot = extensionDot(name);
    if (!dot || *dot + 1 == name.size())
        return std::string(name);
    return std::string(name.substr(0, *dot));
}

PreviewRow::PreviewRow(
    FileItem item_, std::string newName_, RenameStatus status_, std::optional<FileURL> targetURL_)
    : item(std::move(item_))
    , newName(std::move(newName_))
    , status(std::move(status_))
    , targetURL(targetURL_ ? std::move(*targetURL_) : item.folderURL().appending(newName))
{
}

} // namespace sorvik

std::size_t std::hash<sorvik::FileItem>::operator()(const sorvik::FileItem& item) const noexcept
{
    std::size_t seed = std::hash<sorvik::Uuid> {}(item.id);
    auto combine = [&seed](std::size_t value) {
        seed ^= value + 0x9E3779B97F4A7C15ULL + (seed << 6) + (seed >> 2);
    };
    combine(std::hash<sorvik::FileURL> {}(item.url));
    combine(std::hash<bool> {}(item.included));
    combine(std::hash<bool> {}(item.isDirectory));
    combine(item.pairGroup ? 1 : 0);
    if (item.pairGroup)
        combine(std::hash<sorvik::Uuid> {}(*item.pairGroup));
    combine(std::hash<double> {}(item.created.seconds));
    combine(std::hash<double> {}(item.modified.seconds));
    combine(std::hash<std::int64_t> {}(item.size));
    combine(std::hash<std::int64_t> {}(item.order));
    return seed;
}
