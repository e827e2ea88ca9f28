#include "app/store/bookmark.h"
#include "app/store/bookmark_file.h"

#include "app/store/file_error.h"
#include "tests/support/temporary_folder.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <plist/plist.h>

namespace sorvik {
namespace {

    using testing::TemporaryFolder;

    FileURL folderAt(const std::filesystem::path& path) { return FileURL(path.string(), true); }

    FileError::Code resolveFailure(const BookmarkData& data)
    {
        try {
            Bookmark::resolve(data);
        } catch (const FileError& error) {
            return error.code();
        }
        ADD_FAILURE() << "resolving succeeded";
        return FileError::Code::fileReadUnknown;
    }

    TEST(Bookmark, UnchangedFolderResolvesToItselfAndRecordsItsPath)
    {
        TemporaryFolder temporary;
        auto photos = folderAt(temporary.createFolder("Photos"));
        auto data = Bookmark::create(photos);
        EXPECT_EQ(Bookmark::resolve(data), (ResolvedBookmark { photos, false }));
        EXPECT_EQ(Bookmark::recordedPath(data), photos.path);
    }

    TEST(Bookmark, FolderMovedNearbyIsFoundAndStale)
    {
        TemporaryFolder temporary;
        auto old = temporary.createFolder("a/Photos");
        temporary.createFolder("a/b/c");
        auto data = Bookmark::create(folderAt(old));

        std::filesystem::rename(old, temporary / "a/Renamed");
        EXPECT_EQ(Bookmark::resolve(data),
            (ResolvedBookmark { folderAt(temporary / "a/Renamed"), true }));

        std::filesystem::rename(temporary / "a/Renamed", temporary / "a/b/Deeper");
        EXPECT_EQ(Bookmark::resolve(data),
            (ResolvedBookmark { folderAt(temporary / "a/b/Deeper"), true }));
    }

    TEST(Bookmark, ReplacedFolderResolvesToTheNewOneAsStale)
    {
        TemporaryFolder temporary;
        auto photos = temporary.createFolder("far/away/Photos");
        auto data = Bookmark::create(folderAt(photos));
        // The replacement exists while the old folder does, so it cannot share its identity.
        auto replacement = temporary.createFolder("elsewhere/x/y/New");
        std::filesystem::remove(photos);
        std::filesystem::rename(replacement, photos);
        EXPECT_EQ(Bookmark::resolve(data), (ResolvedBookmark { folderAt(photos), true }));
    }

    TEST(Bookmark, DeletedFolderFailsToResolve)
    {
        TemporaryFolder temporary;
        auto photos = temporary.createFolder("Photos");
        auto data = Bookmark::create(folderAt(photos));
        std::filesystem::remove(photos);
        EXPECT_EQ(resolveFailure(data), FileError::Code::fileNoSuchFile);

        // A file put in its place is no folder either.
        temporary.createFile("Photos", "x");
        EXPECT_EQ(resolveFailure(data), FileError::Code::fileNoSuchFile);
    }

    TEST(Bookmark, LinkedPathIsKeptAsGiven)
    {
        TemporaryFolder temporary;
        auto real = temporary.createFolder("real");
        std::filesystem::create_directory_symlink(real, temporary / "link");
        auto linked = folderAt(temporary / "link");
        EXPECT_EQ(
            Bookmark::resolve(Bookmark::create(linked)), (ResolvedBookmark { linked, false }));
    }

    TEST(Bookmark, CreatingFailsForAMissingFolder)
    {
        TemporaryFolder temporary;
        EXPECT_THROW(Bookmark::create(folderAt(temporary / "missing")), FileError);
    }

