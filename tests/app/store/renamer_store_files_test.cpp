#include "app/store/renamer_store.h"

#include "app/store/file_error.h"
#include "app/store/file_scan.h"
#include "tests/app/store/fake_dialogs.h"
#include "tests/app/store/store_files_fixture.h"
#include "tests/app/store/store_test_support.h"
#include "tests/support/temporary_folder.h"

#include <algorithm>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sorvik {
namespace {

    using testing::replaceRule;
    using testing::TemporaryFolder;
    using testing::waitUntil;

    using StoreFiles = testing::StoreFilesFixture;

    TEST_F(StoreFiles, ChoosingFilesAddsWhatTheDialogReturns)
    {
        files.createFile("picked/a.txt");
        files.createFile("picked/b.txt");
        files.createFile("single.txt");
        testing::FakeDialogs dialogs;
        store.setDialogs(&dialogs);

        // Cancelled: nothing is added and no preview is asked for.
        auto revision = store.revision();
        store.chooseFiles();
        ASSERT_EQ(dialogs.addRequests.size(), 1u);
        EXPECT_EQ(dialogs.addRequests[0],
            (std::pair<std::string, std::string> {
                "Add", "Choose files, or a folder to add everything inside it." }));
        EXPECT_TRUE(store.items().empty());
        EXPECT_EQ(store.revision(), revision);

        dialogs.addAnswer = std::vector<FileURL> { folder("picked"), url("single.txt") };
        store.chooseFiles();
        ASSERT_TRUE(waitUntil([&] { return !store.isAdding(); }));
        EXPECT_EQ(listedNames(),
            (std::vector<std::string> { "picked/a.txt", "picked/b.txt", "single.txt" }));

        // Without dialogs nothing is asked.
        store.setDialogs(nullptr);
        store.chooseFiles();
        EXPECT_EQ(dialogs.addRequests.size(), 2u);
    }

    TEST_F(StoreFiles, SameFileTwiceIsListedOnce)
    {
        files.createFile("a.txt", "abc");
        ASSERT_TRUE(testing::addFilesAndWait(store, { url("a.txt") }));
        EXPECT_FALSE(store.toast());
        ASSERT_TRUE(testing::addFilesAndWait(
            store, { url("a.txt"), FileURL(files.path().string() + "/./a.txt") }));
        EXPECT_EQ(store.items().size(), 1u);
        EXPECT_EQ(store.toast(), "Nothing new to add");
    }

    TEST_F(StoreFiles, FileThenItsFolderAddsNothingNew)
    {
        files.createFile("a.txt");
        ASSERT_TRUE(testing::addFilesAndWait(store, { url("a.txt") }));
        ASSERT_TRUE(testing::addFilesAndWait(store, { folder("") }));
        EXPECT_EQ(store.items().size(), 1u);
        EXPECT_EQ(store.toast(), "Nothing new to add");
    }

    TEST_F(StoreFiles, FolderWithOnlyDSStoreAddsNothing)
    {
        files.createFile("only/.DS_Store");
        store.setIncludeHidden(true);
        ASSERT_TRUE(testing::addFilesAndWait(store, { folder("only") }));
        EXPECT_TRUE(store.items().empty());
        EXPECT_EQ(store.toast(), "Nothing new to add");
        files.createFile(".DS_Store");
        ASSERT_TRUE(testing::addFilesAndWait(store, { url(".DS_Store") }));
        EXPECT_TRUE(store.items().empty());
    }

    TEST_F(StoreFiles, EmptyCallShowsNothingButPlansAgain)
    {
        auto revision = store.revision();
        ASSERT_TRUE(testing::addFilesAndWait(store, {}));
        EXPECT_FALSE(store.toast());
        EXPECT_EQ(store.revision(), revision + 1);
    }

