#include "app/shell/presets_menu.h"

#include "app/store/preset_document.h"
#include "app/store/starter_presets.h"
#include "tests/app/shell/shell_test_support.h"

#include <QAction>
#include <QMenu>
#include <QUndoStack>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::waitUntil;

    QStringList texts(const QMenu& menu)
    {
        QStringList result;
        for (auto* action : menu.actions())
            result.append(action->isSeparator() ? QStringLiteral("-") : action->text());
        return result;
    }

    QAction* actionNamed(const QMenu& menu, const QString& text)
    {
        for (auto* action : menu.actions()) {
            if (action->text() == text)
                return action;
        }
        return nullptr;
    }

    class PresetsMenuTest : public ::testing::Test {
    protected:
        PresetsMenuTest() { fixture.store.setRuleUndoManager(&undo); }

        /// Saves the current rules as a preset and waits for the menu to list it.
        void savePreset(const std::string& name, std::vector<Rule> rules)
        {
            fixture.store.setRules(std::move(rules));
            auto before = fixture.store.presets().size();
            fixture.store.savePreset(name, "camera", "3478F6");
            ASSERT_EQ(fixture.store.presets().size(), before + 1);
            ASSERT_TRUE(waitUntil(
                [&] { return menu.actions().size() == static_cast<qsizetype>(4 + before + 1); }));
        }

        testing::StoreFixture fixture;
        QUndoStack undo;
        PresetsMenu menu { fixture.store };
    };

    TEST_F(PresetsMenuTest, WithoutSavedPresetsItStartsWithTheGallery)
    {
        EXPECT_EQ(menu.title(), "Presets");
        EXPECT_EQ(texts(menu),
            (QStringList { "Preset Gallery", QString::fromUtf8("Import Preset\u2026"), "-",
                QString::fromUtf8("Save as Preset\u2026") }));
        auto* gallery = menu.actions().front()->menu();
        ASSERT_TRUE(gallery);
        QStringList starters;
        for (const auto& preset : starterPresets())
            starters.append(QString::fromStdString(preset.name).replace('&', "&&"));
        EXPECT_EQ(starters.size(), 10);
        EXPECT_EQ(texts(*gallery), starters);
    }

    TEST_F(PresetsMenuTest, EverySavedPresetComesFirstWithApplyAndExport)
    {
        savePreset("Holiday & trips", { testing::insertRule("trip_") });
        savePreset("Second", { testing::replaceRule("a", "b") });
        auto entries = texts(menu);
        ASSERT_EQ(entries.size(), 6);
        EXPECT_EQ(entries[0], "Holiday && trips");
        EXPECT_EQ(entries[1], "Second");
        EXPECT_EQ(entries[2], "Preset Gallery");
        auto* first = menu.actions()[0]->menu();
        ASSERT_TRUE(first);
        EXPECT_EQ(texts(*first), (QStringList { "Apply", QString::fromUtf8("Export\u2026") }));
    }

    TEST_F(PresetsMenuTest, ApplyReplacesTheRulesAsStoredAndUndoesInOneStep)
    {
        auto saved = testing::insertRule("trip_");
        savePreset("Trips", { saved });
        auto before
            = std::vector<Rule> { testing::replaceRule("x", "y"), testing::insertRule("z") };
        fixture.store.setRules(before);
        auto steps = undo.count();

        actionNamed(*menu.actions()[0]->menu(), "Apply")->trigger();
        ASSERT_EQ(fixture.store.rules().size(), 1u);
        EXPECT_EQ(fixture.store.rules()[0], saved);
        EXPECT_EQ(undo.count(), steps + 1);
        EXPECT_EQ(undo.undoText(), "Edit Rules");
        undo.undo();
        EXPECT_EQ(fixture.store.rules(), before);
    }

    TEST_F(PresetsMenuTest, AStarterFromTheGalleryIsApplied)
    {
        auto* gallery = menu.actions().front()->menu();
        auto* photos = actionNamed(*gallery, "Photos by Date");
        ASSERT_TRUE(photos);
        photos->trigger();
        std::vector<Preset> starters = starterPresets();
        auto found = std::find_if(starters.begin(), starters.end(),
            [](const Preset& preset) { return preset.name == "Photos by Date"; });
        ASSERT_NE(found, starters.end());
        ASSERT_EQ(fixture.store.rules().size(), found->rules.size());
        for (std::size_t index = 0; index < found->rules.size(); ++index)
            EXPECT_EQ(fixture.store.rules()[index].kind, found->rules[index].kind);
    }

    TEST_F(PresetsMenuTest, ExportAsksWhereWithThePresetsName)
    {
        savePreset("Trips", { testing::insertRule("trip_") });
        auto path = fixture.files / "Trips.twpreset";
        fixture.dialogs.saveAnswer = FileURL(path.string());
        actionNamed(*menu.actions()[0]->menu(), QString::fromUtf8("Export\u2026"))->trigger();
        ASSERT_EQ(fixture.dialogs.saveRequests.size(), 1u);
        EXPECT_EQ(fixture.dialogs.saveRequests[0].proposedName, "Trips.twpreset");
        EXPECT_TRUE(std::filesystem::exists(path));
    }

    TEST_F(PresetsMenuTest, ImportOffersPresetDocumentsOnlyAndListsTheImportedPreset)
    {
        auto path = fixture.files / "Shared.twpreset";
        Preset shared("Shared", "doc", "3478F6", { testing::insertRule("s_") });
        {
            std::ofstream out(path, std::ios::binary);
            out << PresetDocument::encode(shared);
        }
        fixture.dialogs.openAnswer = FileURL(path.string());
        actionNamed(menu, QString::fromUtf8("Import Preset\u2026"))->trigger();
        ASSERT_EQ(fixture.dialogs.openRequests.size(), 1u);
        EXPECT_EQ(fixture.dialogs.openRequests[0],
            std::vector<DocumentType> { PresetDocument::presetDocumentType() });
        ASSERT_EQ(fixture.store.presets().size(), 1u);
        ASSERT_TRUE(waitUntil([&] { return texts(menu).front() == "Shared"; }));

        // Cancelling imports nothing.
        fixture.dialogs.openAnswer.reset();
        actionNamed(menu, QString::fromUtf8("Import Preset\u2026"))->trigger();
        EXPECT_EQ(fixture.store.presets().size(), 1u);
    }

    TEST_F(PresetsMenuTest, SaveAsPresetOpensTheSheet)
    {
        actionNamed(menu, QString::fromUtf8("Save as Preset\u2026"))->trigger();
        EXPECT_TRUE(fixture.store.showingSavePreset());
    }

} // namespace
} // namespace sorvik
