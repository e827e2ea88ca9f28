#include "app/store/renamer_store.h"

#include "app/store/history_file.h"
#include "app/store/json_files.h"
#include "app/store/user_defaults.h"
#include "engine/model/json.h"
#include "tests/app/store/fake_dialogs.h"
#include "tests/app/store/store_apply_fixture.h"
#include "tests/app/store/store_test_support.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/temporary_folder.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <sys/resource.h>

namespace sorvik {
namespace {

    using testing::CancelledAccessPrompt;
    using testing::FakeServices;
    using testing::organizeRule;
    using testing::patternRule;
    using testing::readFile;
    using testing::replaceRule;
    using testing::TemporaryFolder;
    using testing::waitUntil;

    using StoreApply = testing::StoreApplyFixture;

    TEST_F(StoreApply, ApplyUndoAndApplyAgainKeepEveryFileAndItsContent)
    {
        files.createFile("a.txt", "alpha");
        files.createFile("b.txt", "beta");
        files.createFile("c.md", "gamma");
        listFolder({ patternRule("{name}_x") });

        store.apply();
        const Contents renamed { { "a_x.txt", "alpha" }, { "b_x.txt", "beta" },
            { "c_x.md", "gamma" } };
        EXPECT_EQ(contents(), renamed);
        EXPECT_EQ(itemNames(), (std::vector<std::string> { "a_x.txt", "b_x.txt", "c_x.md" }));
        EXPECT_EQ(store.toast(), "Renamed 3 files");
        EXPECT_FALSE(store.message());
        EXPECT_TRUE(store.isPlanning()) << "the preview is planned again";
        ASSERT_EQ(store.undoStack().size(), 1U);
        EXPECT_EQ(store.undoStack()[0],
            (RenamerStore::UndoBatch { { url("a_x.txt"), url("a.txt") },
                { url("b_x.txt"), url("b.txt") }, { url("c_x.md"), url("c.md") } }));
        ASSERT_EQ(store.history().size(), 1U);
        const auto& record = store.history()[0];
        EXPECT_EQ(record.moves,
            (std::vector<RenameMove> { { url("a.txt"), url("a_x.txt") },
                { url("b.txt"), url("b_x.txt") }, { url("c.md"), url("c_x.md") } }));
        EXPECT_FALSE(record.undone);
        EXPECT_FALSE(record.backupPath);
        EXPECT_EQ(record.createdDirectories, std::vector<FileURL> {});
        EXPECT_EQ(HistoryFile::load(), store.history());
        EXPECT_FALSE(std::filesystem::exists(RenamerStore::backupsFolder().path));

        ASSERT_TRUE(settle());
        store.undoLastApply();
        const Contents original { { "a.txt", "alpha" }, { "b.txt", "beta" }, { "c.md", "gamma" } };
        EXPECT_EQ(contents(), original);
        EXPECT_EQ(itemNames(), (std::vector<std::string> { "a.txt", "b.txt", "c.md" }));
        EXPECT_EQ(store.toast(), "Undid 3 renames");
        EXPECT_TRUE(store.undoStack().empty());
        ASSERT_EQ(store.history().size(), 1U);
        EXPECT_TRUE(store.history()[0].undone);
        EXPECT_EQ(HistoryFile::load(), store.history());

        // Nothing left to undo.
        auto historyBefore = readFile(historyPath());
        store.undoLastApply();
        EXPECT_EQ(contents(), original);
        EXPECT_EQ(readFile(historyPath()), historyBefore);

        ASSERT_TRUE(settle());
        store.apply();
        EXPECT_EQ(contents(), renamed);
        ASSERT_EQ(store.history().size(), 2U);
        EXPECT_FALSE(store.history()[0].undone);
        EXPECT_TRUE(store.history()[1].undone);
        EXPECT_EQ(store.undoStack().size(), 1U);
        EXPECT_FALSE(store.message());
        EXPECT_TRUE(dialogs.warnings.empty());
    }

