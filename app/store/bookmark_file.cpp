#include "app/store/bookmark_file.h"

#include "app/store/file_error.h"
#include "app/store/stored_file.h"
#include "engine/model/text.h"

#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>

#include <plist/plist.h>

namespace sorvik::BookmarkFile {

namespace {

    struct PlistDeleter {
        void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
    };
    using Plist = std::unique_ptr<void, PlistDeleter>;

    struct FreeDeleter {
        void operator()(void* memory) const { std::free(memory); }
    };

    FileError corrupt()
    {
        return FileError(FileError::Code::fileReadCorruptFile, {},
            "The data couldn\u2019t be read because it isn\u2019t in the correct format.");
    }

    /// A big-endian unsigned number of `size` bytes at `at`; the caller checked the bounds.
    std::uint64_t bigEndian(std::string_view bytes, std::size_t at, std::size_t size)
    {
        std::uint64_t value = 0;
        for (std::size_t index = 0; index < size; ++index)
            value = (value << 8) | static_cast<unsigned char>(bytes[at + index]);
        return value;
    }

    /// Checks that `bytes` is a binary property list of the one shape the file has: a root
    /// dictionary whose keys are strings and whose values are data. The property-list library
    /// builds and frees nested values by recursion, so a list nested deeper than that shape
    /// (damage, or a file made to crash it) must never reach it. Only the trailer, the offset
    /// table and the root's own references are read; the library checks the rest.
    bool hasGrantsShape(std::string_view bytes)
    {
        constexpr std::string_view magic = "bplist00";
        constexpr std::size_t trailerSize = 32;
        if (bytes.size() < magic.size() + 1 + trailerSize || !bytes.starts_with(magic))
            return false;
        const std::size_t trailer = bytes.size() - trailerSize;
        const std::size_t offsetSize = static_cast<unsigned char>(bytes[trailer + 6]);
        const std::size_t referenceSize = static_cast<unsigned char>(bytes[trailer + 7]);
        const std::uint64_t objectCount = bigEndian(bytes, trailer + 8, 8);
        const std::uint64_t rootObject = bigEndian(bytes, trailer + 16, 8);
        const std::uint64_t tableStart = bigEndian(bytes, trailer + 24, 8);
        if (offsetSize < 1 || offsetSize > 8 || referenceSize < 1 || referenceSize > 8)
            return false;
        if (objectCount == 0 || rootObject >= objectCount || tableStart < magic.size()
            || tableStart > trailer || objectCount > (trailer - tableStart) / offsetSize)
            return false;

        // Where object `index` begins, inside the object area (after the magic, before the
        // offset table).
        auto objectAt = [&](std::uint64_t index) -> std::optional<std::size_t> {
            if (index >= objectCount)
                return std::nullopt;
            auto offset = bigEndian(bytes, tableStart + index * offsetSize, offsetSize);
            if (offset < magic.size() || offset >= tableStart)
                return std::nullopt;
            return static_cast<std::size_t>(offset);
        };
        constexpr int data = 0x4, asciiString = 0x5, unicodeString = 0x6;
        auto typeAt = [&](std::uint64_t index) -> int {
            auto at = objectAt(index);
            return at ? static_cast<unsigned char>(bytes[*at]) >> 4 : -1;
        };

        // How many characters or entries the object at `at` holds: the low four bits of its
        // marker, or, when they are all set, the integer object of 1, 2, 4 or 8 bytes that
        // follows; and where the object's own content begins.
        auto countAt = [&](std::size_t at) -> std::optional<std::pair<std::uint64_t, std::size_t>> {
            std::uint64_t count = static_cast<unsigned char>(bytes[at]) & 0x0F;
            std::size_t content = at + 1;
            if (count != 0x0F)
                return std::pair(count, content);
            if (content >= tableStart)
                return std::nullopt;
            const auto countMarker = static_cast<unsigned char>(bytes[content]);
            const std::size_t countSize = std::size_t { 1 } << (countMarker & 0x0F);
            if (countMarker >> 4 != 0x1 || countSize > 8 || content + 1 + countSize > tableStart)
                return std::nullopt;
            return std::pair(bigEndian(bytes, content + 1, countSize), content + 1 + countSize);
        };

        // A key is a path, and no path holds a zero character: the library asserts (and so
        // aborts) on a key that does, so such a key is damage it must not see either.
        auto isPathKey = [&](std::uint64_t index) {
            auto at = objectAt(index);
            if (!at)
                return false;
            const auto marker = static_cast<unsigned char>(bytes[*at]);
            const int type = marker >> 4;
            if (type != asciiString && type != unicodeString)
                return false;
            auto counted = countAt(*at);
            if (!counted)
                return false;
            const auto [length, content] = *counted;
            const std::size_t unit = type == unicodeString ? 2 : 1;
            if (length > (tableStart - content) / unit)
                return false;
            for (std::uint64_t character = 0; character < length; ++character) {
                if (bigEndian(bytes, content + character * unit, unit) == 0)
                    return false;
            }
            return true;
        };

        auto root = objectAt(rootObject);
        if (!root)
            return false;
        const auto marker = static_cast<unsigned char>(bytes[*root]);
        if (marker >> 4 != 0xD)
            return false;
        auto counted = countAt(*root);
        if (!counted)
            return false;
        const auto [count, references] = *counted;
        if (count > (tableStart - references) / (2 * referenceSize))
            return false;
        for (std::uint64_t entry = 0; entry < count; ++entry) {
            auto key = bigEndian(bytes, references + entry * referenceSize, referenceSize);
            auto value = typeAt(
                bigEndian(bytes, references + (count + entry) * referenceSize, referenceSize));
            if (!isPathKey(key) || value != data)
                return false;
        }
        return true;
    }

} // namespace

std::string encode(const BookmarkMap& bookmarks)
{
    Plist root(plist_new_dict());
    for (const auto& [path, data] : bookmarks) {
        if (!text::isValidUtf8(path))
            throw FileError(FileError::Code::fileWriteUnknown, path,
                "The folder path \u201C" + text::fromUnicode(text::toUnicode(path))
                    + "\u201D cannot be stored because it is not valid UTF-8.");
        plist_dict_set_item(root.get(), path.c_str(),
            plist_new_data(reinterpret_cast<const char*>(data.data()), data.size()));
    }
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(root.get(), &bytes, &length);
    std::unique_ptr<char, FreeDeleter> owned(bytes);
    if (!bytes)
        throw Error(
            "The data couldn\u2019t be written because it isn\u2019t in the correct format.");
    return std::string(bytes, length);
}

BookmarkMap decode(std::string_view bytes)
{
    // The file is written binary and read only so: an XML parser would recurse on whatever
    // nesting the text holds.
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max() || !hasGrantsShape(bytes))
        throw corrupt();
    plist_t parsed = nullptr;
    plist_from_bin(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &parsed);
    Plist root(parsed);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT)
        throw corrupt();

    BookmarkMap bookmarks;
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(root.get(), &iterator);
    std::unique_ptr<void, FreeDeleter> ownedIterator(iterator);
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(root.get(), iterator, &key, &value);
        std::unique_ptr<char, FreeDeleter> ownedKey(key);
        if (!value)
            break;
        if (!key || plist_get_node_type(value) != PLIST_DATA)
            throw corrupt();
        char* data = nullptr;
        std::uint64_t length = 0;
        plist_get_data_val(value, &data, &length);
        std::unique_ptr<char, FreeDeleter> ownedData(data);
        auto* begin = reinterpret_cast<const std::uint8_t*>(data);
        bookmarks[key] = BookmarkData(begin, begin + (data ? length : 0));
    }
    return bookmarks;
}

BookmarkMap read(const std::filesystem::path& path)
{
    auto bytes = StoredFile::read(path);
    try {
        return decode(bytes);
    } catch (const FileError&) {
        throw FileError::withCode(FileError::Code::fileReadCorruptFile, path.string());
    }
}

} // namespace sorvik::BookmarkFile
