#include "app/rules/panels/rule_palette.h"

#include "tests/app/rules/panels/panel_test_support.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::patternRule;

    class Palette : public testing::StoreWindow {
    protected:
        Palette() { showWindow(); }

        /// The palette as the window shows it: its flag raised, then opened.
        RulePalette* openPalette()
        {
            store.setShowingPalette(true);
            auto* palette = new RulePalette(store, window.get());
            palette->open();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(palette));
            return palette;
        }

        static QStringList shownRows(const RulePalette& palette)
        {
            QStringList rows;
            for (int row = 0; row < palette.list()->count(); ++row) {
                if (!palette.list()->item(row)->isHidden())
                    rows << palette.list()->item(row)->text();
            }
            return rows;
        }

        static void clickRow(RulePalette& palette, const QString& text)
        {
            auto found = palette.list()->findItems(text, Qt::MatchExactly);
            ASSERT_EQ(found.size(), 1);
            auto rect = palette.list()->visualItemRect(found[0]);
            QTest::mouseClick(palette.list()->viewport(), Qt::LeftButton, {}, rect.center());
        }

        void savePresets(std::vector<Preset> presets)
        {
            for (auto& preset : presets)
                store.savePreset(preset.name, preset.symbol, preset.colorHex);
        }
    };

    TEST_F(Palette, ListsEveryKindThenEveryPresetInItsFrame)
    {
        store.setRules({ patternRule("x") });
        store.savePreset("Trip photos", "camera", "3478F6");
        QPointer<RulePalette> palette = openPalette();
        EXPECT_EQ(palette->size(), QSize(440, 460));
        EXPECT_EQ(palette->windowModality(), Qt::WindowModal);
        EXPECT_TRUE(palette->searchField()->hasFocus());
        EXPECT_EQ(palette->searchField()->placeholderText(), "Search rules and presets");
        EXPECT_EQ(shownRows(*palette),
            (QStringList { "Find & Replace", "Remove Characters", "Clean Up", "Change Case",
                "Spaces", "Insert Text", "Numbering", "Date", "Pattern", "Limit Length",
                "Extension", "Rename from List", "AI Rename", "Organize", "Trip photos" }));
        EXPECT_FALSE(palette->list()->item(0)->icon().isNull());
        EXPECT_TRUE(palette->list()->item(14)->icon().isNull());
        palette->reject();
    }

    TEST_F(Palette, FiltersTitlesAndPresetNamesByTheQueryAsTyped)
    {
        savePresets({ Preset("Case files", "doc", "3478F6", {}), Preset("Vacation", "doc", "", {}),
            // "Café" written with a combining accent.
            Preset("Cafe\xCC\x81 menus", "doc", "", {}) });
        struct Case {
            const char* query;
            QStringList rows;
        };
        const std::vector<Case> cases {
            { "case", { "Change Case", "Case files" } },
            { "CASE", { "Change Case", "Case files" } },
            { " ",
                { "Find & Replace", "Remove Characters", "Clean Up", "Change Case", "Insert Text",
                    "Limit Length", "Rename from List", "AI Rename", "Case files",
                    QString::fromUtf8("Cafe\xCC\x81 menus") } },
            { "zzz", {} },
            { "\xC3\xA9", { QString::fromUtf8("Cafe\xCC\x81 menus") } },
            // No matching on type names or symbols.
            { "changeCase", {} },
            { "textformat", {} },
        };
        QPointer<RulePalette> palette = openPalette();
        for (const auto& [query, rows] : cases) {
            palette->searchField()->setText(QString::fromUtf8(query));
            EXPECT_EQ(shownRows(*palette), rows) << query;
        }
        palette->searchField()->clear();
        EXPECT_EQ(shownRows(*palette).size(), 17);
        palette->reject();
    }

    TEST_F(Palette, OneClickOnAKindAddsOneRuleAndCloses)
    {
        store.setRules({ patternRule("x") });
        auto before = store.rules();
        auto steps = undo.index();
        QPointer<RulePalette> palette = openPalette();
        clickRow(*palette, "Numbering");
        ASSERT_EQ(store.rules().size(), 2u);
        EXPECT_EQ(store.rules()[0], before[0]);
        EXPECT_EQ(store.rules()[1].kind, RuleKind(NumberingConfig {}));
        EXPECT_EQ(undo.index(), steps + 1);
        EXPECT_FALSE(store.showingPalette());
        StoreWindow::settle();
        EXPECT_FALSE(palette);
    }

    class SingleClickActivation : public QProxyStyle {
    public:
        int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
            QStyleHintReturn* returned) const override
        {
            if (hint == SH_ItemView_ActivateItemOnSingleClick)
                return 1;
            return QProxyStyle::styleHint(hint, option, widget, returned);
        }
    };

    TEST_F(Palette, OneClickIsOneRuleAlsoWhereAClickActivates)
    {
        QPointer<RulePalette> palette = openPalette();
        auto* style = new SingleClickActivation();
        palette->list()->setStyle(style);
        clickRow(*palette, "Date");
        EXPECT_EQ(store.rules().size(), 1u);
        EXPECT_EQ(undo.index(), 1);
        StoreWindow::settle();
        delete style;
    }

    TEST_F(Palette, APresetReplacesTheStackWithItsRulesAsStored)
    {
        auto a = patternRule("A");
        auto b = patternRule("B");
        b.isEnabled = false;
        b.condition = ConditionGroup { false, { Condition::kind("audio") } };
        store.setRules({ a, b });
        store.savePreset("Two", "doc", "3478F6");
        store.setRules({ patternRule("other") });
        auto steps = undo.index();
        for (int time = 0; time < 2; ++time) {
            QPointer<RulePalette> palette = openPalette();
            clickRow(*palette, "Two");
            EXPECT_EQ(store.rules(), (std::vector<Rule> { a, b }));
            StoreWindow::settle();
        }
        // The second application changed nothing: one step.
        EXPECT_EQ(undo.index(), steps + 1);
        undo.undo();
        EXPECT_EQ(store.rules().size(), 1u);
    }

    TEST_F(Palette, AnEmptyPresetEmptiesTheStack)
    {
        store.savePreset("Nothing", "doc", "3478F6");
        store.setRules({ patternRule("x") });
        QPointer<RulePalette> palette = openPalette();
        clickRow(*palette, "Nothing");
        EXPECT_TRUE(store.rules().empty());
    }

    TEST_F(Palette, WorksFromTheKeyboard)
    {
        QPointer<RulePalette> palette = openPalette();
        QTest::keyClicks(palette->searchField(), "e");
        // Return acts on the first row shown.
        QTest::keyClick(palette->searchField(), Qt::Key_Return);
        ASSERT_EQ(store.rules().size(), 1u);
        EXPECT_EQ(store.rules()[0].kind, RuleKind(ReplaceConfig {}));
        StoreWindow::settle();

        palette = openPalette();
        QTest::keyClicks(palette->searchField(), "a");
        QTest::keyClick(palette->searchField(), Qt::Key_Down);
        EXPECT_TRUE(palette->list()->hasFocus());
        QTest::keyClick(palette->list(), Qt::Key_Down);
        QTest::keyClick(palette->list(), Qt::Key_Return);
        ASSERT_EQ(store.rules().size(), 2u);
        // "a" shows Find & Replace, Remove Characters, Clean Up, Change Case, …
        EXPECT_EQ(store.rules()[1].kind, RuleKind(RemoveConfig {}));
        StoreWindow::settle();

        // Return with nothing shown does nothing.
        palette = openPalette();
        QTest::keyClicks(palette->searchField(), "zzz");
        QTest::keyClick(palette->searchField(), Qt::Key_Return);
        EXPECT_EQ(store.rules().size(), 2u);
        EXPECT_TRUE(palette->isVisible());
        palette->reject();
    }

    TEST_F(Palette, EscapeAndDoneCloseWithoutAChange)
    {
        store.setRules({ patternRule("x") });
        auto rules = store.rules();
        auto steps = undo.index();
        QPointer<RulePalette> palette = openPalette();
        QTest::keyClicks(palette->searchField(), "case");
        QTest::keyClick(palette->searchField(), Qt::Key_Escape);
        EXPECT_FALSE(store.showingPalette());
        StoreWindow::settle();
        EXPECT_FALSE(palette);

        palette = openPalette();
        palette->findChild<QPushButton*>("done")->click();
        EXPECT_FALSE(store.showingPalette());
        EXPECT_EQ(store.rules(), rules);
        EXPECT_EQ(undo.index(), steps);
    }

    TEST_F(Palette, FollowsTheFlagAndThePresets)
    {
        QPointer<RulePalette> palette = openPalette();
        EXPECT_EQ(palette->list()->count(), 14);
        store.savePreset("Late", "doc", "3478F6");
        EXPECT_EQ(palette->list()->count(), 15);
        palette->searchField()->setText("lat");
        EXPECT_EQ(shownRows(*palette), QStringList { "Late" });
        store.deletePreset(store.presets()[0].id);
        EXPECT_TRUE(shownRows(*palette).isEmpty());

        store.setShowingPalette(false);
        EXPECT_FALSE(palette->isVisible());
        StoreWindow::settle();
        EXPECT_FALSE(palette);
    }

} // namespace
} // namespace sorvik
