#include "app/store/renamer_store.h"

#include "app/store/json_files.h"
#include "app/store/saved_session.h"
#include "app/store/user_defaults.h"
#include "tests/app/store/store_test_support.h"
#include "tests/support/temporary_folder.h"

#include <QElapsedTimer>

#include <fstream>
#include <unordered_set>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::FakeServices;
    using testing::IsolatedHome;
    using testing::patternRule;
    using testing::readFile;
    using testing::waitUntil;

    void writeText(const std::filesystem::path& path, std::string_view text)
    {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

    std::filesystem::path sessionFile()
    {
        return JSONFiles::applicationFolder() / "last-session.json";
    }
    std::filesystem::path presetsFile() { return JSONFiles::applicationFolder() / "presets.json"; }

    class StoreStartup : public ::testing::Test {
    protected:
        IsolatedHome home;
        std::shared_ptr<FakeServices> services = std::make_shared<FakeServices>();
    };

    TEST_F(StoreStartup, FirstLaunchStartsEmptyAndWritesNothing)
    {
        RenamerStore store(services);
        EXPECT_FALSE(store.loading());
        EXPECT_TRUE(store.rules().empty());
        EXPECT_TRUE(store.items().empty());
        EXPECT_EQ(store.sortKey(), SortKey::added);
        EXPECT_TRUE(store.ascending());
        EXPECT_FALSE(store.backupEnabled());
        EXPECT_TRUE(store.onlinePlaces());
        EXPECT_EQ(store.filter(), "All");
        EXPECT_FALSE(store.message());
        EXPECT_TRUE(store.presets().empty());
        // One preview request over the empty list.
        EXPECT_EQ(store.revision(), 1);
        EXPECT_TRUE(store.isPlanning());
        ASSERT_TRUE(waitUntil([&] { return !store.isPlanning(); }));
        EXPECT_TRUE(store.rawPreviews().empty());

        EXPECT_FALSE(std::filesystem::exists(sessionFile()));
        EXPECT_FALSE(std::filesystem::exists(presetsFile()));
        EXPECT_FALSE(std::filesystem::exists(UserDefaults::path().toStdString()));
    }

    TEST_F(StoreStartup, RestoresSessionAndPresetsWithoutSavingOrExtraRequests)
    {
        auto rule = patternRule("{name}_x");
        JSONFiles::save(SavedSession { 1, { rule }, SortKey::size, false }, SavedSession::fileName);
        Preset preset("Trip", "photo", "3478F6", { rule });
        JSONFiles::save(SavedPresets { 1, { preset } }, SavedPresets::fileName);
        auto sessionBefore = readFile(sessionFile());

        QUndoStack undo;
        RenamerStore store(services);
        store.setRuleUndoManager(&undo);
        EXPECT_EQ(store.rules(), std::vector<Rule> { rule });
        EXPECT_EQ(store.sortKey(), SortKey::size);
        EXPECT_FALSE(store.ascending());
        EXPECT_EQ(store.presets(), std::vector<Preset> { preset });
        EXPECT_EQ(store.revision(), 1);
        EXPECT_EQ(undo.count(), 0);
        EXPECT_FALSE(store.message());
        EXPECT_EQ(readFile(sessionFile()), sessionBefore);
    }

    TEST_F(StoreStartup, RepeatedRuleIdsFromTheFilesGetNewOnesInMemory)
    {
        auto first = patternRule("{name}_1");
        auto repeated = patternRule("{name}_2");
        repeated.id = first.id;
        auto other = patternRule("{name}_3");
        JSONFiles::save(
            SavedSession { 1, { first, repeated, other, repeated }, SortKey::name, true },
            SavedSession::fileName);
        Preset preset("Twice", "doc", "3478F6", { first, first });
        JSONFiles::save(SavedPresets { 1, { preset } }, SavedPresets::fileName);
        auto sessionBefore = readFile(sessionFile());
        auto presetsBefore = readFile(presetsFile());

        RenamerStore store(services);
        const auto& rules = store.rules();
        ASSERT_EQ(rules.size(), 4u);
        // The first of each id keeps it; the others get ids of their own and keep the rest.
        EXPECT_EQ(rules[0], first);
        EXPECT_EQ(rules[2], other);
        std::unordered_set<Uuid> ids;
        for (const auto& rule : rules)
            ids.insert(rule.id);
        EXPECT_EQ(ids.size(), 4u);
        EXPECT_EQ(rules[1].kind, repeated.kind);
        EXPECT_EQ(rules[3].kind, repeated.kind);

        ASSERT_EQ(store.presets().size(), 1u);
        const auto& loaded = store.presets()[0].rules;
        ASSERT_EQ(loaded.size(), 2u);
        EXPECT_EQ(loaded[0], first);
        EXPECT_NE(loaded[1].id, first.id);
        EXPECT_EQ(loaded[1].kind, first.kind);

        // Only in memory: the files are rewritten when they are next saved anyway.
        store.flushSession();
        EXPECT_EQ(readFile(sessionFile()), sessionBefore);
        EXPECT_EQ(readFile(presetsFile()), presetsBefore);
        EXPECT_FALSE(store.message());
    }

    TEST_F(StoreStartup, RecordsOfAnotherSchemaVersionAreIgnoredSilently)
    {
        JSONFiles::save(
            SavedSession { 2, { patternRule("x") }, SortKey::name, false }, SavedSession::fileName);
        JSONFiles::save(
            SavedPresets { 2, { Preset("P", "doc", "3478F6", {}) } }, SavedPresets::fileName);
        RenamerStore store(services);
        EXPECT_TRUE(store.rules().empty());
        EXPECT_EQ(store.sortKey(), SortKey::added);
        EXPECT_TRUE(store.presets().empty());
        EXPECT_FALSE(store.message());
    }

    TEST_F(StoreStartup, CorruptSessionIsReportedAndPresetsStillLoad)
    {
        writeText(sessionFile(), "{ not json");
        Preset preset("Kept", "doc", "3478F6", {});
        JSONFiles::save(SavedPresets { 1, { preset } }, SavedPresets::fileName);

        RenamerStore store(services);
        ASSERT_TRUE(store.message());
        EXPECT_FALSE(store.message()->empty());
        EXPECT_EQ(store.presets(), std::vector<Preset> { preset });
        EXPECT_TRUE(store.rules().empty());
        // The presets were read, so they can be written.
        EXPECT_NO_THROW(store.writePresets({}));
        EXPECT_EQ(JSONFiles::load<SavedPresets>(SavedPresets::fileName)->presets.size(), 0u);
    }

    TEST_F(StoreStartup, UnreadablePresetsAreNeverWrittenOver)
    {
        auto rule = patternRule("{name}");
        JSONFiles::save(SavedSession { 1, { rule }, SortKey::name, true }, SavedSession::fileName);
        const std::string broken = "{\"presets\": [{\"name\": 1}], \"schemaVersion\": 1}";
        writeText(presetsFile(), broken);

        RenamerStore store(services);
        EXPECT_EQ(store.rules(), std::vector<Rule> { rule });
        EXPECT_EQ(store.sortKey(), SortKey::name);
        ASSERT_TRUE(store.message());
        EXPECT_TRUE(store.presets().empty());
        try {
            store.writePresets({ Preset("New", "doc", "3478F6", {}) });
            FAIL() << "writing over unreadable presets";
        } catch (const Error& error) {
            EXPECT_NE(
                std::string(error.what()).find("presets could not be read"), std::string::npos)
                << error.what();
        }
        EXPECT_EQ(readFile(presetsFile()), broken);
    }

    TEST_F(StoreStartup, BothFilesCorruptReportBoth)
    {
        writeText(sessionFile(), "[");
        writeText(presetsFile(), "]");
        RenamerStore store(services);
        ASSERT_TRUE(store.message());
        EXPECT_NE(store.message()->find('\n'), std::string::npos) << *store.message();
    }

    TEST_F(StoreStartup, UserDefaultsFollowTheirAbsentAndNotABoolRules)
    {
        struct Case {
            std::optional<QString> backup;
            std::optional<QString> online;
            bool backupEnabled;
            bool onlinePlaces;
        };
        const Case cases[] = {
            { std::nullopt, std::nullopt, false, true },
            { "true", "false", true, false },
            { "false", "true", false, true },
            { "yes", "yes", false, true },
            { "1", "0", false, true },
            { "", "", false, true },
        };
        for (const auto& test : cases) {
            IsolatedHome fresh;
            if (test.backup)
                UserDefaults::setText(UserDefaults::backupEnabledKey, *test.backup);
            if (test.online)
                UserDefaults::setText(UserDefaults::onlinePlacesKey, *test.online);
            RenamerStore store(services);
            EXPECT_EQ(store.backupEnabled(), test.backupEnabled)
                << test.backup.value_or("-").toStdString();
            EXPECT_EQ(store.onlinePlaces(), test.onlinePlaces)
                << test.online.value_or("-").toStdString();
        }
    }

    TEST_F(StoreStartup, SettingsThatCannotBeReadAreReported)
    {
        auto settings = std::filesystem::path(UserDefaults::path().toStdString());
        std::filesystem::create_directories(settings.parent_path());
        ASSERT_EQ(::mkfifo(settings.c_str(), 0600), 0);
        RenamerStore store(services); // returns instead of waiting for a writer
        ASSERT_TRUE(store.settingsError());
        EXPECT_NE(store.settingsError()->find("\u201Csorvik.conf\u201D"), std::string::npos);
        EXPECT_EQ(store.message(), store.settingsError());
        EXPECT_FALSE(store.backupEnabled());
        EXPECT_TRUE(store.onlinePlaces());
        EXPECT_THROW(store.backupDirectoryFor(Uuid::random()), Error);

        store.setMessage(std::nullopt);
        store.setOnlinePlaces(false);
        EXPECT_TRUE(store.message()) << "the setting could not be stored";
        EXPECT_TRUE(store.settingsError()) << "backups are still unknown";
        store.setBackupEnabled(false);
        EXPECT_FALSE(store.settingsError());
        EXPECT_EQ(store.backupDirectoryFor(Uuid::random()), std::nullopt);
    }

    TEST_F(StoreStartup, SettersStoreTheDefaults)
    {
        {
            RenamerStore store(services);
            store.setBackupEnabled(true);
            store.setOnlinePlaces(false);
        }
        EXPECT_EQ(UserDefaults::boolValue(UserDefaults::backupEnabledKey), true);
        EXPECT_EQ(UserDefaults::boolValue(UserDefaults::onlinePlacesKey), false);
        RenamerStore store(services);
        EXPECT_TRUE(store.backupEnabled());
        EXPECT_FALSE(store.onlinePlaces());
    }

    TEST_F(StoreStartup, ChangingTheSortKeyPlansAndSavesTheSession)
    {
        RenamerStore store(services);
        auto revision = store.revision();
        store.setSortKey(SortKey::name);
        EXPECT_EQ(store.revision(), revision + 1);
        store.flushSession();
        auto saved = JSONFiles::load<SavedSession>(SavedSession::fileName);
        ASSERT_TRUE(saved);
        EXPECT_EQ(saved->sort, SortKey::name);
        EXPECT_TRUE(saved->ascending);
        store.setAscending(false);
        EXPECT_EQ(store.revision(), revision + 2);
        store.flushSession();
        EXPECT_FALSE(JSONFiles::load<SavedSession>(SavedSession::fileName)->ascending);
    }

    TEST_F(StoreStartup, TurningPlaceLookupOffPlansWithoutPlaces)
    {
        RenamerStore store(services);
        store.setItems({ FileItem(FileURL("/nowhere/a.jpg"), true, {}, {}, 0, 0) });
        store.setRules({ patternRule("{gps.city|x}") });
        ASSERT_TRUE(waitUntil([&] { return !store.isPlanning(); }));
        store.setOnlinePlaces(false);
        ASSERT_TRUE(waitUntil([&] { return !store.isPlanning(); }));
        auto calls = services->metadataCalls();
        ASSERT_GE(calls.size(), 1u);
        EXPECT_FALSE(calls.back().lookUpPlaces);
        EXPECT_EQ(UserDefaults::boolValue(UserDefaults::onlinePlacesKey), false);
    }

    TEST_F(StoreStartup, FailedSessionSaveIsReported)
    {
        RenamerStore store(services);
        std::filesystem::remove_all(JSONFiles::applicationFolder());
        writeText(JSONFiles::applicationFolder(), "a file where the folder belongs");
        store.setSortKey(SortKey::size);
        store.flushSession();
        EXPECT_TRUE(store.message());
        EXPECT_EQ(store.sortKey(), SortKey::size);
    }

    TEST_F(StoreStartup, ToastClearsItselfUnlessAnotherTextReplacedIt)
    {
        RenamerStore store(services);
        QElapsedTimer clock;
        clock.start();
        store.showToast("First");
        testing::runEvents(1000);
        store.showToast("Second");
        auto secondShown = clock.elapsed();
        ASSERT_TRUE(waitUntil([&] { return !store.toast(); }));
        // The first call's timer left the second text; only its own timer cleared it.
        EXPECT_GE(clock.elapsed() - secondShown, 2400);
    }

    TEST_F(StoreStartup, SameToastTwiceIsClearedByTheFirstTimer)
    {
        RenamerStore store(services);
        QElapsedTimer clock;
        clock.start();
        store.showToast("Same");
        testing::runEvents(1000);
        store.showToast("Same");
        auto secondShown = clock.elapsed();
        ASSERT_TRUE(waitUntil([&] { return !store.toast(); }));
        EXPECT_LT(clock.elapsed() - secondShown, 2400);
    }

    TEST_F(StoreStartup, SharedStoreIsMadeOnceAndUsesTheDefaultServices)
    {
        RenamerStore::setDefaultPreviewServices(services);
        EXPECT_EQ(RenamerStore::defaultPreviewServices(), services);
        std::atomic<RenamerStore*> fromThread { nullptr };
        std::thread other([&] { fromThread = &RenamerStore::shared(); });
        // The other thread's first use is served on this thread.
        ASSERT_TRUE(waitUntil([&] { return fromThread.load() != nullptr; }));
        other.join();
        EXPECT_EQ(fromThread.load(), &RenamerStore::shared());
        EXPECT_EQ(RenamerStore::shared().thread(), QCoreApplication::instance()->thread());
        RenamerStore::setDefaultPreviewServices(nullptr);
    }

} // namespace
} // namespace sorvik
