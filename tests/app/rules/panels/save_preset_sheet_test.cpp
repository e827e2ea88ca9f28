#include "app/rules/panels/save_preset_sheet.h"

#include "app/store/json_files.h"
#include "tests/app/rules/panels/panel_test_support.h"
#include "tests/app/style/wheel_turns.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include <fstream>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::patternRule;

    class SaveSheet : public testing::StoreWindow {
    protected:
        SaveSheet() { showWindow(); }

        SavePresetSheet* openSheet()
        {
            store.setShowingSavePreset(true);
            auto* sheet = new SavePresetSheet(store, window.get());
            sheet->open();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(sheet));
            return sheet;
        }

        static QLineEdit* nameField(const SavePresetSheet& sheet)
        {
            return sheet.findChild<QLineEdit*>("name");
        }
        static QPushButton* saveButton(const SavePresetSheet& sheet)
        {
            return sheet.findChild<QPushButton*>("save");
        }
        static QStringList presetRows(const SavePresetSheet& sheet)
        {
            QStringList names;
            for (auto* label : sheet.findChildren<QLabel*>("presetName"))
                names << label->text();
            return names;
        }
        static bool showsSavedPresets(const SavePresetSheet& sheet)
        {
            return !sheet.findChild<QWidget*>("savedPresets")->isHidden();
        }
    };

    TEST_F(SaveSheet, SaveIsOnExactlyWhenTheNameHoldsMoreThanWhiteSpace)
    {
        QPointer<SavePresetSheet> sheet = openSheet();
        EXPECT_EQ(sheet->width(), 420);
        EXPECT_TRUE(nameField(*sheet)->hasFocus());
        EXPECT_EQ(nameField(*sheet)->placeholderText(), "Name");
        for (const char* name : { "", "   ", "\n", "\t \u3000" }) {
            nameField(*sheet)->setText(QString::fromUtf8(name));
            EXPECT_FALSE(saveButton(*sheet)->isEnabled()) << name;
            QTest::keyClick(nameField(*sheet), Qt::Key_Return);
            EXPECT_TRUE(store.presets().empty());
            EXPECT_TRUE(sheet->isVisible());
        }
        nameField(*sheet)->setText(" a ");
        EXPECT_TRUE(saveButton(*sheet)->isEnabled());
    }

    TEST_F(SaveSheet, SavingStoresTheTrimmedNameWithTheShownChoicesAndCloses)
    {
        store.setRules({ patternRule("x") });
        QPointer<SavePresetSheet> sheet = openSheet();
        QTest::keyClicks(nameField(*sheet), "  Trip ");
        // Return is the default action.
        QTest::keyClick(nameField(*sheet), Qt::Key_Return);
        ASSERT_EQ(store.presets().size(), 1u);
        const auto& saved = store.presets()[0];
        EXPECT_EQ(saved.name, "Trip");
        // The pickers' starting values, though untouched.
        EXPECT_EQ(saved.symbol, "slider.horizontal.3");
        EXPECT_EQ(saved.colorHex, "3478F6");
        EXPECT_EQ(saved.rules, store.rules());
        EXPECT_FALSE(store.showingSavePreset());
        EXPECT_FALSE(sheet->isVisible());
        StoreWindow::settle();
        EXPECT_FALSE(sheet);
    }

    TEST_F(SaveSheet, ThePickersOfferTheChoicesInOrderAndSaveWhatIsChosen)
    {
        QPointer<SavePresetSheet> sheet = openSheet();
        auto* icon = sheet->findChild<QComboBox*>("icon");
        auto* color = sheet->findChild<QComboBox*>("color");
        QStringList icons;
        for (int index = 0; index < icon->count(); ++index) {
            icons << icon->itemText(index);
            EXPECT_FALSE(icon->itemIcon(index).isNull());
        }
        EXPECT_EQ(icons,
            (QStringList {
                "slider.horizontal.3", "camera", "doc", "music.note", "folder", "sparkles" }));
        QStringList colors;
        for (int index = 0; index < color->count(); ++index) {
            colors << color->itemText(index);
            EXPECT_TRUE(color->itemIcon(index).isNull());
        }
        EXPECT_EQ(colors, (QStringList { "Blue", "Green", "Orange", "Purple" }));
        EXPECT_EQ(icon->currentIndex(), 0);
        EXPECT_EQ(color->currentIndex(), 0);

        icon->setCurrentIndex(3);
        emit icon->activated(3);
        color->setCurrentIndex(3);
        emit color->activated(3);
        nameField(*sheet)->setText("Music");
        saveButton(*sheet)->click();
        ASSERT_EQ(store.presets().size(), 1u);
        EXPECT_EQ(store.presets()[0].symbol, "music.note");
        EXPECT_EQ(store.presets()[0].colorHex, "8B5CF6");
    }

    TEST_F(SaveSheet, TheWheelChangesAPickerOnlyWhileItHasTheFocus)
    {
        QPointer<SavePresetSheet> sheet = openSheet();
        auto* icon = sheet->findChild<QComboBox*>("icon");
        auto* color = sheet->findChild<QComboBox*>("color");
        for (auto* picker : { icon, color }) {
            testing::turnWheelOver(*picker);
            testing::turnWheelOver(*picker);
            EXPECT_EQ(picker->currentIndex(), 0) << picker->objectName().toStdString();
            EXPECT_FALSE(picker->hasFocus());
        }
        color->setFocus(Qt::TabFocusReason);
        testing::turnWheelOver(*color);
        nameField(*sheet)->setText("Scrolled");
        saveButton(*sheet)->click();
        ASSERT_EQ(store.presets().size(), 1u);
        EXPECT_EQ(store.presets()[0].symbol, "slider.horizontal.3");
        EXPECT_EQ(store.presets()[0].colorHex, "34A853");
    }

    TEST_F(SaveSheet, AFailedSaveKeepsTheSheetOpenWithItsValues)
    {
        std::filesystem::remove_all(JSONFiles::applicationFolder());
        std::ofstream(JSONFiles::applicationFolder()) << "not a folder";
        QPointer<SavePresetSheet> sheet = openSheet();
        nameField(*sheet)->setText("Kept");
        saveButton(*sheet)->click();
        EXPECT_TRUE(store.message());
        EXPECT_TRUE(store.presets().empty());
        EXPECT_TRUE(store.showingSavePreset());
        EXPECT_TRUE(sheet->isVisible());
        EXPECT_EQ(nameField(*sheet)->text(), "Kept");
        sheet->reject();
    }

    TEST_F(SaveSheet, EqualNamesAreTwoPresetsAndDeleteActsAtOnce)
    {
        store.savePreset("Same", "camera", "3478F6");
        store.savePreset("Same", "doc", "3478F6");
        QPointer<SavePresetSheet> sheet = openSheet();
        EXPECT_TRUE(showsSavedPresets(*sheet));
        EXPECT_EQ(presetRows(*sheet), (QStringList { "Same", "Same" }));
        auto first = store.presets()[0].id;
        auto deletes = sheet->findChildren<QPushButton*>("deletePreset");
        ASSERT_EQ(deletes.size(), 2);
        // Each row: its name, then its button on the right, all of it on the sheet.
        StoreWindow::settle();
        for (auto* button : deletes) {
            auto* name = button->parentWidget()->findChild<QLabel*>("presetName");
            EXPECT_GT(button->geometry().left(), name->geometry().left());
            EXPECT_GT(button->visibleRegion().boundingRect().height(), 0);
        }
        auto tallest = sheet->height();
        deletes[1]->click();
        ASSERT_EQ(store.presets().size(), 1u);
        EXPECT_EQ(store.presets()[0].id, first);
        EXPECT_TRUE(sheet->isVisible());
        EXPECT_EQ(presetRows(*sheet), QStringList { "Same" });

        sheet->findChild<QPushButton*>("deletePreset")->click();
        EXPECT_TRUE(store.presets().empty());
        EXPECT_FALSE(showsSavedPresets(*sheet));
        EXPECT_TRUE(sheet->isVisible());
        EXPECT_LT(sheet->height(), tallest);
        StoreWindow::settle();
        sheet->reject();
    }

    TEST_F(SaveSheet, CancelAndEscapeLeaveEverythingAsItWas)
    {
        QPointer<SavePresetSheet> sheet = openSheet();
        nameField(*sheet)->setText("Not saved");
        QTest::keyClick(nameField(*sheet), Qt::Key_Escape);
        EXPECT_FALSE(store.showingSavePreset());
        EXPECT_TRUE(store.presets().empty());
        StoreWindow::settle();
        EXPECT_FALSE(sheet);

        sheet = openSheet();
        nameField(*sheet)->setText("Not saved");
        sheet->findChild<QPushButton*>("cancel")->click();
        EXPECT_FALSE(store.showingSavePreset());
        EXPECT_TRUE(store.presets().empty());
    }

    TEST_F(SaveSheet, SavingAnEmptyStackStoresAPresetWithoutRules)
    {
        QPointer<SavePresetSheet> sheet = openSheet();
        nameField(*sheet)->setText("Empty");
        saveButton(*sheet)->click();
        ASSERT_EQ(store.presets().size(), 1u);
        EXPECT_TRUE(store.presets()[0].rules.empty());
    }

    TEST_F(SaveSheet, PresetNamesAreShownAsText)
    {
        store.savePreset("<b>bold</b> & co", "unknown.symbol", "3478F6");
        QPointer<SavePresetSheet> sheet = openSheet();
        auto* name = sheet->findChild<QLabel*>("presetName");
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(name->textFormat(), Qt::PlainText);
        EXPECT_EQ(name->text(), "<b>bold</b> & co");
        sheet->reject();
    }

} // namespace
} // namespace sorvik