    TEST_F(StoreFiles, RenameFoldersAddsTheFolderItself)
    {
        files.createFile("trip/a.jpg");
        store.setRenameFolders(true);
        ASSERT_TRUE(testing::addFilesAndWait(store, { folder("trip") }));
        ASSERT_EQ(store.items().size(), 1u);
        EXPECT_TRUE(store.items()[0].isDirectory);
        EXPECT_EQ(store.items()[0].size, 0);
        EXPECT_EQ(store.items()[0].ext(), "");
        EXPECT_TRUE(store.folderAccess().folders().empty());

        store.setRenameFolders(false);
        files.createFile("other/b.jpg");
        ASSERT_TRUE(testing::addFilesAndWait(store, { folder("other") }));
        EXPECT_EQ(listedNames(), (std::vector<std::string> { "trip", "other/b.jpg" }));
    }

    TEST_F(StoreFiles, SubfoldersAreListedOnlyWhenAsked)
    {
        files.createFile("top/file10.txt");
        files.createFile("top/file2.txt");
        files.createFile("top/inner/deep.txt");
        files.createFile("top/inner/more/deeper.txt");
        ASSERT_TRUE(testing::addFilesAndWait(store, { folder("top") }));
        EXPECT_EQ(listedNames(), (std::vector<std::string> { "top/file2.txt", "top/file10.txt" }));

        store.setIncludeSubfolders(true);
        ASSERT_TRUE(testing::addFilesAndWait(store, { folder("top") }));
        EXPECT_EQ(listedNames(),
            (std::vector<std::string> { "top/file2.txt", "top/file10.txt", "top/inner/deep.txt",
                "top/inner/more/deeper.txt" }));
    }

    TEST_F(StoreFiles, OrderNumbersFollowTheFileManagerOrderAndNeverRepeat)
    {
        files.createFile("f/IMG 10.jpg");
        files.createFile("f/IMG 2.jpg");
        files.createFile("f/img 3.jpg");
        ASSERT_TRUE(testing::addFilesAndWait(store, { folder("f") }));
        EXPECT_EQ(listedNames(),
            (std::vector<std::string> { "f/IMG 2.jpg", "f/img 3.jpg", "f/IMG 10.jpg" }));
        std::vector<std::int64_t> orders;
        for (const auto& item : store.items())
            orders.push_back(item.order);
        EXPECT_EQ(orders, (std::vector<std::int64_t> { 0, 1, 2 }));

        store.removeItems({ store.items()[2].id });
        files.createFile("g.txt");
        ASSERT_TRUE(testing::addFilesAndWait(store, { url("g.txt") }));
        EXPECT_EQ(store.items().back().order, 3);
        EXPECT_EQ(store.nextOrder(), 4);
    }

    TEST_F(StoreFiles, HiddenFilesInsideFoldersOnlyWhenAsked)
    {
        files.createFile("h/visible.txt");
        files.createFile("h/.hidden.txt");
        files.createFile("h/.secret/inside.txt");
        store.setIncludeSubfolders(true);
        ASSERT_TRUE(testing::addFilesAndWait(store, { folder("h") }));
        EXPECT_EQ(listedNames(), std::vector<std::string> { "h/visible.txt" });

        // Dropped directly, a hidden file is added.
        ASSERT_TRUE(testing::addFilesAndWait(store, { url("h/.hidden.txt") }));
        EXPECT_EQ(listedNames(), (std::vector<std::string> { "h/visible.txt", "h/.hidden.txt" }));

        store.setIncludeHidden(true);
        ASSERT_TRUE(testing::addFilesAndWait(store, { folder("h") }));
        EXPECT_EQ(listedNames(),
            (std::vector<std::string> {
                "h/visible.txt", "h/.hidden.txt", "h/.secret/inside.txt" }));
    }

    TEST_F(StoreFiles, DroppedHiddenFolderIsScanned)
    {
        files.createFile(".config/visible.txt");
        files.createFile(".config/.inner.txt");
        ASSERT_TRUE(testing::addFilesAndWait(store, { folder(".config") }));
        EXPECT_EQ(listedNames(), std::vector<std::string> { ".config/visible.txt" });
    }

