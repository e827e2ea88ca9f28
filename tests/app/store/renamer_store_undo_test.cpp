#include "app/store/renamer_store.h"

#include "app/store/file_error.h"
#include "app/store/history_file.h"
#include "tests/app/store/store_apply_fixture.h"
#include "tests/app/store/store_test_support.h"
#include "tests/support/temporary_folder.h"

#include <filesystem>
#include <fstream>
#include <unordered_set>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace sorvik {
namespace {

    using testing::organizeRule;
    using testing::patternRule;
    using testing::readFile;
    using testing::replaceRule;

    using StoreApply = testing::StoreApplyFixture;

    TEST_F(StoreApply, TwoAppliesThenUndoPutsBackOnlyTheSecond)
    {
        files.createFile("a.txt", "alpha");
        listFolder({ patternRule("{name}_x") });
        store.apply();
        ASSERT_TRUE(settle());
        store.apply();
        EXPECT_EQ(contents(), (Contents { { "a_x_x.txt", "alpha" } }));
        ASSERT_EQ(store.undoStack().size(), 1U);
        ASSERT_TRUE(settle());
        store.undoLastApply();
        EXPECT_EQ(contents(), (Contents { { "a_x.txt", "alpha" } }));
        ASSERT_EQ(store.history().size(), 2U);
        EXPECT_TRUE(store.history()[0].undone);
        EXPECT_FALSE(store.history()[1].undone);
        store.undoLastApply();
        EXPECT_EQ(contents(), (Contents { { "a_x.txt", "alpha" } }));
    }

    TEST_F(StoreApply, UndoOfSwappedAndRotatedNamesPointsEachItemAtItsOwnFile)
    {
        struct Case {
            std::vector<std::string> names;
            std::string list;
        };
        const std::vector<Case> cases {
            { { "a", "b" }, "b\na" },
            { { "a", "b", "c" }, "b\nc\na" },
            { { "a", "b", "c" }, "c\na\nb" },
        };
        for (const auto& testCase : cases) {
            SCOPED_TRACE(testCase.list);
            std::filesystem::remove_all(files.path());
            std::filesystem::create_directories(files.path());
            store.removeItems([&] {
                std::unordered_set<Uuid> ids;
                for (const auto& item : store.items())
                    ids.insert(item.id);
                return ids;
            }());
            Contents original;
            for (const auto& name : testCase.names) {
                files.createFile(name + ".txt", "content of " + name);
                original[name + ".txt"] = "content of " + name;
            }
            listFolder({ Rule(RuleKind(ListConfig { testCase.list, false })) });
            auto before = store.items();

            store.apply();
            ASSERT_NE(contents(), original);
            ASSERT_TRUE(settle());
            store.undoLastApply();
            EXPECT_EQ(contents(), original);
            ASSERT_EQ(store.items().size(), before.size());
            for (std::size_t index = 0; index < before.size(); ++index) {
                EXPECT_EQ(store.items()[index].id, before[index].id);
                EXPECT_EQ(store.items()[index].url.path, before[index].url.path);
            }
        }
    }

    TEST_F(StoreApply, UndoIsRefusedAfterAFileChangedAndWorksOnceItIsRestored)
    {
        files.createFile("a.txt", "alpha");
        files.createFile("b.txt", "beta");
        listFolder({ patternRule("{name}_x") });
        store.apply();
        ASSERT_TRUE(settle());

        auto changed = files / "b_x.txt";
        struct stat before { };
        ASSERT_EQ(::stat(changed.c_str(), &before), 0);
        std::ofstream(changed, std::ios::app) << " and more";
        store.undoLastApply();
        ASSERT_TRUE(store.message());
        EXPECT_NE(store.message()->find("File changed since this batch: " + changed.string()),
            std::string::npos)
            << *store.message();
        EXPECT_EQ(store.undoStack().size(), 1U);
        EXPECT_FALSE(store.history()[0].undone);
        EXPECT_EQ(
            contents(), (Contents { { "a_x.txt", "alpha" }, { "b_x.txt", "beta and more" } }));
        EXPECT_TRUE(dialogs.warnings.empty());

        // The same content, size and time again: the batch can be put back.
        std::ofstream(changed, std::ios::trunc) << "beta";
        timespec times[2] = { before.st_atim, before.st_mtim };
        ASSERT_EQ(::utimensat(AT_FDCWD, changed.c_str(), times, 0), 0);
        store.setMessage(std::nullopt);
        store.undoLastApply();
        EXPECT_FALSE(store.message());
        EXPECT_EQ(contents(), (Contents { { "a.txt", "alpha" }, { "b.txt", "beta" } }));
        EXPECT_TRUE(store.history()[0].undone);
    }