    TEST(Bookmark, DataThatIsNoBookmarkIsRefused)
    {
        TemporaryFolder temporary;
        auto valid = Bookmark::create(folderAt(temporary.createFolder("Photos")));
        auto truncated = valid;
        truncated.pop_back();
        auto longer = valid;
        longer.push_back('x');
        auto wrongMagic = valid;
        wrongMagic[0] = 'X';
        auto wrongVersion = valid;
        wrongVersion[4] = 2;
        auto relative = valid;
        relative[41] = 'r';
        for (const auto& data : { BookmarkData {}, BookmarkData(41, 0), truncated, longer,
                 wrongMagic, wrongVersion, relative }) {
            EXPECT_EQ(resolveFailure(data), FileError::Code::fileReadCorruptFile);
            EXPECT_EQ(Bookmark::recordedPath(data), std::nullopt);
        }
    }

    TEST(BookmarkFile, BinaryPropertyListRoundTrips)
    {
        BookmarkMap bookmarks = {
            { "/home/u/Photos", { 'S', 'V', 0, 1, 255 } },
            { "/home/u/\xC3\xA9t\xC3\xA9 2024", { 0 } },
            { "/", {} },
        };
        auto bytes = BookmarkFile::encode(bookmarks);
        ASSERT_GE(bytes.size(), 8U);
        EXPECT_EQ(bytes.substr(0, 8), "bplist00");
        EXPECT_EQ(BookmarkFile::decode(bytes), bookmarks);

        // Read back by the property-list library itself: a dictionary of data values.
        plist_t root = nullptr;
        plist_from_bin(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(plist_get_node_type(root), PLIST_DICT);
        EXPECT_EQ(plist_dict_get_size(root), 3U);
        plist_t value = plist_dict_get_item(root, "/home/u/Photos");
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(plist_get_node_type(value), PLIST_DATA);
        plist_free(root);

        EXPECT_EQ(BookmarkFile::decode(BookmarkFile::encode({})), BookmarkMap {});
    }

    /// A binary property list made by hand: objects in order, each given as its bytes with
    /// 4-byte references, the root being object 0.
    std::string binaryList(const std::vector<std::string>& objects)
    {
        auto bigEndian = [](std::string& out, std::uint64_t value, int size) {
            for (int shift = (size - 1) * 8; shift >= 0; shift -= 8)
                out.push_back(static_cast<char>((value >> shift) & 0xFF));
        };
        std::string bytes = "bplist00";
        std::vector<std::uint64_t> offsets;
        for (const auto& object : objects) {
            offsets.push_back(bytes.size());
            bytes += object;
        }
        std::uint64_t table = bytes.size();
        for (auto offset : offsets)
            bigEndian(bytes, offset, 4);
        bytes.append(6, '\0');
        bytes.push_back(4); // offset size
        bytes.push_back(4); // reference size
        bigEndian(bytes, objects.size(), 8);
        bigEndian(bytes, 0, 8);
        bigEndian(bytes, table, 8);
        return bytes;
    }

    std::string reference(std::uint32_t index)
    {
        return { static_cast<char>(index >> 24), static_cast<char>(index >> 16),
            static_cast<char>(index >> 8), static_cast<char>(index) };
    }

    void expectRefusedAsDamage(const std::string& bytes, const std::string& label)
    {
        try {
            BookmarkFile::decode(bytes);
            ADD_FAILURE() << label << " decoded";
        } catch (const FileError& error) {
            EXPECT_EQ(error.code(), FileError::Code::fileReadCorruptFile) << label;
        }
    }

    TEST(BookmarkFile, HandMadeBinaryListOfTheFilesShapeIsRead)
    {
        // { "/a": <00 01> }
        auto bytes = binaryList(
            { "\xD1" + reference(1) + reference(2), "\x52/a", std::string("\x42\x00\x01", 3) });
        EXPECT_EQ(BookmarkFile::decode(bytes), (BookmarkMap { { "/a", { 0, 1 } } }));
    }

    /// No path holds a zero character, and the library aborts the program on a key that does:
    /// such a file is damage, refused like any other; text keys without one are read.
    TEST(BookmarkFile, KeysWithAZeroCharacterAreRefusedBeforeTheLibrarySeesThem)
    {
        const std::string data("\x42\x00\x01", 3);
        auto withKey = [&](const std::string& key) {
            return binaryList({ "\xD1" + reference(1) + reference(2), key, data });
        };
        const std::pair<const char*, std::string> refused[] = {
            { "ASCII key with a zero byte", withKey(std::string("\x53/\0a", 4)) },
            { "UTF-16 key with a zero unit", withKey(std::string("\x62\x00/\x00\x00", 5)) },
            { "long ASCII key with a zero byte",
                withKey("\x5F\x10\x10/" + std::string(7, 'a') + std::string(1, '\0')
                    + std::string(7, 'b')) },
            { "key running into the offset table", withKey("\x5F\x10\x7F/a") },
            { "key with a bad length marker", withKey("\x5F\x20\x02/a") },
        };
        for (const auto& [label, bytes] : refused)
            expectRefusedAsDamage(bytes, label);
        EXPECT_EQ(BookmarkFile::decode(withKey(std::string("\x62\x00/\x00\xE9", 5))),
            (BookmarkMap { { "/\xC3\xA9", { 0, 1 } } }));
        EXPECT_EQ(BookmarkFile::decode(withKey("\x5F\x10\x10/" + std::string(15, 'a'))),
            (BookmarkMap { { "/" + std::string(15, 'a'), { 0, 1 } } }));
    }

    /// Nesting far deeper than the file's shape overflowed the stack inside the library
    /// (hundreds of thousands of arrays in a few megabytes): it is refused as damage first.
    TEST(BookmarkFile, DeepNestingIsRefusedBeforeTheLibrarySeesIt)
    {
        constexpr std::uint32_t depth = 200'000;
        std::vector<std::string> nested { "\xD1" + reference(1) + reference(2), "\x52/a" };
        for (std::uint32_t level = 0; level < depth; ++level)
            nested.push_back("\xA1" + reference(3 + level));
        nested.push_back("\xA0");
        std::vector<std::string> deepRoot;
        for (std::uint32_t level = 0; level < depth; ++level)
            deepRoot.push_back("\xA1" + reference(level + 1));
        deepRoot.push_back("\xA0");

        std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>/a</key>)";
        for (std::uint32_t level = 0; level < depth; ++level)
            xml += "<array>";
        for (std::uint32_t level = 0; level < depth; ++level)
            xml += "</array>";
        xml += "</dict></plist>";

        const std::pair<const char*, std::string> cases[] = {
            { "binary, nested under a key", binaryList(nested) },
            { "binary, nested from the root", binaryList(deepRoot) },
            { "XML", xml },
        };
        for (const auto& [label, bytes] : cases)
            expectRefusedAsDamage(bytes, label);
    }

