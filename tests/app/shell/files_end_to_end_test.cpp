// From a drop to an undone batch, through the real store, its planning and the disk: files
// dropped on the panel, their preview shown, Rename clicked, the history sheet listing the
// batch, and its undo putting the files back.
#include "app/shell/file_list_model.h"
#include "app/shell/files_footer.h"
#include "app/shell/files_panel.h"
#include "app/shell/history_sheet.h"
#include "app/shell/toast_overlay.h"
#include "app/style/brand_primary_button.h"
#include "tests/app/shell/shell_test_support.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::replaceRule;
    using testing::waitUntil;

    TEST(FilesEndToEnd, DropRenameAndUndoFromTheHistory)
    {
        testing::IsolatedHome home;
        testing::TemporaryFolder files;
        files.createFile("Trip/IMG_1.jpg", "one");
        files.createFile("Trip/IMG_2.jpg", "two");
        files.createFile("Trip/notes.txt", "notes");
        // The store with the program's default services: no fakes.
        RenamerStore store;
        ASSERT_TRUE(waitUntil([&] { return !store.isPlanning(); }));
        store.setBackupEnabled(true);
        store.setRules({ replaceRule("IMG", "Beach") });

        QWidget window;
        FilesPanel panel(store, &window);
        testing::RecordingReveal recording;
        panel.setReveal(&recording.reveal);
        HistorySheet sheet(store, &window);
        sheet.setReveal(&recording.reveal);
        window.resize(900, 600);
        panel.resize(900, 600);
        window.show();

        ASSERT_TRUE(
            testing::dragOnto(panel, testing::uriLine(FileURL((files / "Trip").string(), true))));
        ASSERT_TRUE(waitUntil([&] { return !store.isAdding() && !store.isPlanning(); }));
        auto& model = panel.model();
        ASSERT_EQ(model.rowCount(), 3);
        auto cell
            = [&](int row, int column) { return model.data(model.index(row, column)).toString(); };
        EXPECT_EQ(cell(0, FileListModel::originalNameColumn), "IMG_1.jpg");
        EXPECT_EQ(cell(0, FileListModel::newNameColumn), "Beach_1.jpg");
        EXPECT_EQ(cell(2, FileListModel::newNameColumn), "notes.txt");

        auto& rename = panel.footer().renameButton();
        EXPECT_EQ(rename.text(), "Rename 2 Files");
        ASSERT_TRUE(rename.isEnabled());
        QTest::mouseClick(&rename, Qt::LeftButton);
        EXPECT_EQ(testing::readFile(files / "Trip/Beach_1.jpg"), "one");
        EXPECT_EQ(testing::readFile(files / "Trip/Beach_2.jpg"), "two");
        EXPECT_FALSE(std::filesystem::exists(files / "Trip/IMG_1.jpg"));
        EXPECT_EQ(panel.toast().text(), "Renamed 2 files");
        ASSERT_TRUE(waitUntil([&] { return !store.isPlanning(); }));
        EXPECT_EQ(cell(0, FileListModel::originalNameColumn), "Beach_1.jpg");

        store.loadHistory();
        ASSERT_TRUE(waitUntil([&] { return sheet.isVisible(); }));
        ASSERT_EQ(sheet.list().count(), 1);
        auto* row = sheet.list().itemWidget(sheet.list().item(0));
        EXPECT_EQ(row->findChild<QLabel*>(QStringLiteral("count"))->text(), "2 files");
        EXPECT_NE(row->findChild<QPushButton*>(QStringLiteral("showBackup")), nullptr);
        QTest::mouseClick(
            row->findChild<QPushButton*>(QStringLiteral("undoBatch")), Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(files / "Trip/IMG_1.jpg"); }));
        EXPECT_EQ(testing::readFile(files / "Trip/IMG_1.jpg"), "one");
        EXPECT_EQ(testing::readFile(files / "Trip/IMG_2.jpg"), "two");
        EXPECT_FALSE(std::filesystem::exists(files / "Trip/Beach_1.jpg"));
        ASSERT_EQ(store.history().size(), 1u);
        EXPECT_TRUE(store.history()[0].undone);
        ASSERT_TRUE(waitUntil([&] { return !store.isPlanning(); }));
        EXPECT_EQ(cell(0, FileListModel::originalNameColumn), "IMG_1.jpg");
        sheet.done(QDialog::Accepted);
    }

} // namespace
} // namespace sorvik