    TEST_F(StoreApply, UndoWithoutAccessShowsTheAlertAndKeepsTheBatch)
    {
        files.createFile("a.txt", "alpha");
        listFolder({ patternRule("{name}_x") });
        store.apply();
        ASSERT_TRUE(settle());
        store.folderAccess().remove(folder());
        ASSERT_TRUE(store.folderAccess().folders().empty());

        store.undoLastApply();
        ASSERT_EQ(dialogs.warnings.size(), 1U);
        EXPECT_EQ(dialogs.warnings[0].first, "Couldn't rename the files");
        EXPECT_EQ(dialogs.warnings[0].second,
            FileError::withCode(FileError::Code::fileWriteNoPermission, files.path().string())
                .what());
        EXPECT_EQ(store.undoStack().size(), 1U);
        EXPECT_FALSE(store.history()[0].undone);

        store.setMessage(std::nullopt);
        store.revert(store.history()[0].id);
        EXPECT_EQ(store.message(), dialogs.warnings[0].second);
        EXPECT_EQ(dialogs.warnings.size(), 1U) << "revert has no alert";
        EXPECT_FALSE(store.history()[0].undone);
        EXPECT_EQ(store.undoStack().size(), 1U);
        EXPECT_EQ(contents(), (Contents { { "a_x.txt", "alpha" } }));
    }

    TEST_F(StoreApply, FoldersTheBatchCreatedAreRemovedWhenEmpty)
    {
        files.createFile("a.txt", "alpha");
        files.createFile("b.txt", "beta");
        listFolder({ organizeRule("sub/inner") });
        store.apply();
        EXPECT_EQ(contents(),
            (Contents { { "sub/inner/a.txt", "alpha" }, { "sub/inner/b.txt", "beta" } }));
        ASSERT_EQ(store.history().size(), 1U);
        ASSERT_TRUE(store.history()[0].createdDirectories);
        std::vector<std::string> created;
        for (const auto& url : *store.history()[0].createdDirectories)
            created.push_back(url.path);
        EXPECT_EQ(created,
            (std::vector<std::string> {
                (files / "sub").string(), (files / "sub/inner").string() }));
        ASSERT_TRUE(settle());
        store.undoLastApply();
        EXPECT_EQ(contents(), (Contents { { "a.txt", "alpha" }, { "b.txt", "beta" } }));
        EXPECT_FALSE(std::filesystem::exists(files / "sub"));

        // A folder that holds something else stays; by revert this time.
        ASSERT_TRUE(settle());
        store.apply();
        files.createFile("sub/keep.txt", "mine");
        store.revert(store.history()[0].id);
        EXPECT_FALSE(store.message());
        EXPECT_EQ(contents(),
            (Contents { { "a.txt", "alpha" }, { "b.txt", "beta" }, { "sub/keep.txt", "mine" } }));
        EXPECT_FALSE(std::filesystem::exists(files / "sub/inner"));
    }

    /// Planning runs on another thread: every preview asked for after an undo or a revert of
    /// an organized batch must find the batch's folders gone already, never half removed.
    TEST_F(StoreApply, UndoAndRevertRemoveTheBatchsFoldersBeforeAskingForAPreview)
    {
        files.createFile("a.txt", "alpha");
        listFolder({ organizeRule("sub/inner") });
        std::vector<bool> folderAtRequest;
        QObject::connect(&store, &RenamerStore::revisionChanged, &store,
            [&] { folderAtRequest.push_back(std::filesystem::exists(files / "sub")); });

        store.apply();
        ASSERT_TRUE(settle());
        folderAtRequest.clear();
        store.undoLastApply();
        ASSERT_FALSE(folderAtRequest.empty());
        EXPECT_EQ(folderAtRequest, std::vector<bool>(folderAtRequest.size(), false));
        ASSERT_TRUE(settle());
        EXPECT_EQ(store.previews().at(0).status.kind, RenameStatus::Kind::ready);

        store.apply();
        ASSERT_TRUE(settle());
        folderAtRequest.clear();
        store.revert(store.history()[0].id);
        EXPECT_FALSE(store.message());
        ASSERT_FALSE(folderAtRequest.empty());
        EXPECT_EQ(folderAtRequest, std::vector<bool>(folderAtRequest.size(), false));
        ASSERT_TRUE(settle());
        EXPECT_EQ(store.previews().at(0).status.kind, RenameStatus::Kind::ready);
    }

