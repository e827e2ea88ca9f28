#include "app/shell/toast_overlay.h"

#include "tests/app/shell/shell_test_support.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::patternRule;
    using testing::waitUntil;

    class ToastOverlayTest : public ::testing::Test, protected testing::StoreFixture {
    protected:
        void SetUp() override
        {
            ASSERT_TRUE(settle());
            host.resize(600, 400);
            host.show();
        }

        QWidget host;
        ToastOverlay toast { store, &host };
    };

    TEST_F(ToastOverlayTest, ShowsTheStoresTextAboveTheBottomAndClearsWithIt)
    {
        EXPECT_TRUE(toast.isHidden());
        store.showToast("Nothing new to add <b>&amp;</b>");
        EXPECT_TRUE(toast.isShowing());
        EXPECT_TRUE(toast.isVisible());
        EXPECT_EQ(toast.text(), "Nothing new to add <b>&amp;</b>");
        // No batch to undo.
        EXPECT_FALSE(toast.undoButton().isEnabled());
        EXPECT_EQ(toast.undoButton().text(), "Undo");

        ASSERT_TRUE(waitUntil([&] { return toast.pos() == toast.restingPosition(); }));
        EXPECT_EQ(toast.geometry().bottom() + 1 - ToastOverlay::shadowMargin,
            host.height() - ToastOverlay::bottomOffset);
        EXPECT_EQ(toast.geometry().center().x(), host.rect().center().x());

        // The store clears its toast after 2.5 s; the overlay leaves with it.
        ASSERT_TRUE(waitUntil([&] { return !store.toast(); }, 5000));
        EXPECT_FALSE(toast.isShowing());
        ASSERT_TRUE(waitUntil([&] { return toast.isHidden(); }));
    }

    TEST_F(ToastOverlayTest, UndoPutsBackTheLastBatchWhileThereIsOne)
    {
        files.createFile("f/a.txt");
        ASSERT_TRUE(add({ folder("f") }));
        ASSERT_TRUE(setRules({ patternRule("new_{name}") }));
        store.apply();
        ASSERT_EQ(store.toast(), "Renamed 1 files");
        EXPECT_TRUE(toast.undoButton().isEnabled());
        QTest::mouseClick(&toast.undoButton(), Qt::LeftButton);
        EXPECT_TRUE(std::filesystem::exists(files / "f/a.txt"));
        EXPECT_EQ(toast.text(), "Undid 1 renames");
        // The batch is back; the toast that says so offers no second undo.
        EXPECT_FALSE(toast.undoButton().isEnabled());
    }

    TEST_F(ToastOverlayTest, FollowsTheHostsSize)
    {
        store.showToast("Renamed 2 files");
        ASSERT_TRUE(waitUntil([&] { return toast.pos() == toast.restingPosition(); }));
        host.resize(800, 500);
        ASSERT_TRUE(waitUntil([&] { return toast.pos() == toast.restingPosition(); }));
        EXPECT_EQ(toast.geometry().bottom() + 1 - ToastOverlay::shadowMargin,
            500 - ToastOverlay::bottomOffset);
    }

} // namespace
} // namespace sorvik
