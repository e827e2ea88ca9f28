#include "app/store/renamer_store.h"

#include "app/store/file_error.h"
#include "app/store/json_files.h"
#include "app/store/preset_document.h"
#include "app/store/saved_session.h"
#include "engine/model/json.h"
#include "tests/app/store/fake_dialogs.h"
#include "tests/app/store/store_test_support.h"
#include "tests/support/temporary_folder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace sorvik {
namespace {

    using testing::FakeDialogs;
    using testing::FakeServices;
    using testing::IsolatedHome;
    using testing::patternRule;
    using testing::readFile;
    using testing::replaceRule;
    using testing::TemporaryFolder;

    std::filesystem::path presetsPath()
    {
        return JSONFiles::applicationFolder() / SavedPresets::fileName;
    }

    void writeText(const std::filesystem::path& path, std::string_view text)
    {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    }

    /// Puts a file where the application folder should be, so nothing can be saved there.
    void blockApplicationFolder()
    {
        auto folder = JSONFiles::applicationFolder();
        std::filesystem::remove_all(folder);
        writeText(folder, "not a folder");
    }

    Preset tripPreset()
    {
        return Preset(
            "Trip", "airplane", "FF9500", { patternRule("{name}_trip"), replaceRule(" ", "_") });
    }

    class StorePresets : public ::testing::Test {
    protected:
        void SetUp() override { store.setDialogs(&dialogs); }

        IsolatedHome home;
        TemporaryFolder documents;
        FakeDialogs dialogs;
        RenamerStore store { std::make_shared<FakeServices>() };
    };

    TEST_F(StorePresets, SaveTrimsTheNameStoresTheRulesAndClosesTheSheet)
    {
        store.setRules({ patternRule("{name}_x") });
        store.setShowingSavePreset(true);
        store.savePreset(" \t Trip\n", "photo", "FF0000");
        ASSERT_EQ(store.presets().size(), 1U);
        const auto& preset = store.presets()[0];
        EXPECT_EQ(preset.name, "Trip");
        EXPECT_EQ(preset.symbol, "photo");
        EXPECT_EQ(preset.colorHex, "FF0000");
        EXPECT_EQ(preset.rules, store.rules());
        EXPECT_EQ(preset.schemaVersion, 1);
        EXPECT_FALSE(preset.isBuiltIn);
        EXPECT_FALSE(store.showingSavePreset());
        EXPECT_EQ(JSONFiles::load<SavedPresets>(SavedPresets::fileName),
            (SavedPresets { 1, store.presets() }));
        EXPECT_FALSE(store.message());
    }

    TEST_F(StorePresets, ABlankNameIsIgnored)
    {
        store.setShowingSavePreset(true);
        for (std::string_view name : { "", " ", "\n\t \u00A0" })
            store.savePreset(name, "photo", "FF0000");
        EXPECT_TRUE(store.presets().empty());
        EXPECT_TRUE(store.showingSavePreset());
        EXPECT_FALSE(std::filesystem::exists(presetsPath()));
        EXPECT_FALSE(store.message());
    }

    TEST_F(StorePresets, TwoPresetsMayShareANameAndDeleteRemovesByID)
    {
        store.savePreset("Trip", "photo", "FF0000");
        store.savePreset("Trip", "photo", "FF0000");
        store.savePreset("Other", "doc", "3478F6");
        ASSERT_EQ(store.presets().size(), 3U);
        EXPECT_NE(store.presets()[0].id, store.presets()[1].id);

        auto kept = std::vector<Preset> { store.presets()[0], store.presets()[2] };
        store.deletePreset(store.presets()[1].id);
        EXPECT_EQ(store.presets(), kept);
        EXPECT_EQ(
            JSONFiles::load<SavedPresets>(SavedPresets::fileName), (SavedPresets { 1, kept }));
    }

    TEST_F(StorePresets, DeletingAnUnknownIDRewritesTheUnchangedList)
    {
        ASSERT_FALSE(std::filesystem::exists(presetsPath()));
        store.deletePreset(Uuid::random());
        EXPECT_TRUE(store.presets().empty());
        EXPECT_EQ(JSONFiles::load<SavedPresets>(SavedPresets::fileName), (SavedPresets { 1, {} }));
    }