    TEST_F(StoreApply, OnlyReadyRowsAreMoved)
    {
        files.createFile("a.txt", "ready");
        files.createFile("b.txt", "unchanged");
        files.createFile("da.txt", "excluded");
        files.createFile("ya.txt", "conflict");
        files.createFile("yz.txt", "in the way");
        store.folderAccess().grant(folder());
        ASSERT_TRUE(testing::addFilesAndWait(
            store, { url("a.txt"), url("b.txt"), url("da.txt"), url("ya.txt") }));
        store.setIncluded(store.items()[2].id, false);
        store.setRules({ replaceRule("a", "z") });
        ASSERT_TRUE(settle());
        ASSERT_TRUE(store.previews()[3].status.isProblem());

        store.apply();
        EXPECT_EQ(contents(),
            (Contents { { "z.txt", "ready" }, { "b.txt", "unchanged" }, { "da.txt", "excluded" },
                { "ya.txt", "conflict" }, { "yz.txt", "in the way" } }));
        EXPECT_EQ(store.toast(), "Renamed 1 files");
        ASSERT_EQ(store.history().size(), 1U);
        EXPECT_EQ(store.history()[0].moves.size(), 1U);
    }

    TEST_F(StoreApply, NothingReadyAppliesNothingAndSaysNothing)
    {
        files.createFile("a.txt", "alpha");
        listFolder({ patternRule("{name}") });
        store.apply();
        EXPECT_FALSE(store.toast());
        EXPECT_FALSE(store.message());
        EXPECT_TRUE(store.undoStack().empty());
        EXPECT_FALSE(std::filesystem::exists(historyPath()));
        EXPECT_EQ(contents(), (Contents { { "a.txt", "alpha" } }));
    }

    // A row the preview shows ready is one the executor's checks accept: what they would
    // refuse is a problem of its row, and the rest of the batch is renamed.
    TEST_F(StoreApply, WhatTheChecksWouldRefuseIsAProblemOfItsRow)
    {
        files.createFile("a.txt", "alpha");
        files.createFile("gone.txt", "soon gone");
        files.createFile("x", "in the way");
        files.createFile("b.md", "beta");
        Rule intoX = organizeRule("x");
        intoX.condition = ConditionGroup { true, { Condition::ext({ "md" }) } };
        auto suffix = [](std::string text) {
            Rule rule = patternRule(std::move(text));
            rule.condition = ConditionGroup { true, { Condition::ext({ "txt" }) } };
            return rule;
        };
        listFolder({ suffix("{name}_y"), intoX });
        // Deleted after it was listed: the next plan finds it gone.
        std::filesystem::remove(files / "gone.txt");
        store.setRules({ suffix("{name}_z"), intoX });
        ASSERT_TRUE(settle());
        std::vector<RenameStatus> statuses;
        for (const auto& row : store.previews())
            statuses.push_back(row.status);
        EXPECT_EQ(statuses,
            (std::vector<RenameStatus> { RenameStatus::ready(),
                RenameStatus::conflict("Subfolder name is taken by a file"),
                RenameStatus::invalid("File not found"), RenameStatus::unchanged() }));

        store.apply();
        EXPECT_TRUE(dialogs.warnings.empty());
        EXPECT_EQ(contents(),
            (Contents { { "a_z.txt", "alpha" }, { "b.md", "beta" }, { "x", "in the way" } }));
        EXPECT_EQ(store.toast(), "Renamed 1 files");
    }

