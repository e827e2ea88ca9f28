#include "app/store/bookmark_file.h"

#include "app/store/file_error.h"
#include "app/store/stored_file.h"
#include "engine/model/text.h"

#include <cstdlib>
#include <limits>
#include <memory>

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
    if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max())
        throw corrupt();
    plist_t parsed = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &parsed);
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