    TEST_F(StorePresets, AFailedWriteKeepsTheListAndTheSheet)
    {
        store.savePreset("First", "photo", "FF0000");
        auto before = store.presets();
        blockApplicationFolder();
        store.setShowingSavePreset(true);
        store.savePreset("Second", "photo", "FF0000");
        EXPECT_EQ(store.presets(), before);
        EXPECT_TRUE(store.showingSavePreset());
        ASSERT_TRUE(store.message());

        store.setMessage(std::nullopt);
        store.deletePreset(before[0].id);
        EXPECT_EQ(store.presets(), before);
        EXPECT_TRUE(store.message());
    }

    TEST_F(StorePresets, ExportProposesTheNameAndWritesTheDocument)
    {
        auto preset = tripPreset();
        auto destination = documents / "Trip.twpreset";
        dialogs.saveAnswer = FileURL(destination.string());
        store.exportPreset(preset);
        ASSERT_EQ(dialogs.saveRequests.size(), 1U);
        EXPECT_EQ(dialogs.saveRequests[0].proposedName, "Trip.twpreset");
        EXPECT_EQ(dialogs.saveRequests[0].allowedTypes,
            std::vector<DocumentType> { PresetDocument::presetDocumentType() });
        auto written = readFile(destination);
        EXPECT_EQ(written, json::serialize(json::Json(preset)));
        EXPECT_NE(written.find("\n  \"colorHex\" : \"FF9500\""), std::string::npos) << written;
        EXPECT_FALSE(store.message());

        // It comes back as the same preset, but as a new one of the user's.
        store.importPreset(FileURL(destination.string()));
        ASSERT_EQ(store.presets().size(), 1U);
        auto imported = store.presets()[0];
        EXPECT_NE(imported.id, preset.id);
        imported.id = preset.id;
        EXPECT_EQ(imported, preset);
        EXPECT_EQ(JSONFiles::load<SavedPresets>(SavedPresets::fileName),
            (SavedPresets { 1, store.presets() }));
    }

    TEST_F(StorePresets, ExportCancelledOrFailingWritesNothing)
    {
        store.exportPreset(tripPreset());
        EXPECT_EQ(dialogs.saveRequests.size(), 1U);
        EXPECT_TRUE(std::filesystem::is_empty(documents.path()));
        EXPECT_FALSE(store.message());

        dialogs.saveAnswer = FileURL((documents / "missing/Trip.twpreset").string());
        store.exportPreset(tripPreset());
        EXPECT_TRUE(std::filesystem::is_empty(documents.path()));
        ASSERT_TRUE(store.message());
        EXPECT_NE(store.message()->find("Trip.twpreset"), std::string::npos) << *store.message();
    }

    TEST_F(StorePresets, WithoutDialogsNothingIsAsked)
    {
        store.setDialogs(nullptr);
        store.exportPreset(tripPreset());
        store.importPresetWithPanel();
        EXPECT_TRUE(dialogs.saveRequests.empty());
        EXPECT_TRUE(dialogs.openRequests.empty());
        EXPECT_TRUE(store.presets().empty());
    }

    TEST_F(StorePresets, TheImportDialogAcceptsPresetAndJSONFiles)
    {
        store.importPresetWithPanel();
        ASSERT_EQ(dialogs.openRequests.size(), 1U);
        EXPECT_EQ(dialogs.openRequests[0],
            (std::vector<DocumentType> {
                PresetDocument::presetDocumentType(), PresetDocument::jsonDocumentType() }));
        EXPECT_TRUE(store.presets().empty());

        auto file = documents / "shared.json";
        writeText(file, PresetDocument::encode(tripPreset()));
        dialogs.openAnswer = FileURL(file.string());
        store.importPresetWithPanel();
        ASSERT_EQ(store.presets().size(), 1U);
        EXPECT_EQ(store.presets()[0].name, "Trip");
    }