    TEST_F(StoreApply, SettingsThatCannotBeReadStopTheRenameUntilBackupsAreSet)
    {
        // The file may well say that backups are on: no batch runs without knowing.
        auto settings = std::filesystem::path(UserDefaults::path().toStdString());
        std::filesystem::create_directories(settings.parent_path());
        std::ofstream(settings) << "backupEnabled=true\n\xFF\n";
        RenamerStore unsure(std::make_shared<FakeServices>());
        unsure.setDialogs(&dialogs);
        ASSERT_TRUE(unsure.settingsError());
        files.createFile("a.txt", "alpha");
        ASSERT_TRUE(testing::addFilesAndWait(unsure, { folder() }));
        unsure.setRules({ patternRule("{name}_x") });
        ASSERT_TRUE(waitUntil([&] { return !unsure.isAdding() && !unsure.isPlanning(); }));
        ASSERT_EQ(unsure.previews()[0].status.kind, RenameStatus::Kind::ready);

        unsure.apply();
        EXPECT_EQ(contents(), (Contents { { "a.txt", "alpha" } }));
        ASSERT_EQ(dialogs.warnings.size(), 1U);
        EXPECT_EQ(dialogs.warnings[0].first, "Couldn't rename the files");
        EXPECT_EQ(dialogs.warnings[0].second, *unsure.settingsError());
        EXPECT_NE(dialogs.warnings[0].second.find("\u201Csorvik.conf\u201D"), std::string::npos);
        EXPECT_TRUE(unsure.undoStack().empty());
        EXPECT_FALSE(std::filesystem::exists(historyPath()));

        // Once the user says, the batch runs; the unreadable file is left as it is.
        unsure.setBackupEnabled(true);
        EXPECT_FALSE(unsure.settingsError());
        ASSERT_TRUE(unsure.message());
        EXPECT_EQ(readFile(settings), "backupEnabled=true\n\xFF\n");
        unsure.apply();
        EXPECT_EQ(contents(), (Contents { { "a_x.txt", "alpha" } }));
        EXPECT_TRUE(std::filesystem::exists(RenamerStore::backupsFolder().path));
    }

    TEST_F(StoreApply, NothingHappensWhilePlanning)
    {
        files.createFile("a.txt", "alpha");
        listFolder({ patternRule("{name}_x") });
        store.setRules({ patternRule("{name}_y") });
        ASSERT_TRUE(store.isPlanning());
        store.apply();
        EXPECT_EQ(contents(), (Contents { { "a.txt", "alpha" } }));
        EXPECT_FALSE(store.toast());
        EXPECT_TRUE(store.undoStack().empty());
    }

    TEST_F(StoreApply, AFolderWithoutAccessOpensTheAccessDialogAndRenamesNothing)
    {
        TemporaryFolder other;
        other.createFile("outside.txt", "outside");
        files.createFile("a.txt", "alpha");
        CancelledAccessPrompt prompt;
        store.folderAccess().setAccessPrompt(&prompt);
        ASSERT_TRUE(testing::addFilesAndWait(
            store, { folder(), FileURL((other / "outside.txt").string()) }));
        store.setRules({ patternRule("{name}_x") });
        ASSERT_TRUE(settle());

        int previewSignals = 0;
        QObject::connect(
            &store, &RenamerStore::previewsChanged, [&previewSignals] { ++previewSignals; });
        store.apply();
        ASSERT_EQ(prompt.startFolders.size(), 1U);
        EXPECT_EQ(prompt.startFolders[0], FileURL(other.path().string(), true));
        EXPECT_EQ(previewSignals, 1);
        EXPECT_EQ(contents(), (Contents { { "a.txt", "alpha" } }));
        EXPECT_EQ(readFile(other / "outside.txt"), "outside");
        EXPECT_FALSE(store.toast());
        EXPECT_TRUE(store.history().empty());
    }

