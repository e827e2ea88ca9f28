#include "app/rules/panels/sheet_presenter.h"

#include "app/rules/panels/rule_palette.h"
#include "app/rules/panels/save_preset_sheet.h"
#include "tests/app/rules/panels/panel_test_support.h"

#include <QDialog>
#include <QPointer>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::waitUntil;

    class Presenter : public testing::StoreWindow {
    protected:
        Presenter()
        {
            presenter.follow([this] { return store.showingPalette(); },
                [this] { store.setShowingPalette(false); }, &store,
                &RenamerStore::showingPaletteChanged,
                [this](QWidget* parent) { return new RulePalette(store, parent); });
            presenter.follow([this] { return store.showingSavePreset(); },
                [this] { store.setShowingSavePreset(false); }, &store,
                &RenamerStore::showingSavePresetChanged,
                [this](QWidget* parent) { return new SavePresetSheet(store, parent); });
            // A sheet without a flag handling of its own.
            presenter.follow([this] { return store.showingHistory(); },
                [this] { store.setShowingHistory(false); }, &store,
                &RenamerStore::showingHistoryChanged,
                [](QWidget* parent) { return new QDialog(parent); });
        }

        SheetPresenter presenter { *window };
    };

    TEST_F(Presenter, ARaisedFlagOpensItsSheetAndClosingLowersIt)
    {
        showWindow();
        store.setShowingPalette(true);
        QPointer<QDialog> palette = presenter.current();
        ASSERT_TRUE(qobject_cast<RulePalette*>(palette));
        EXPECT_TRUE(palette->isVisible());
        EXPECT_EQ(palette->windowModality(), Qt::WindowModal);
        palette->reject();
        EXPECT_FALSE(store.showingPalette());
        EXPECT_EQ(presenter.current(), nullptr);
        settle();
        EXPECT_FALSE(palette);

        store.setShowingHistory(true);
        QPointer<QDialog> history = presenter.current();
        ASSERT_TRUE(history);
        history->accept();
        EXPECT_FALSE(store.showingHistory());
    }

    TEST_F(Presenter, OneSheetAtATimeTheNextWhenTheFirstCloses)
    {
        showWindow();
        store.setShowingPalette(true);
        QPointer<QDialog> palette = presenter.current();
        store.setShowingSavePreset(true);
        EXPECT_EQ(presenter.current(), palette);
        EXPECT_EQ(window->findChildren<SavePresetSheet*>().size(), 0);

        palette->reject();
        ASSERT_TRUE(waitUntil([&] { return presenter.current() != nullptr; }));
        EXPECT_TRUE(qobject_cast<SavePresetSheet*>(presenter.current()));

        // A flag lowered while it waited is not shown.
        store.setShowingPalette(true);
        store.setShowingPalette(false);
        presenter.current()->reject();
        settle();
        settle();
        EXPECT_EQ(presenter.current(), nullptr);
    }

    TEST_F(Presenter, SheetsWaitForAHiddenWindow)
    {
        store.setShowingSavePreset(true);
        EXPECT_EQ(presenter.current(), nullptr);
        showWindow();
        ASSERT_TRUE(waitUntil([&] { return presenter.current() != nullptr; }));
        EXPECT_TRUE(qobject_cast<SavePresetSheet*>(presenter.current()));
        // The store closing its sheet (a save that worked) closes it.
        store.setShowingSavePreset(false);
        settle();
        EXPECT_EQ(presenter.current(), nullptr);
    }

} // namespace
} // namespace sorvik
