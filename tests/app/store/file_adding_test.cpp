#include "app/store/file_adding.h"

#include "tests/support/temporary_folder.h"

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::TemporaryFolder;

    std::vector<std::string> paths(const std::vector<FileItem>& items)
    {
        std::vector<std::string> result;
        for (const auto& item : items)
            result.push_back(item.url.path);
        return result;
    }

    TEST(FileAdding, FolderFilesInFileManagerOrderAfterTheGivenFiles)
    {
        TemporaryFolder files;
        files.createFile("f/b 10.txt");
        files.createFile("f/b 2.txt");
        files.createFile("f/.DS_Store");
        files.createFile("loose.txt", "abc");
        FileAdding::Request request;
        request.urls
            = { FileURL((files / "loose.txt").string()), FileURL((files / "f").string(), true) };
        request.options.includeHidden = true;
        auto found = FileAdding::collect(request);
        ASSERT_TRUE(found);
        EXPECT_EQ(paths(found->items),
            (std::vector<std::string> { (files / "loose.txt").string(),
                (files / "f/b 2.txt").string(), (files / "f/b 10.txt").string() }));
        EXPECT_EQ(found->items[0].size, 3);
        EXPECT_EQ(found->items[2].order, 2);
        EXPECT_EQ(found->scannedFolders,
            (std::vector<FileURL> { FileURL((files / "f").string(), true) }));
    }

    TEST(FileAdding, ListedPathsAndRepeatsArePassedOver)
    {
        TemporaryFolder files;
        files.createFile("a.txt");
        files.createFile("b.txt");
        FileAdding::Request request;
        auto listed = std::make_shared<std::vector<FileItem>>();
        listed->push_back(FileItem(FileURL((files / "./a.txt").string()), true, {}, {}, 0, 0));
        request.listed = listed;
        request.urls = { FileURL((files / "a.txt").string()), FileURL((files / "b.txt").string()),
            FileURL((files / "b.txt").string() + "/") };
        auto found = FileAdding::collect(request);
        ASSERT_TRUE(found);
        EXPECT_EQ(paths(found->items), std::vector<std::string> { (files / "b.txt").string() });
    }

    TEST(FileAdding, RenamingFoldersListsTheFolderWithoutScanningIt)
    {
        TemporaryFolder files;
        files.createFile("trip/a.jpg");
        FileAdding::Request request;
        request.urls = { FileURL((files / "trip").string(), true) };
        request.renameFolders = true;
        auto found = FileAdding::collect(request);
        ASSERT_TRUE(found);
        EXPECT_TRUE(found->scannedFolders.empty());
        ASSERT_EQ(found->items.size(), 1u);
        EXPECT_TRUE(found->items[0].isDirectory);
    }

    TEST(FileAdding, AStoppedRequestGivesNothing)
    {
        TemporaryFolder files;
        files.createFile("f/a.txt");
        FileAdding::Request request;
        request.urls = { FileURL((files / "f").string(), true) };
        std::stop_source stop;
        stop.request_stop();
        EXPECT_FALSE(FileAdding::collect(request, stop.get_token()));
        EXPECT_TRUE(FileScan::regularFiles(request.urls[0], {}, stop.get_token()).empty());
    }

    TEST(FileAdding, WithoutListedDropsWhatTheListHolds)
    {
        std::vector<FileItem> found { FileItem(FileURL("/x/a"), true, {}, {}, 0, 0),
            FileItem(FileURL("/x/b"), true, {}, {}, 0, 1) };
        std::vector<FileItem> listed { FileItem(FileURL("/x/./b"), true, {}, {}, 0, 0) };
        EXPECT_EQ(
            paths(FileAdding::withoutListed(found, listed)), std::vector<std::string> { "/x/a" });
    }

    TEST(FileAdding, DSStoreIsTheWholeLastComponent)
    {
        EXPECT_TRUE(FileAdding::isDSStore("/a/.DS_Store"));
        EXPECT_TRUE(FileAdding::isDSStore(".DS_Store"));
        EXPECT_FALSE(FileAdding::isDSStore("/a/x.DS_Store"));
        EXPECT_FALSE(FileAdding::isDSStore("/a/.DS_Store2"));
    }

} // namespace
} // namespace sorvik
