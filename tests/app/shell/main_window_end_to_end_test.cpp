// Through the real window, from the keyboard: a folder added with Ctrl+O, a rule built with
// the palette (Ctrl+K, typed, Return), the new names listed, Ctrl+Return renaming the files on
// disk and "Undo Rename" (Ctrl+Alt+Z) putting them back.
#include "app/rules/panels/rule_palette.h"
#include "app/rules/panels/sheet_presenter.h"
#include "app/shell/content_view.h"
#include "app/shell/file_list_model.h"
#include "app/shell/files_footer.h"
#include "app/shell/files_panel.h"
#include "app/shell/main_window.h"
#include "app/shell/toast_overlay.h"
#include "app/style/brand_primary_button.h"
#include "tests/app/shell/shell_test_support.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <filesystem>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::readFile;
    using testing::waitUntil;

    TEST(MainWindowEndToEnd, AddBuildRenameAndUndoFromTheKeyboard)
    {
        testing::StoreFixture fixture;
        fixture.files.createFile("Trip/IMG_1.jpg", "one");
        fixture.files.createFile("Trip/IMG_2.jpg", "two");
        fixture.files.createFile("Trip/notes.txt", "notes");
        MainWindow window(fixture.store);
        // The chooser answers for the person; everything else is the window's own.
        fixture.store.setDialogs(&fixture.dialogs);
        window.show();
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        auto& panel = window.content().filesPanel();
        EXPECT_TRUE(panel.showsDropZone());
        EXPECT_FALSE(window.undoRenameAction().isEnabled());

        fixture.dialogs.addAnswer = std::vector<FileURL> { fixture.folder("Trip") };
        QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
        ASSERT_TRUE(fixture.settle());
        auto& model = panel.model();
        ASSERT_EQ(model.rowCount(), 3);
        EXPECT_FALSE(panel.showsDropZone());

        QTest::keyClick(&window, Qt::Key_K, Qt::ControlModifier);
        RulePalette* palette = nullptr;
        ASSERT_TRUE(waitUntil([&] {
            palette = qobject_cast<RulePalette*>(window.sheets().current());
            return palette && palette->isVisible();
        }));
        QTest::keyClicks(palette->searchField(), "change case");
        QTest::keyClick(palette->searchField(), Qt::Key_Return);
        ASSERT_EQ(fixture.store.rules().size(), 1u);
        ASSERT_TRUE(fixture.settle());
        auto cell
            = [&](int row, int column) { return model.data(model.index(row, column)).toString(); };
        EXPECT_EQ(cell(0, FileListModel::newNameColumn), "img_1.jpg");
        EXPECT_EQ(cell(1, FileListModel::newNameColumn), "img_2.jpg");
        auto& rename = panel.footer().renameButton();
        EXPECT_EQ(rename.text(), "Rename 2 Files");

        ASSERT_TRUE(waitUntil([&] { return !window.sheets().current(); }));
        // What the window manager does once the sheet is gone.
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_Return, Qt::ControlModifier);
        EXPECT_EQ(readFile(fixture.files / "Trip/img_1.jpg"), "one");
        EXPECT_EQ(readFile(fixture.files / "Trip/img_2.jpg"), "two");
        EXPECT_FALSE(std::filesystem::exists(fixture.files / "Trip/IMG_1.jpg"));
        EXPECT_EQ(panel.toast().text(), "Renamed 2 files");
        EXPECT_TRUE(window.undoRenameAction().isEnabled());
        ASSERT_TRUE(fixture.settle());
        EXPECT_EQ(cell(0, FileListModel::originalNameColumn), "img_1.jpg");

        QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier | Qt::AltModifier);
        EXPECT_EQ(readFile(fixture.files / "Trip/IMG_1.jpg"), "one");
        EXPECT_EQ(readFile(fixture.files / "Trip/IMG_2.jpg"), "two");
        EXPECT_EQ(readFile(fixture.files / "Trip/notes.txt"), "notes");
        EXPECT_FALSE(std::filesystem::exists(fixture.files / "Trip/img_1.jpg"));
        EXPECT_EQ(panel.toast().text(), "Undid 2 renames");
        EXPECT_FALSE(window.undoRenameAction().isEnabled());
        ASSERT_TRUE(fixture.settle());
        EXPECT_EQ(cell(0, FileListModel::originalNameColumn), "IMG_1.jpg");
        ASSERT_EQ(fixture.store.history().size(), 1u);
        EXPECT_TRUE(fixture.store.history()[0].undone);
    }

} // namespace
} // namespace sorvik