    /// The file is written binary: an XML list in its place is not what sorvik wrote.
    TEST(BookmarkFile, XmlPropertyListIsRefused)
    {
        std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict><key>/a</key><data>AAE=</data></dict></plist>)";
        EXPECT_THROW(BookmarkFile::decode(xml), FileError);
    }

    TEST(BookmarkFile, AnythingButADictionaryOfDataIsRefused)
    {
        auto encoded = [](plist_t root) {
            char* bytes = nullptr;
            std::uint32_t length = 0;
            plist_to_bin(root, &bytes, &length);
            std::string result(bytes, length);
            plist_to_bin_free(bytes);
            plist_free(root);
            return result;
        };
        plist_t withString = plist_new_dict();
        plist_dict_set_item(withString, "/a", plist_new_string("not data"));
        plist_t array = plist_new_array();
        for (const std::string& bytes : { std::string(), std::string("bplist00garbage"),
                 std::string("not a property list"), encoded(withString), encoded(array) })
            expectRefusedAsDamage(bytes, std::to_string(bytes.size()) + " bytes");
    }

    TEST(BookmarkFile, PathsThatAreNotUtf8CannotBeStored)
    {
        EXPECT_THROW(BookmarkFile::encode({ { "/a/\xFF", { 1 } } }), FileError);
    }

} // namespace
} // namespace sorvik
