#include "app/automation/automation_runner.h"

#include "app/automation/automation_error.h"
#include "app/store/file_error.h"
#include "app/store/history_file.h"
#include "app/store/json_files.h"
#include "app/store/renamer_store.h"
#include "engine/apply/file_system.h"
#include "engine/pipeline/row_blockers.h"
#include "tests/app/store/store_test_support.h"
#include "tests/support/temporary_folder.h"

#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::aiRule;
    using testing::FakeServices;
    using testing::insertRule;
    using testing::IsolatedHome;
    using testing::patternRule;
    using testing::readFile;
    using testing::replaceRule;
    using testing::TemporaryFolder;
    namespace fs = std::filesystem;

    class AutomationRunnerTest : public ::testing::Test {
    protected:
        void SetUp() override { store.folderAccess().grant(FileURL(files.path().string(), true)); }

        FileURL url(std::string_view relative) const
        {
            return FileURL((files / relative).string());
        }

        std::vector<FileURL> run(const std::vector<FileURL>& urls, const std::vector<Rule>& rules,
            bool dryRun, std::stop_token stop = {})
        {
            return AutomationRunner(store, services).run(urls, rules, dryRun, std::move(stop));
        }

        /// The names in the files folder, sorted.
        std::vector<std::string> names() const
        {
            std::vector<std::string> found;
            for (const auto& entry : fs::directory_iterator(files.path()))
                found.push_back(entry.path().filename().string());
            std::sort(found.begin(), found.end());
            return found;
        }

        std::vector<std::string> lastComponents(const std::vector<FileURL>& urls) const
        {
            std::vector<std::string> found;
            for (const auto& each : urls)
                found.push_back(each.lastPathComponent());
            return found;
        }

        bool historyFileExists() const
        {
            return fs::exists(JSONFiles::applicationFolder() / HistoryFile::fileName);
        }

        /// Expects `body` to fail with exactly `text` as an `AutomationError`.
        template <class Body> void expectAutomationError(Body&& body, std::string_view text)
        {
            try {
                body();
                ADD_FAILURE() << "no error, expected: " << text;
            } catch (const AutomationError& error) {
                EXPECT_EQ(std::string(error.what()), text);
            }
        }

        IsolatedHome home;
        TemporaryFolder files;
        TemporaryFolder elsewhere;
        std::shared_ptr<FakeServices> services = std::make_shared<FakeServices>();
        RenamerStore store { services };
    };

    TEST_F(AutomationRunnerTest, EmptyListReturnsNothingAndWritesNothing)
    {
        EXPECT_TRUE(run({}, { patternRule("x") }, false).empty());
        EXPECT_FALSE(historyFileExists());
        EXPECT_TRUE(store.history().empty());
    }

    TEST_F(AutomationRunnerTest, URLsGivenUpAreKeptAndReadAsURLsLent)
    {
        files.createFile("a.txt");
        files.createFile("b.txt");
        fs::create_directory(files.path() / "sub");
        FileURL dotted(files.path().string() + "/./a.txt");
        // Short paths live inside the URL itself, so moving one moves its bytes.
        std::vector<FileURL> urls { FileURL("/a"), FileURL("/./a"), FileURL("/b"), FileURL("/a"),
            dotted, url("a.txt"), url("b.txt"), FileURL("/b/") };
        auto lent = uniqueURLs(urls);
        EXPECT_EQ(
            lent, (std::vector<FileURL> { FileURL("/a"), FileURL("/b"), dotted, url("b.txt") }));
        EXPECT_EQ(uniqueURLs(std::vector<FileURL>(urls)), lent);

        std::vector<FileURL> inside { dotted, url("b.txt"), url("sub") };
        auto grants = store.folderAccess().folders();
        auto lentItems = fileItems(inside, grants);
        auto givenItems = fileItems(std::vector<FileURL>(inside), grants);
        ASSERT_EQ(givenItems.size(), lentItems.size());
        for (std::size_t index = 0; index < lentItems.size(); ++index) {
            const auto& given = givenItems[index];
            const auto& each = lentItems[index];
            EXPECT_EQ(given.url, each.url) << index;
            EXPECT_EQ(given.isDirectory, each.isDirectory) << index;
            EXPECT_EQ(given.included, each.included) << index;
            EXPECT_EQ(given.created, each.created) << index;
            EXPECT_EQ(given.modified, each.modified) << index;
            EXPECT_EQ(given.size, each.size) << index;
            EXPECT_EQ(given.order, each.order) << index;
        }
        EXPECT_TRUE(lentItems.back().url.isDirectory) << "a folder's URL says so";
    }

    TEST_F(AutomationRunnerTest, SameFileTwiceIsOneItemUnderItsFirstSpelling)
    {
        files.createFile("a.txt");
        FileURL dotted(files.path().string() + "/./a.txt");
        auto kept = uniqueURLs({ dotted, url("a.txt"), dotted });
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(kept[0], dotted);

        auto items = fileItems(kept, store.folderAccess());
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0].url.path, dotted.path);
        EXPECT_EQ(items[0].order, 0);

        auto targets = run({ dotted, url("a.txt") }, { patternRule("{name}-x") }, true);
        ASSERT_EQ(targets.size(), 1u);
        EXPECT_EQ(targets[0].path, files.path().string() + "/./a-x.txt");
    }

    TEST_F(AutomationRunnerTest, ItemsTakeTheirFilesValuesAndOrder)
    {
        files.createFile("one.txt", "12345", 1'600'000'000);
        files.createFolder("sub");
        auto items = fileItems({ url("one.txt"), url("sub") }, store.folderAccess());
        ASSERT_EQ(items.size(), 2u);
        EXPECT_EQ(items[0].size, 5);
        EXPECT_EQ(items[0].modified, Date::fromUnixSeconds(1'600'000'000));
        EXPECT_FALSE(items[0].isDirectory);
        EXPECT_TRUE(items[0].included);
        EXPECT_EQ(items[1].order, 1);
        EXPECT_TRUE(items[1].isDirectory);
        EXPECT_NE(items[0].id, items[1].id);
    }

    TEST_F(AutomationRunnerTest, MissingFileFailsWithTheSystemError)
    {
        files.createFile("here.txt");
        EXPECT_THROW(
            run({ url("here.txt"), url("gone.txt") }, { patternRule("x") }, true), FileSystemError);
        EXPECT_TRUE(services->metadataCalls().empty());
    }

    TEST_F(AutomationRunnerTest, TheFirstFailingFileInListOrderIsReported)
    {
        // Many files are read at once; what is reported is still the first failure in order.
        std::vector<FileURL> urls;
        for (int index = 0; index < 9000; ++index) {
            files.createFile(std::to_string(index));
            urls.push_back(url(std::to_string(index)));
        }
        auto missingThenOutside = urls;
        missingThenOutside[7000] = url("gone");
        missingThenOutside.push_back(FileURL((elsewhere / "x").string()));
        EXPECT_THROW(run(missingThenOutside, { patternRule("x") }, true), FileSystemError);
        auto outsideThenMissing = urls;
        outsideThenMissing[100] = FileURL((elsewhere / "x").string());
        outsideThenMissing[7000] = url("gone");
        expectAutomationError([&] { run(outsideThenMissing, { patternRule("x") }, true); },
            AutomationError::grantRequired);
        auto items = fileItems(urls, store.folderAccess());
        ASSERT_EQ(items.size(), urls.size());
        EXPECT_EQ(items[8999].url, urls[8999]);
        EXPECT_EQ(items[8999].order, 8999);
    }

    TEST_F(AutomationRunnerTest, FileOutsideEveryGrantIsRefusedBeforeAnyMetadataIsRead)
    {
        files.createFile("a.jpg");
        elsewhere.createFile("b.jpg");
        FileURL outside((elsewhere / "b.jpg").string());
        for (bool dryRun : { true, false }) {
            expectAutomationError(
                [&] {
                    run({ url("a.jpg"), outside }, { patternRule("{exif.date}") }, dryRun);
                },
                AutomationError::grantRequired);
        }
        EXPECT_TRUE(services->metadataCalls().empty());
        EXPECT_TRUE(fs::exists(elsewhere / "b.jpg"));
        EXPECT_TRUE(fs::exists(files / "a.jpg"));
    }

    TEST_F(AutomationRunnerTest, MetadataIsReadOnlyForEnabledTokenTexts)
    {
        files.createFile("a.txt");
        struct Case {
            const char* label;
            std::vector<Rule> rules;
            bool onlinePlaces;
            std::optional<bool> lookUpPlaces; // nothing: no metadata call
        };
        std::vector<Case> cases {
            { "disabled pattern", { patternRule("{exif.date}", false) }, true, std::nullopt },
            { "no metadata token", { patternRule("{name}-{#}") }, true, std::nullopt },
            { "city, places off", { insertRule("{gps.city}") }, false, false },
            { "city, places on", { insertRule("{gps.city}") }, true, true },
            { "country, places on", { patternRule("{name}{gps.country}") }, true, true },
            { "camera only", { patternRule("{name}{exif.camera}") }, true, false },
        };
        for (const auto& each : cases) {
            store.setOnlinePlaces(each.onlinePlaces);
            auto before = services->metadataCalls().size();
            run({ url("a.txt") }, each.rules, true);
            auto calls = services->metadataCalls();
            if (!each.lookUpPlaces) {
                EXPECT_EQ(calls.size(), before) << each.label;
                continue;
            }
            ASSERT_EQ(calls.size(), before + 1) << each.label;
            EXPECT_EQ(calls.back().lookUpPlaces, *each.lookUpPlaces) << each.label;
            EXPECT_EQ(calls.back().ids.size(), 1u) << each.label;
        }
    }

    TEST_F(AutomationRunnerTest, MetadataReachesThePipeline)
    {
        files.createFile("a.jpg");
        services->metadataAnswer = [](const std::vector<FileItem>& items) {
            MetadataMap map;
            for (const auto& item : items)
                map[item.id] = { { "exif.date", "2001-02-03T04:05:06Z" } };
            return map;
        };
        auto targets
            = run({ url("a.jpg") }, { patternRule("{exif.date:yyyy-MM-dd|Undated}_{name}") }, true);
        ASSERT_EQ(targets.size(), 1u);
        EXPECT_EQ(targets[0].lastPathComponent(), "2001-02-03_a.jpg");
    }

    TEST_F(AutomationRunnerTest, AIAnswersLandUnderPlainAndRuleKeys)
    {
        files.createFile("a.txt");
        services->aiAnswer = [](const FileItem&, AIMode mode) {
            return MetadataDictionary { { "ai.title", mode == AIMode::photos ? "Beta" : "Alpha" } };
        };
        auto first = aiRule(AIMode::smart, 6, false);
        // Asked for every file, though its condition keeps it from renaming any.
        auto second = aiRule(AIMode::photos, 6, false);
        Condition neverMatches;
        neverMatches.value = Condition::Ext { { "zzz" } };
        second.condition = ConditionGroup { true, { neverMatches } };
        // The first rule reads its own answer; the pattern reads the plain key, which the
        // later rule's answer took over.
        auto targets
            = run({ url("a.txt") }, { first, patternRule("{name}-{ai.title}"), second }, true);
        ASSERT_EQ(targets.size(), 1u);
        EXPECT_EQ(targets[0].lastPathComponent(), "Alpha-Beta.txt");
        ASSERT_EQ(services->aiCalls().size(), 2u);
        EXPECT_EQ(services->aiCalls()[0].mode, AIMode::smart);
        EXPECT_EQ(services->aiCalls()[1].mode, AIMode::photos);
    }

    TEST_F(AutomationRunnerTest, AIErrorRefusesTheBatch)
    {
        files.createFile("a.txt");
        files.createFile("b.txt");
        services->aiAnswer = [](const FileItem& item, AIMode) {
            if (item.name() == "b.txt")
                return MetadataDictionary { { "ai.error", "No readable content." } };
            return MetadataDictionary { { "ai.title", "Fine" } };
        };
        expectAutomationError(
            [&] {
                run({ url("a.txt"), url("b.txt") }, { aiRule() }, false);
            },
            std::string(AutomationError::filenameProblem) + "b.txt");
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt", "b.txt" }));
    }

    TEST_F(AutomationRunnerTest, ConflictRefusesTheWholeBatchAlsoInADryRun)
    {
        files.createFile("a.txt");
        files.createFile("b.txt");
        files.createFile("c.txt");
        // b and c both become "same.txt"; a alone would be fine.
        Condition nameB, nameC;
        nameB.value = Condition::Name { "b", false };
        nameC.value = Condition::Name { "c", false };
        Rule rule = patternRule("same");
        rule.condition = ConditionGroup { false, { nameB, nameC } };
        for (bool dryRun : { true, false }) {
            expectAutomationError(
                [&] {
                    run({ url("a.txt"), url("b.txt"), url("c.txt") },
                        { replaceRule("a", "z"), rule }, dryRun);
                },
                std::string(AutomationError::filenameProblem) + "b.txt");
        }
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt", "b.txt", "c.txt" }));
        EXPECT_FALSE(historyFileExists());
    }

    TEST_F(AutomationRunnerTest, InvalidNameRefusesTheBatch)
    {
        files.createFile("a.txt");
        files.createFile("b.txt");
        expectAutomationError(
            [&] {
                run({ url("a.txt"), url("b.txt") }, { replaceRule("b", "x/y") }, false);
            },
            std::string(AutomationError::filenameProblem) + "b.txt");
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt", "b.txt" }));
    }

    TEST_F(AutomationRunnerTest, DryRunPlansAndTouchesNothing)
    {
        files.createFile("a.txt");
        files.createFile("b.txt");
        auto targets = run({ url("b.txt"), url("a.txt") }, { patternRule("{name}_{#}") }, true);
        EXPECT_EQ(lastComponents(targets), (std::vector<std::string> { "b_1.txt", "a_2.txt" }));
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt", "b.txt" }));
        EXPECT_FALSE(historyFileExists());
        EXPECT_TRUE(store.history().empty());
    }

    TEST_F(AutomationRunnerTest, UnchangedNamesReturnTheCurrentPlacesAndRecordNothing)
    {
        files.createFile("a.txt");
        auto targets = run({ url("a.txt") }, { patternRule("{name}") }, false);
        ASSERT_EQ(targets.size(), 1u);
        EXPECT_EQ(targets[0].path, url("a.txt").path);
        EXPECT_FALSE(historyFileExists());
    }

    TEST_F(AutomationRunnerTest, AppliedBatchIsMovedAndRecorded)
    {
        files.createFile("a.txt", "A");
        files.createFile("keep.txt", "K");
        auto targets = run({ url("a.txt"), url("keep.txt") }, { replaceRule("a", "b") }, false);
        EXPECT_EQ(lastComponents(targets), (std::vector<std::string> { "b.txt", "keep.txt" }));
        EXPECT_EQ(names(), (std::vector<std::string> { "b.txt", "keep.txt" }));
        EXPECT_EQ(readFile(files / "b.txt"), "A");

        auto stored = HistoryFile::load();
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_EQ(stored[0].moves, (std::vector<RenameMove> { { url("a.txt"), url("b.txt") } }));
        EXPECT_FALSE(stored[0].backupPath);
        EXPECT_FALSE(stored[0].undone);
        EXPECT_EQ(stored[0].fingerprints.count(url("b.txt").path), 1u);
        EXPECT_EQ(store.history(), stored);
        // The runner leaves the window's own state alone.
        EXPECT_TRUE(store.items().empty());
        EXPECT_TRUE(store.undoStack().empty());
    }

    TEST_F(AutomationRunnerTest, OrganizedBatchRecordsTheFoldersItMade)
    {
        files.createFile("a.txt");
        Rule organize(RuleKind(OrganizeConfig { "sorted/inner" }));
        run({ url("a.txt") }, { organize }, false);
        EXPECT_TRUE(fs::exists(files / "sorted/inner/a.txt"));
        auto stored = HistoryFile::load();
        ASSERT_EQ(stored.size(), 1u);
        ASSERT_TRUE(stored[0].createdDirectories);
        EXPECT_EQ(stored[0].createdDirectories->size(), 2u);
    }

    TEST_F(AutomationRunnerTest, BackupFolderIsNamedByTheRecordsID)
    {
        store.setBackupEnabled(true);
        files.createFile("a.txt", "content");
        run({ url("a.txt") }, { patternRule("renamed") }, false);
        auto stored = HistoryFile::load();
        ASSERT_EQ(stored.size(), 1u);
        ASSERT_TRUE(stored[0].backupPath);
        auto expected = JSONFiles::applicationFolder() / "Backups" / stored[0].id.text();
        EXPECT_EQ(stored[0].backupPath->path, expected.string());
        EXPECT_TRUE(fs::exists(expected / "manifest.json"));
    }

    TEST_F(AutomationRunnerTest, FullHistoryKeepsFiveHundredWithTheNewOneFirst)
    {
        std::vector<HistoryRecord> full(500);
        for (auto& record : full) {
            record.id = Uuid::random();
            record.date = Date::now();
        }
        JSONFiles::save(full, HistoryFile::fileName);
        files.createFile("a.txt");
        run({ url("a.txt") }, { patternRule("b") }, false);
        auto stored = HistoryFile::load();
        ASSERT_EQ(stored.size(), 500u);
        EXPECT_EQ(stored[0].moves.size(), 1u);
        EXPECT_EQ(stored[1], full[0]);
        EXPECT_EQ(stored[499], full[498]);
        // The store lists the history as saved.
        EXPECT_EQ(store.history(), stored);
    }

    TEST_F(AutomationRunnerTest, UnreadableHistoryLeavesTheFilesRenamedAndSaysSo)
    {
        fs::create_directories(JSONFiles::applicationFolder());
        std::ofstream(JSONFiles::applicationFolder() / HistoryFile::fileName) << "not json";
        files.createFile("a.txt");
        try {
            run({ url("a.txt") }, { patternRule("b") }, false);
            FAIL() << "no error";
        } catch (const AutomationError& error) {
            EXPECT_TRUE(std::string(error.what()).starts_with(AutomationError::historyNotSaved))
                << error.what();
            EXPECT_GT(std::string(error.what()).size(), AutomationError::historyNotSaved.size());
        }
        EXPECT_EQ(names(), (std::vector<std::string> { "b.txt" }));
        EXPECT_EQ(readFile(JSONFiles::applicationFolder() / HistoryFile::fileName), "not json");
        EXPECT_TRUE(store.history().empty());
    }

    TEST_F(AutomationRunnerTest, SourceChangedWhilePreparingIsRefused)
    {
        struct Case {
            const char* label;
            std::function<void(const fs::path&)> change;
        };
        std::vector<Case> cases {
            { "content grows",
                [](const fs::path& path) { std::ofstream(path, std::ios::app) << "more"; } },
            { "modification date",
                [](const fs::path& path) {
                    fs::last_write_time(path, fs::last_write_time(path) - std::chrono::hours(1));
                } },
            { "replaced by another file",
                [](const fs::path& path) {
                    auto other = path.string() + ".new";
                    std::ofstream(other) << "same";
                    fs::last_write_time(other, fs::last_write_time(path));
                    fs::rename(other, path);
                } },
        };
        for (const auto& each : cases) {
            auto path = files.createFile("a.txt", "same", 1'600'000'000);
            files.createFile("b.txt");
            services->aiAnswer = [&](const FileItem& item, AIMode) {
                if (item.name() == "b.txt")
                    each.change(path);
                return MetadataDictionary { { "ai.title", item.baseName() + "-new" } };
            };
            expectAutomationError(
                [&] {
                    run({ url("a.txt"), url("b.txt") }, { aiRule(AIMode::smart, 6, false) }, false);
                },
                AutomationError::sourceChanged);
            EXPECT_EQ(names(), (std::vector<std::string> { "a.txt", "b.txt" })) << each.label;
            EXPECT_FALSE(historyFileExists()) << each.label;
            fs::remove(files / "a.txt");
            fs::remove(files / "b.txt");
        }
    }

    TEST_F(AutomationRunnerTest, SourceChangedDuringMetadataCoversUnmovedItemsToo)
    {
        files.createFile("a.txt");
        auto keep = files.createFile("keep.txt", "x");
        services->metadataAnswer = [&](const std::vector<FileItem>&) {
            std::ofstream(keep, std::ios::app) << "y";
            return MetadataMap {};
        };
        // Only a.txt moves, but keep.txt changed as well.
        Condition onlyA;
        onlyA.value = Condition::Name { "a.txt", true };
        Rule rule = patternRule("{name}-{exif.date|none}");
        rule.condition = ConditionGroup { true, { onlyA } };
        expectAutomationError(
            [&] {
                run({ url("a.txt"), url("keep.txt") }, { rule }, false);
            },
            AutomationError::sourceChanged);
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt", "keep.txt" }));
    }

    TEST_F(AutomationRunnerTest, SourceRemovedWhilePreparingIsAProblemOfItsRow)
    {
        auto path = files.createFile("a.txt");
        services->aiAnswer = [&](const FileItem&, AIMode) {
            fs::remove(path);
            return MetadataDictionary { { "ai.title", "new" } };
        };
        // The plan finds the vanished file gone, as the executor's check would.
        try {
            run({ url("a.txt") }, { aiRule(AIMode::smart, 6, false) }, false);
            ADD_FAILURE() << "a batch over a file that is gone ran";
        } catch (const BlockedBatchError& error) {
            ASSERT_EQ(error.rows().size(), 1U);
            EXPECT_EQ(error.rows()[0].reason, RenamePipeline::missingFileReason);
        }
        EXPECT_FALSE(historyFileExists());
    }

    TEST_F(AutomationRunnerTest, CancelledRunStopsBeforeAIAndBeforePlanning)
    {
        files.createFile("a.txt");
        std::stop_source stopped;
        stopped.request_stop();
        EXPECT_THROW(
            run({ url("a.txt") }, { aiRule() }, false, stopped.get_token()), CancellationError);
        EXPECT_TRUE(services->aiCalls().empty());
        EXPECT_THROW(run({ url("a.txt") }, { patternRule("b") }, false, stopped.get_token()),
            CancellationError);
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt" }));

        // Stopped while the first of two files is being named: the second is never asked.
        files.createFile("b.txt");
        std::stop_source later;
        services->aiAnswer = [&](const FileItem&, AIMode) {
            later.request_stop();
            return MetadataDictionary { { "ai.title", "x" } };
        };
        EXPECT_THROW(run({ url("a.txt"), url("b.txt") }, { aiRule() }, false, later.get_token()),
            CancellationError);
        EXPECT_EQ(services->aiCalls().size(), 1u);
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt", "b.txt" }));
    }

    TEST_F(AutomationRunnerTest, PlanMadeOnAnotherThreadIsCommittedOnTheStoresThread)
    {
        files.createFile("a.txt", "A");
        AutomationRunner runner(store, services);
        auto snapshot = runner.snapshot();
        AutomationPlan plan;
        std::thread([&] {
            plan = runner.prepare(snapshot, { url("a.txt") }, { replaceRule("a", "b") }, false);
        }).join();
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt" })) << "planning moves nothing";
        EXPECT_FALSE(historyFileExists());
        EXPECT_EQ(lastComponents(plan.targets()), (std::vector<std::string> { "b.txt" }));

        EXPECT_EQ(lastComponents(runner.commit(plan)), (std::vector<std::string> { "b.txt" }));
        EXPECT_EQ(names(), (std::vector<std::string> { "b.txt" }));
        EXPECT_EQ(store.history().size(), 1u);
    }

    TEST_F(AutomationRunnerTest, PlanThatWentStaleIsRefusedBeforeAnythingMoves)
    {
        files.createFile("a.txt", "A");
        files.createFile("c.txt", "C");
        AutomationRunner runner(store, services);
        auto plan = runner.prepare(
            runner.snapshot(), { url("a.txt"), url("c.txt") }, { patternRule("{name}-x") }, false);

        files.createFile("c.txt", "changed meanwhile");
        expectAutomationError([&] { runner.commit(plan); }, AutomationError::sourceChanged);
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt", "c.txt" }));

        // A grant removed meanwhile: refused by the folder access, nothing moved.
        plan = runner.prepare(
            runner.snapshot(), { url("a.txt") }, { patternRule("{name}-x") }, false);
        store.folderAccess().remove(FileURL(files.path().string(), true));
        EXPECT_THROW(runner.commit(plan), FileError);
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt", "c.txt" }));
        EXPECT_FALSE(historyFileExists());
    }

    TEST_F(AutomationRunnerTest, PlanningUsesTheSnapshotNotTheStore)
    {
        files.createFile("a.txt");
        AutomationRunner runner(store, services);
        expectAutomationError(
            [&] {
                runner.prepare(AutomationSnapshot {}, { url("a.txt") }, { patternRule("b") }, true);
            },
            AutomationError::grantRequired);
    }

} // namespace
} // namespace sorvik