    TEST_F(StorePresets, ImportingTwiceAddsTwoPresetsAndNeverABuiltInOne)
    {
        auto preset = tripPreset();
        preset.isBuiltIn = true;
        auto file = documents / "Trip.twpreset";
        writeText(file, PresetDocument::encode(preset));
        store.importPreset(FileURL(file.string()));
        store.importPreset(FileURL(file.string()));
        ASSERT_EQ(store.presets().size(), 2U);
        EXPECT_EQ(store.presets()[0].name, "Trip");
        EXPECT_EQ(store.presets()[1].name, "Trip");
        EXPECT_NE(store.presets()[0].id, store.presets()[1].id);
        EXPECT_FALSE(store.presets()[0].isBuiltIn);
        EXPECT_FALSE(store.presets()[1].isBuiltIn);
    }

    TEST_F(StorePresets, RepeatedRuleIDsGetNewOnes)
    {
        auto preset = tripPreset();
        auto repeated = preset.rules[0];
        repeated.kind = RuleKind(PatternConfig { "{name}_again" });
        preset.rules.push_back(repeated);
        preset.rules.push_back(repeated);
        auto file = documents / "Trip.twpreset";
        writeText(file, PresetDocument::encode(preset));
        store.importPreset(FileURL(file.string()));
        ASSERT_EQ(store.presets().size(), 1U);
        const auto& rules = store.presets()[0].rules;
        ASSERT_EQ(rules.size(), 4U);
        EXPECT_EQ(rules[0].id, preset.rules[0].id);
        EXPECT_EQ(rules[1].id, preset.rules[1].id);
        EXPECT_NE(rules[2].id, rules[0].id);
        EXPECT_NE(rules[3].id, rules[0].id);
        EXPECT_NE(rules[3].id, rules[2].id);
        for (std::size_t index = 0; index < rules.size(); ++index)
            EXPECT_EQ(rules[index].kind, preset.rules[index].kind);
    }

    TEST_F(StorePresets, TheSizeLimitIsTwoMillionBytes)
    {
        auto document = PresetDocument::encode(tripPreset());
        auto file = documents / "padded.twpreset";
        // JSON allows white space after the object: the document keeps its meaning.
        writeText(file, document + std::string(1'999'999 - document.size(), ' '));
        ASSERT_EQ(std::filesystem::file_size(file), 1'999'999U);
        store.importPreset(FileURL(file.string()));
        EXPECT_EQ(store.presets().size(), 1U);
        EXPECT_FALSE(store.message());

        writeText(file, document + std::string(2'000'000 - document.size(), ' '));
        store.importPreset(FileURL(file.string()));
        EXPECT_EQ(store.presets().size(), 1U);
        EXPECT_EQ(store.message(),
            FileError::withCode(FileError::Code::fileReadTooLarge, file.string()).what());
    }

    TEST_F(StorePresets, ImportingSeveralKeepsEveryFailureOnALineOfItsOwn)
    {
        auto good = documents / "good.twpreset";
        writeText(good, PresetDocument::encode(tripPreset()));
        auto broken = documents / "broken.twpreset";
        writeText(broken, "{ \"name\": ");
        auto absent = documents / "absent.twpreset";
        store.setMessage("Shown already.");

        store.importPresets({ FileURL(broken.string()), FileURL(good.string()),
            FileURL(absent.string()), FileURL(good.string()) });
        ASSERT_EQ(store.presets().size(), 2u);
        EXPECT_EQ(store.presets()[0].name, "Trip");
        ASSERT_TRUE(store.message());
        auto lines = *store.message();
        EXPECT_TRUE(lines.starts_with("Shown already.\n")) << lines;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 2) << lines;
        EXPECT_TRUE(lines.ends_with(FileError::reading(absent.string(), ENOENT).what())) << lines;