    TEST_F(StoreApply, BackupFolderIsNamedByTheRecordAndHoldsCopiesAndManifest)
    {
        files.createFile("a.txt", "alpha");
        files.createFile("b.txt", "beta");
        store.setBackupEnabled(true);
        listFolder({ patternRule("{name}_x") });
        store.apply();
        ASSERT_EQ(store.history().size(), 1U);
        const auto& record = store.history()[0];
        ASSERT_TRUE(record.backupPath);
        EXPECT_EQ(*record.backupPath,
            FileURL(
                (JSONFiles::applicationFolder() / "Backups" / record.id.text()).string(), true));
        std::filesystem::path backup = record.backupPath->path;
        EXPECT_EQ(readFile(backup / "0_a.txt"), "alpha");
        EXPECT_EQ(readFile(backup / "1_b.txt"), "beta");
        auto manifest = json::decode<std::vector<RenameMove>>(
            json::parse(readFile(backup / "manifest.json")));
        EXPECT_EQ(manifest, record.moves);
        // A backup younger than a week survives the pruning after the rename.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(backup),
                      std::filesystem::directory_iterator {}),
            3);
        EXPECT_EQ(contents(), (Contents { { "a_x.txt", "alpha" }, { "b_x.txt", "beta" } }));
    }

    TEST_F(StoreApply, HistoryKeepsTheNewestFiveHundredRecords)
    {
        std::vector<HistoryRecord> full;
        for (int index = 0; index < 500; ++index)
            full.push_back(storedRecord(std::to_string(index)));
        JSONFiles::save(full, HistoryFile::fileName);
        files.createFile("a.txt", "alpha");
        listFolder({ patternRule("{name}_x") });
        store.apply();
        auto stored = HistoryFile::load();
        ASSERT_EQ(stored.size(), 500U);
        EXPECT_EQ(stored[0].moves, (std::vector<RenameMove> { { url("a.txt"), url("a_x.txt") } }));
        EXPECT_EQ(stored[1], full[0]);
        EXPECT_EQ(stored[499], full[498]);
        // The window lists the history as saved, though it never read the file itself.
        EXPECT_EQ(store.history(), stored);
        store.loadHistory();
        EXPECT_EQ(store.history(), stored);

        // Another writer's batch, saved meanwhile, is listed after the next batch too.
        auto other = storedRecord("other");
        HistoryFile::insert(other);

        // Its own batches stay at most 500 too.
        for (int index = 0; index < 2; ++index) {
            ASSERT_TRUE(settle());
            store.apply();
        }
        EXPECT_EQ(store.history().size(), 500U);
        EXPECT_EQ(store.history()[2], other);
        EXPECT_EQ(store.history()[3], stored[0]);
        EXPECT_EQ(HistoryFile::load(), store.history());
    }

    TEST_F(StoreApply, AnUndecodableHistoryDoesNotStopTheRenameOrItsUndo)
    {
        std::filesystem::create_directories(historyPath().parent_path());
        std::ofstream(historyPath()) << "{ not json";
        files.createFile("a.txt", "alpha");
        files.createFile("b.txt", "beta");
        listFolder({ patternRule("{name}_x") });

        store.apply();
        EXPECT_EQ(contents(), (Contents { { "a_x.txt", "alpha" }, { "b_x.txt", "beta" } }));
        EXPECT_EQ(store.toast(), "Renamed 2 files");
        ASSERT_TRUE(store.message());
        EXPECT_TRUE(
            store.message()->starts_with("Files were renamed, but history could not be saved. "))
            << *store.message();
        EXPECT_GT(store.message()->size(), RenamerStore::historyNotSavedText.size() + 1)
            << "the reason follows";
        EXPECT_TRUE(store.history().empty());
        EXPECT_EQ(store.undoStack().size(), 1U);
        EXPECT_EQ(readFile(historyPath()), "{ not json");

        // Without a record the undo goes on without a fingerprint check.
        ASSERT_TRUE(settle());
        store.undoLastApply();
        EXPECT_EQ(contents(), (Contents { { "a.txt", "alpha" }, { "b.txt", "beta" } }));
        EXPECT_EQ(store.toast(), "Undid 2 renames");
        EXPECT_EQ(readFile(historyPath()), "{ not json");
    }

    TEST_F(StoreApply, AHistoryThatCannotBeWrittenLeavesTheFilesRenamedAndSaysSo)
    {
        std::vector<HistoryRecord> earlier;
        for (int index = 0; index < 20; ++index)
            earlier.push_back(storedRecord(std::string(40, 'n') + std::to_string(index)));
        JSONFiles::save(earlier, HistoryFile::fileName);
        auto stored = readFile(historyPath());
        constexpr rlim_t limit = 4000;
        ASSERT_GT(stored.size(), limit);
        files.createFile("a.txt", "alpha");
        listFolder({ patternRule("{name}_x") });

        {
            // The batch's journal is far smaller than the limit; the history is not.
            testing::FileSizeLimit sizeLimit(limit);
            store.apply();
        }
        EXPECT_EQ(contents(), (Contents { { "a_x.txt", "alpha" } }));
        EXPECT_EQ(store.toast(), "Renamed 1 files");
        ASSERT_TRUE(store.message());
        EXPECT_TRUE(store.message()->starts_with("Files were renamed, but history could not be "
                                                 "saved. The file \u201Chistory.json\u201D"))
            << *store.message();
        EXPECT_EQ(readFile(historyPath()), stored);
        // The window still shows the batch, so that its undo is checked against the record.
        ASSERT_EQ(store.history().size(), 1U);
        EXPECT_EQ(store.history()[0].moves,
            (std::vector<RenameMove> { { url("a.txt"), url("a_x.txt") } }));
        EXPECT_EQ(store.undoStack().size(), 1U);
    }

    TEST_F(StoreApply, LoadHistoryReadsTheFileAndOpensTheSheet)
    {
        // No file: the records in memory stay.
        files.createFile("a.txt", "alpha");
        listFolder({ patternRule("{name}_x") });
        store.apply();
        auto inMemory = store.history();
        std::filesystem::remove(historyPath());
        store.loadHistory();
        EXPECT_TRUE(store.showingHistory());
        EXPECT_EQ(store.history(), inMemory);

        store.setShowingHistory(false);
        std::vector<HistoryRecord> stored { storedRecord("one"), storedRecord("two") };
        stored[1].undone = true;
        JSONFiles::save(stored, HistoryFile::fileName);
        store.loadHistory();
        EXPECT_TRUE(store.showingHistory());
        EXPECT_EQ(store.history(), stored);

        store.setShowingHistory(false);
        std::ofstream(historyPath(), std::ios::trunc) << "[ {";
        store.loadHistory();
        EXPECT_FALSE(store.showingHistory());
        EXPECT_TRUE(store.message());
        EXPECT_EQ(store.history(), stored);
    }

    TEST_F(StoreApply, FailingMovesChangeNothingInTheStoreAndLoseNoFile)
    {
        files.createFile("a.txt", "alpha");
        files.createFile("b.txt", "beta");
        listFolder({ organizeRule("sub") });
        auto itemsBefore = store.items();
        // A file now stands where the batch must create its folder.
        files.createFile("sub", "in the way");

        store.apply();
        EXPECT_EQ(contents(),
            (Contents { { "a.txt", "alpha" }, { "b.txt", "beta" }, { "sub", "in the way" } }));
        ASSERT_EQ(dialogs.warnings.size(), 1U);
        EXPECT_EQ(dialogs.warnings[0].first, "Couldn't rename the files");
        // Refused before any file moved: it says why, and nothing of restoring files.
        EXPECT_EQ(dialogs.warnings[0].second,
            "Couldn't open the folder \"" + (files / "sub").string() + "\": Not a directory");
        ASSERT_TRUE(store.lastFailureAlert());
        EXPECT_EQ(store.lastFailureAlert()->messageText, "Couldn't rename the files");
        EXPECT_EQ(store.lastFailureAlert()->informativeText, dialogs.warnings[0].second);
        EXPECT_EQ(store.items(), itemsBefore);
        EXPECT_FALSE(store.isPlanning());
        EXPECT_TRUE(store.undoStack().empty());
        EXPECT_TRUE(store.history().empty());
        EXPECT_FALSE(std::filesystem::exists(historyPath()));
        EXPECT_FALSE(store.toast());
        EXPECT_FALSE(store.message());
    }

    TEST_F(StoreApply, WithoutDialogsTheFailureIsRecordedAndNothingBlocks)
    {
        store.setDialogs(nullptr);
        files.createFile("a.txt", "alpha");
        listFolder({ organizeRule("sub") });
        files.createFile("sub", "in the way");
        store.apply();
        ASSERT_TRUE(store.lastFailureAlert());
        EXPECT_EQ(store.lastFailureAlert()->messageText, "Couldn't rename the files");
        EXPECT_EQ(contents(), (Contents { { "a.txt", "alpha" }, { "sub", "in the way" } }));
    }

} // namespace
} // namespace sorvik