    TEST_F(StoreApply, RevertPutsTheBatchBackOnceAndEmptiesTheUndoStack)
    {
        files.createFile("a.txt", "alpha");
        files.createFile("b.txt", "beta");
        listFolder({ patternRule("{name}_x") });
        store.apply();
        ASSERT_TRUE(settle());
        auto id = store.history()[0].id;

        store.revert(id);
        EXPECT_EQ(contents(), (Contents { { "a.txt", "alpha" }, { "b.txt", "beta" } }));
        EXPECT_EQ(itemNames(), (std::vector<std::string> { "a.txt", "b.txt" }));
        EXPECT_TRUE(store.undoStack().empty());
        EXPECT_TRUE(store.history()[0].undone);
        EXPECT_EQ(HistoryFile::load(), store.history());
        EXPECT_FALSE(store.message());
        EXPECT_NE(store.toast(), "Undid 2 renames") << "revert shows no toast";

        auto stored = readFile(historyPath());
        store.revert(id);
        store.revert(Uuid::random());
        EXPECT_EQ(contents(), (Contents { { "a.txt", "alpha" }, { "b.txt", "beta" } }));
        EXPECT_EQ(readFile(historyPath()), stored);
        EXPECT_FALSE(store.message());
    }

    TEST_F(StoreApply, EveryBatchThatMovesFilesTellsWhereTheyAreNow)
    {
        files.createFile("a.txt", "alpha");
        files.createFile("b.txt", "beta");
        listFolder({ patternRule("{name}_x") });
        std::vector<std::vector<FileURL>> moved;
        QObject::connect(&store, &RenamerStore::filesMoved,
            [&](const std::vector<FileURL>& destinations) { moved.push_back(destinations); });

        store.apply();
        ASSERT_TRUE(settle());
        store.undoLastApply();
        ASSERT_TRUE(settle());
        store.apply();
        ASSERT_TRUE(settle());
        store.revert(store.history()[0].id);
        const std::vector<FileURL> renamed { url("a_x.txt"), url("b_x.txt") };
        const std::vector<FileURL> original { url("a.txt"), url("b.txt") };
        EXPECT_EQ(
            moved, (std::vector<std::vector<FileURL>> { renamed, original, renamed, original }));

        // A batch that fails moves nothing and tells nothing.
        ASSERT_TRUE(settle());
        store.apply();
        ASSERT_TRUE(settle());
        moved.clear();
        store.folderAccess().remove(folder());
        store.revert(store.history()[0].id);
        EXPECT_TRUE(store.message());
        store.apply();
        EXPECT_TRUE(moved.empty());
    }

    TEST_F(StoreApply, RevertOfABatchRenamedAgainIsRefused)
    {
        files.createFile("a.txt", "alpha");
        listFolder({ patternRule("{name}_x") });
        store.apply();
        auto first = store.history()[0].id;
        ASSERT_TRUE(settle());
        store.apply();
        ASSERT_TRUE(settle());

        store.revert(first);
        ASSERT_TRUE(store.message());
        EXPECT_NE(store.message()->find("a_x.txt"), std::string::npos) << *store.message();
        EXPECT_EQ(contents(), (Contents { { "a_x_x.txt", "alpha" } }));
        EXPECT_FALSE(store.history()[1].undone);
        EXPECT_EQ(store.undoStack().size(), 1U);
    }

    TEST_F(StoreApply, UndoAndRevertNeverLoseAnotherWritersRecord)
    {
        files.createFile("a.txt", "alpha");
        files.createFile("b.txt", "beta");
        listFolder({ replaceRule("a", "z") });
        store.apply();
        ASSERT_TRUE(settle());
        auto ours = store.history()[0].id;

        // The command line records a batch of its own meanwhile.
        auto foreign = storedRecord("foreign");
        HistoryFile::insert(foreign);
        store.undoLastApply();
        auto stored = HistoryFile::load();
        ASSERT_EQ(stored.size(), 2U);
        EXPECT_EQ(stored[0], foreign);
        EXPECT_EQ(stored[1].id, ours);
        EXPECT_TRUE(stored[1].undone);
        // The window lists its own batch until the history is read again.
        ASSERT_EQ(store.history().size(), 1U);
        EXPECT_EQ(store.history()[0], stored[1]);

        ASSERT_TRUE(settle());
        store.setRules({ replaceRule("b", "y") });
        ASSERT_TRUE(settle());
        store.apply();
        ASSERT_TRUE(settle());
        auto second = store.history()[0].id;
        auto another = storedRecord("another");
        HistoryFile::insert(another);
        store.revert(second);
        stored = HistoryFile::load();
        ASSERT_EQ(stored.size(), 4U);
        EXPECT_EQ(stored[0], another);
        EXPECT_EQ(stored[1].id, second);
        EXPECT_TRUE(stored[1].undone);
        EXPECT_EQ(stored[2], foreign);
        EXPECT_EQ(stored[3].id, ours);
        // The list the second batch saved, with the foreign batch it met.
        EXPECT_EQ(store.history(), std::vector<HistoryRecord>(stored.begin() + 1, stored.end()));
        store.loadHistory();
        EXPECT_EQ(store.history(), stored);
        EXPECT_EQ(contents(), (Contents { { "a.txt", "alpha" }, { "b.txt", "beta" } }));
    }

} // namespace
} // namespace sorvik