        // Without a failure the message stays as it is; without one showing, only failures.
        store.importPresets({ FileURL(good.string()) });
        EXPECT_EQ(*store.message(), lines);
        store.setMessage(std::nullopt);
        store.importPresets({ FileURL(absent.string()) });
        EXPECT_EQ(store.message(), FileError::reading(absent.string(), ENOENT).what());
        store.setMessage(std::nullopt);
        store.importPresets({});
        EXPECT_FALSE(store.message());
    }

    TEST_F(StorePresets, ImportRefusalsLeaveThePresetsAsTheyWere)
    {
        store.savePreset("Kept", "photo", "FF0000");
        auto before = store.presets();
        auto stored = readFile(presetsPath());

        auto wrongVersion = tripPreset();
        wrongVersion.schemaVersion = 2;
        auto missingKey = json::Json(tripPreset());
        missingKey.erase("symbol");
        auto fifo = documents / "pipe.twpreset";
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        documents.createFolder("folder.twpreset");

        struct Case {
            std::string name;
            std::string content; // written unless empty
            std::string expectedMessage; // compared unless empty
        };
        const Case cases[] = {
            { "version2.twpreset", PresetDocument::encode(wrongVersion),
                FileError::withCode(FileError::Code::fileReadCorruptFile,
                    (documents / "version2.twpreset").string())
                    .what() },
            { "broken.twpreset", "{ \"name\": ", "" },
            { "missing-key.twpreset", json::serialize(missingKey), "" },
            { "list.twpreset", "[" + PresetDocument::encode(tripPreset()) + "]", "" },
            { "empty.twpreset", " ", "" },
            { "absent.twpreset", "",
                FileError::reading((documents / "absent.twpreset").string(), ENOENT).what() },
            { "pipe.twpreset", "", "" },
            { "folder.twpreset", "", "" },
        };
        for (const auto& item : cases) {
            auto path = documents / item.name;
            if (!item.content.empty())
                writeText(path, item.content);
            store.setMessage(std::nullopt);
            store.importPreset(FileURL(path.string()));
            EXPECT_EQ(store.presets(), before) << item.name;
            EXPECT_EQ(readFile(presetsPath()), stored) << item.name;
            ASSERT_TRUE(store.message()) << item.name;
            if (!item.expectedMessage.empty()) {
                EXPECT_EQ(*store.message(), item.expectedMessage) << item.name;
            }
        }
    }

    TEST_F(StorePresets, ASaveThatFailsDuringImportKeepsTheList)
    {
        auto file = documents / "Trip.twpreset";
        writeText(file, PresetDocument::encode(tripPreset()));
        blockApplicationFolder();
        store.importPreset(FileURL(file.string()));
        EXPECT_TRUE(store.presets().empty());
        EXPECT_TRUE(store.message());
    }

    TEST(StorePresetsStartup, PresetsOfAnotherSchemaVersionAreSkippedAndNeverOverwritten)
    {
        IsolatedHome home;
        TemporaryFolder documents;
        auto newer = tripPreset();
        SavedPresets saved { 2, { newer } };
        JSONFiles::save(saved, SavedPresets::fileName);
        auto stored = readFile(presetsPath());

        RenamerStore store(std::make_shared<FakeServices>());
        EXPECT_TRUE(store.presets().empty());
        EXPECT_FALSE(store.message()) << "skipped without a word at start-up";

        store.setShowingSavePreset(true);
        store.savePreset("Mine", "photo", "FF0000");
        ASSERT_TRUE(store.message());
        EXPECT_TRUE(store.message()->starts_with(
            "Your presets could not be read when sorvik started, so they were left unchanged. "))
            << *store.message();
        EXPECT_NE(store.message()->find("schema version 2"), std::string::npos) << *store.message();
        // It names the file and the way out.
        EXPECT_TRUE(store.message()->ends_with(" To start afresh with no saved presets, move \u201C"
            + presetsPath().string() + "\u201D aside and open sorvik again."))
            << *store.message();
        EXPECT_TRUE(store.presets().empty());
        EXPECT_TRUE(store.showingSavePreset());

        store.deletePreset(newer.id);
        auto file = documents / "Trip.twpreset";
        writeText(file, PresetDocument::encode(tripPreset()));
        store.importPreset(FileURL(file.string()));
        EXPECT_TRUE(store.presets().empty());
        EXPECT_EQ(readFile(presetsPath()), stored);
    }

} // namespace
} // namespace sorvik