    TEST_F(StoreFiles, LinksInsideFoldersArePassedOver)
    {
        files.createFile("l/real.txt");
        files.createFolder("elsewhere");
        files.createFile("elsewhere/x.txt");
        std::filesystem::create_symlink(files / "l/real.txt", files / "l/link.txt");
        std::filesystem::create_directory_symlink(files / "elsewhere", files / "l/dir");
        store.setIncludeSubfolders(true);
        ASSERT_TRUE(testing::addFilesAndWait(store, { folder("l") }));
        EXPECT_EQ(listedNames(), std::vector<std::string> { "l/real.txt" });
    }

    TEST_F(StoreFiles, DroppedFolderIsGranted)
    {
        files.createFile("granted/a.txt");
        ASSERT_TRUE(testing::addFilesAndWait(store, { folder("granted") }));
        ASSERT_EQ(store.folderAccess().folders().size(), 1u);
        EXPECT_EQ(store.folderAccess().folders()[0].path, (files / "granted").string());
    }

    TEST_F(StoreFiles, NewItemsCarryTheirFilesValues)
    {
        files.createFile("v/a.txt", "12345", 1'700'000'000.5);
        ASSERT_TRUE(testing::addFilesAndWait(store, { folder("v") }));
        ASSERT_EQ(store.items().size(), 1u);
        const auto& item = store.items()[0];
        EXPECT_TRUE(item.included);
        EXPECT_FALSE(item.isDirectory);
        EXPECT_FALSE(item.pairGroup);
        EXPECT_EQ(item.size, 5);
        EXPECT_EQ(item.modified, Date::fromUnixSeconds(1'700'000'000.5));
        // The birth time where the file system keeps one, else the modification time.
        EXPECT_GE(item.created.seconds, item.modified.seconds - 1);
        EXPECT_NE(item.created, Date::distantPast());
    }

    TEST_F(StoreFiles, PathsWhereNothingIsAreLeftOut)
    {
        files.createFile("here.txt");
        files.createFile("plain");
        // Gone, below a file, and below a folder that is not there.
        ASSERT_TRUE(testing::addFilesAndWait(store,
            { url("gone.txt"), url("here.txt"), url("plain/inside.txt"), url("no/such.txt") }));
        EXPECT_EQ(listedNames(), std::vector<std::string> { "here.txt" });
        EXPECT_FALSE(store.toast());
        ASSERT_TRUE(testing::addFilesAndWait(store, { url("gone.txt") }));
        EXPECT_EQ(listedNames(), std::vector<std::string> { "here.txt" });
        EXPECT_EQ(store.toast(), "Nothing new to add");
    }

    TEST_F(StoreFiles, PathThatCannotBeReadIsStillOneItem)
    {
        if (::geteuid() == 0)
            GTEST_SKIP() << "root reads every folder";
        files.createFile("locked/a.txt");
        ::chmod((files / "locked").c_str(), 0600);
        bool added = testing::addFilesAndWait(store, { url("locked/a.txt") });
        ::chmod((files / "locked").c_str(), 0700);
        ASSERT_TRUE(added);
        ASSERT_EQ(store.items().size(), 1u);
        const auto& item = store.items()[0];
        EXPECT_FALSE(item.isDirectory);
        EXPECT_EQ(item.size, 0);
        EXPECT_EQ(item.created, Date::distantPast());
        EXPECT_EQ(item.modified, Date::distantPast());
        EXPECT_EQ(item.url, url("locked/a.txt"));
    }

    TEST_F(StoreFiles, IncludeExcludeAndRemove)
    {
        files.createFile("i/a.txt");
        files.createFile("i/b.txt");
        ASSERT_TRUE(testing::addFilesAndWait(store, { folder("i") }));
        auto first = store.items()[0].id;
        store.setIncluded(first, false);
        EXPECT_FALSE(store.isIncluded(first));
        EXPECT_TRUE(store.isIncluded(store.items()[1].id));
        EXPECT_FALSE(store.isIncluded(Uuid::random()));

        auto revision = store.revision();
        store.setIncluded(Uuid::random(), false);
        EXPECT_EQ(store.revision(), revision);

        store.removeItems({ first });
        EXPECT_EQ(listedNames(), std::vector<std::string> { "i/b.txt" });
        EXPECT_TRUE(std::filesystem::exists(files / "i/a.txt"));
    }

    TEST_F(StoreFiles, IncludingEverythingIsOneChange)
    {
        for (int index = 0; index < 50; ++index)
            files.createFile("many/f" + std::to_string(index) + ".txt");
        ASSERT_TRUE(testing::addFilesAndWait(store, { folder("many") }));
        int published = 0;
        QObject::connect(&store, &RenamerStore::itemsChanged, [&] { ++published; });
        auto revision = store.revision();
        store.setAllIncluded(false);
        EXPECT_EQ(published, 1);
        EXPECT_EQ(store.revision(), revision + 1);
        EXPECT_TRUE(std::none_of(store.items().begin(), store.items().end(),
            [](const FileItem& item) { return item.included; }));
    }

    TEST_F(StoreFiles, RelocationIsOneChangeAndMovesEachItemOnce)
    {
        store.setItems({ FileItem(FileURL("/x/a"), true, {}, {}, 0, 0),
            FileItem(FileURL("/x/b"), true, {}, {}, 0, 1),
            FileItem(FileURL("/x/c"), true, {}, {}, 0, 2) });
        int published = 0;
        QObject::connect(&store, &RenamerStore::itemsChanged, [&] { ++published; });
        // a goes to c, and the file that was at c to d: the item moved to c is not taken again.
        store.relocateItems({ { FileURL("/x/./a"), FileURL("/x/c") },
            { FileURL("/x/c"), FileURL("/x/d") }, { FileURL("/x/missing"), FileURL("/x/e") } });
        EXPECT_EQ(published, 1);
        EXPECT_EQ(store.items()[0].url, FileURL("/x/c"));
        EXPECT_EQ(store.items()[1].url, FileURL("/x/b"));
        EXPECT_EQ(store.items()[2].url, FileURL("/x/d"));

        // A pair whose source only an earlier pair's item now occupies finds nothing.
        store.relocateItems(
            { { FileURL("/x/b"), FileURL("/x/f") }, { FileURL("/x/f"), FileURL("/x/g") } });
        EXPECT_EQ(store.items()[1].url, FileURL("/x/f"));
    }

    TEST_F(StoreFiles, ItemsOutsideGrantedFoldersNeedAccess)
    {
        files.createFile("loose/a.txt");
        ASSERT_TRUE(testing::addFilesAndWait(store, { url("loose/a.txt") }));
        store.setRules({ replaceRule("a", "b") });
        ASSERT_TRUE(settle());
        ASSERT_EQ(store.rawPreviews().size(), 1u);
        EXPECT_EQ(store.rawPreviews()[0].status.kind, RenameStatus::Kind::ready);
        EXPECT_EQ(store.previews()[0].status.kind, RenameStatus::Kind::needsAccess);
        EXPECT_EQ(store.previews()[0].newName, "b.txt");
        EXPECT_EQ(store.folderNeedingAccess(), folder("loose"));

        // Excluding the item clears both.
        store.setIncluded(store.items()[0].id, false);
        ASSERT_TRUE(settle());
        EXPECT_EQ(store.previews()[0].status.kind, RenameStatus::Kind::skipped);
        EXPECT_FALSE(store.folderNeedingAccess());

        // Granting the folder turns the row ready.
        store.setIncluded(store.items()[0].id, true);
        ASSERT_TRUE(settle());
        int changed = 0;
        QObject::connect(&store, &RenamerStore::previewsChanged, [&] { ++changed; });
        store.folderAccess().grant(folder("loose"));
        EXPECT_GE(changed, 1);
        EXPECT_EQ(store.previews()[0].status.kind, RenameStatus::Kind::ready);
        EXPECT_FALSE(store.folderNeedingAccess());
    }

    TEST_F(StoreFiles, FiltersNarrowThePreview)
    {
        files.createFile("g/apple.txt");
        files.createFile("g/cherry.txt");
        files.createFile("g/dup1.txt");
        files.createFile("g/dup2.txt");
        files.createFile("g/quiet.txt");
        files.createFile("g/skip-a.txt");
        files.createFile("outside/avocado.txt");
        ASSERT_TRUE(testing::addFilesAndWait(store, { folder("g"), url("outside/avocado.txt") }));
        auto skipped = std::find_if(store.items().begin(), store.items().end(),
            [](const FileItem& item) { return item.url.lastPathComponent() == "skip-a.txt"; });
        ASSERT_NE(skipped, store.items().end());
        store.setIncluded(skipped->id, false);
        store.setRules(
            { replaceRule("a", "A"), replaceRule("dup1", "dup2"), replaceRule("q", ":") });
        ASSERT_TRUE(settle());

        auto statusOf = [&](const std::vector<PreviewRow>& rows) {
            std::vector<std::pair<std::string, RenameStatus::Kind>> result;
            for (const auto& row : rows)
                result.emplace_back(row.item.url.lastPathComponent(), row.status.kind);
            return result;
        };
        using Kind = RenameStatus::Kind;
        EXPECT_EQ(statusOf(store.visiblePreviews()),
            (std::vector<std::pair<std::string, Kind>> { { "apple.txt", Kind::ready },
                { "cherry.txt", Kind::unchanged }, { "dup1.txt", Kind::conflict },
                { "dup2.txt", Kind::conflict }, { "quiet.txt", Kind::invalid },
                { "skip-a.txt", Kind::skipped }, { "avocado.txt", Kind::needsAccess } }));

        store.setFilter("Changes");
        std::vector<std::string> changed;
        for (const auto& row : store.visiblePreviews())
            changed.push_back(row.item.url.lastPathComponent());
        EXPECT_EQ(changed,
            (std::vector<std::string> { "apple.txt", "dup1.txt", "quiet.txt", "avocado.txt" }));

        store.setFilter("Problems");
        EXPECT_EQ(statusOf(store.visiblePreviews()),
            (std::vector<std::pair<std::string, Kind>> { { "dup1.txt", Kind::conflict },
                { "dup2.txt", Kind::conflict }, { "quiet.txt", Kind::invalid },
                { "avocado.txt", Kind::needsAccess } }));
    }

    TEST_F(StoreFiles, WithFolderAccessRefusesFoldersThatAreNotGranted)
    {
        files.createFile("w/a.txt");
        ASSERT_TRUE(testing::addFilesAndWait(store, { folder("w") }));
        EXPECT_EQ(store.withFolderAccess({ folder("w") }, [] { return 7; }), 7);
        EXPECT_THROW(
            store.withFolderAccess({ folder("w"), folder("") }, [] { return 7; }), FileError);
    }

    TEST(FileScan, ReadsFolderValuesWithoutFollowingLinks)
    {
        TemporaryFolder files;
        files.createFile("d/a.txt", "xy");
        std::filesystem::create_directory_symlink(files / "d", files / "link");
        auto folderValues = FileScan::read(FileURL((files / "d").string()));
        EXPECT_TRUE(folderValues.isDirectory);
        EXPECT_EQ(folderValues.size, 0);
        auto linkValues = FileScan::read(FileURL((files / "link").string()));
        EXPECT_FALSE(linkValues.isDirectory);
        EXPECT_FALSE(linkValues.isRegularFile);
        EXPECT_FALSE(FileScan::isPlainFolder(FileURL((files / "link").string())));
        EXPECT_TRUE(FileScan::isPlainFolder(FileURL((files / "d").string())));
        EXPECT_TRUE(FileScan::regularFiles(FileURL((files / "missing").string()), {}).empty());
    }

} // namespace
} // namespace sorvik
