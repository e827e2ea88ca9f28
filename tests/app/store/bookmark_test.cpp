#include "app/store/bookmark.h"
#include "app/store/bookmark_file.h"

#include "app/store/file_error.h"
#include "tests/support/temporary_folder.h"

#include <filesystem>

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

    TEST(BookmarkFile, XmlPropertyListIsReadToo)
    {
        std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict><key>/a</key><data>AAE=</data></dict></plist>)";
        EXPECT_EQ(BookmarkFile::decode(xml), (BookmarkMap { { "/a", { 0, 1 } } }));
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
                 std::string("not a property list"), encoded(withString), encoded(array) }) {
            try {
                BookmarkFile::decode(bytes);
                ADD_FAILURE() << "decoded " << bytes.size() << " bytes";
            } catch (const FileError& error) {
                EXPECT_EQ(error.code(), FileError::Code::fileReadCorruptFile);
            }
        }
    }

    TEST(BookmarkFile, PathsThatAreNotUtf8CannotBeStored)
    {
        EXPECT_THROW(BookmarkFile::encode({ { "/a/\xFF", { 1 } } }), FileError);
    }

} // namespace
} // namespace sorvik
