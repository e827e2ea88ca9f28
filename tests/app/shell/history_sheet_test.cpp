#include "app/shell/history_sheet.h"

#include "app/store/user_defaults.h"
#include "app/style/ui_style.h"
#include "tests/app/shell/shell_test_support.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>
#include <unicode/locid.h>

namespace sorvik {
namespace {

    using testing::patternRule;
    using testing::waitUntil;

    /// What one row of the sheet shows.
    struct Row {
        QString date;
        QString count;
        std::optional<QString> folder;
        bool showsBackup = false;
        QString undoText;
        bool undoEnabled = false;
    };

    class HistorySheetTest : public ::testing::Test, protected testing::StoreFixture {
    protected:
        void SetUp() override
        {
            ASSERT_TRUE(settle());
            sheet.setReveal(&recording.reveal);
        }
        void TearDown() override { sheet.done(QDialog::Rejected); }

        std::vector<Row> rows() const
        {
            std::vector<Row> result;
            auto& list = sheet.list();
            for (int index = 0; index < list.count(); ++index) {
                auto* widget = list.itemWidget(list.item(index));
                Row row;
                row.date = widget->findChild<QLabel*>(QStringLiteral("date"))->text();
                row.count = widget->findChild<QLabel*>(QStringLiteral("count"))->text();
                if (auto* folder = widget->findChild<QLabel*>(QStringLiteral("folder")))
                    row.folder = folder->toolTip();
                row.showsBackup = widget->findChild<QPushButton*>(QStringLiteral("showBackup"));
                auto* undo = widget->findChild<QPushButton*>(QStringLiteral("undoBatch"));
                row.undoText = undo->text();
                row.undoEnabled = undo->isEnabled();
                result.push_back(row);
            }
            return result;
        }

        QPushButton* button(int row, const char* name) const
        {
            auto* widget = sheet.list().itemWidget(sheet.list().item(row));
            return widget->findChild<QPushButton*>(QString::fromLatin1(name));
        }

        HistoryRecord record(std::vector<RenameMove> moves, bool undone = false,
            std::optional<FileURL> backup = std::nullopt) const
        {
            HistoryRecord made;
            made.id = Uuid::random();
            made.date = Date::fromUnixSeconds(1'717'400'000); // 3 June 2024
            made.moves = std::move(moves);
            made.undone = undone;
            made.backupPath = std::move(backup);
            return made;
        }

        testing::RecordingReveal recording;
        HistorySheet sheet { store };
    };

    TEST_F(HistorySheetTest, ShowsItsTitleSwitchAndCaption)
    {
        EXPECT_EQ(sheet.size(), QSize(700, 460));
        auto* title = sheet.findChild<QLabel*>(QStringLiteral("title"));
        ASSERT_NE(title, nullptr);
        EXPECT_EQ(title->text(), "Rename History");
        EXPECT_EQ(sheet.doneButton().text(), "Done");
        EXPECT_EQ(sheet.backupSwitch().text(), "Back up files before renaming");
        EXPECT_EQ(sheet.findChild<QLabel*>(QStringLiteral("caption"))->text(),
            "Backups stay on this computer and are removed after seven days when you rename "
            "another batch.");
        // No history, no rows and no empty-state text.
        EXPECT_EQ(sheet.list().count(), 0);
    }

    TEST_F(HistorySheetTest, RowsShowEachRecordNewestFirst)
    {
        auto backup = files.createFolder("Backups/batch");
        auto newest
            = record({ { url("f/a.txt"), url("f/b.txt") }, { url("f/c.txt"), url("f/d.txt") } },
                false, FileURL(backup.string(), true));
        auto undone
            = record({ { url("g/x.txt"), url("g/y.txt") } }, true, FileURL(backup.string(), true));
        auto empty = record({});
        auto pruned = record({ { url("h/p.txt"), url("h/q.txt") } }, false,
            FileURL((files / "Backups/gone").string(), true));
        store.setHistory({ newest, undone, empty, pruned });

        auto shown = rows();
        ASSERT_EQ(shown.size(), 4u);
        EXPECT_EQ(shown[0].count, "2 files");
        EXPECT_EQ(shown[0].folder, plainToolTip(QString::fromStdString((files / "f").string())));
        EXPECT_TRUE(shown[0].showsBackup);
        EXPECT_EQ(shown[0].undoText, "Undo Batch");
        EXPECT_TRUE(shown[0].undoEnabled);

        // Undone: the button says so and is off; its backup can still be shown.
        EXPECT_EQ(shown[1].undoText, "Undone");
        EXPECT_FALSE(shown[1].undoEnabled);
        EXPECT_TRUE(shown[1].showsBackup);

        // No moves: a count of 0 and no folder line.
        EXPECT_EQ(shown[2].count, "0 files");
        EXPECT_FALSE(shown[2].folder);
        EXPECT_FALSE(shown[2].showsBackup);
        EXPECT_FALSE(shown[2].date.isEmpty());

        // A backup that was pruned is not offered.
        EXPECT_FALSE(shown[3].showsBackup);

        QTest::mouseClick(button(0, "showBackup"), Qt::LeftButton);
        ASSERT_EQ(recording.opened.size(), 1u);
        EXPECT_EQ(
            recording.opened[0], FileManagerReveal::folderToOpen(FileURL(backup.string(), true)));
    }

    TEST_F(HistorySheetTest, WhilePlanningNoBatchCanBeUndone)
    {
        store.setHistory(
            { record({ { url("a"), url("b") } }), record({ { url("c"), url("d") } }) });
        files.createFile("f/a.txt");
        ASSERT_TRUE(add({ folder("f") }));
        services->holdNextCalls(1);
        store.setRules({ patternRule("{exif.date}{name}") });
        ASSERT_TRUE(waitUntil([&] { return services->isWaiting(); }));
        for (const auto& row : rows())
            EXPECT_FALSE(row.undoEnabled);
        services->release();
        ASSERT_TRUE(settle());
        for (const auto& row : rows())
            EXPECT_TRUE(row.undoEnabled);
    }

    TEST_F(HistorySheetTest, UndoBatchPutsTheFilesBackAndTheSheetStaysOpen)
    {
        files.createFile("f/a.txt");
        ASSERT_TRUE(add({ folder("f") }));
        ASSERT_TRUE(setRules({ patternRule("new_{name}") }));
        store.apply();
        ASSERT_TRUE(settle());
        store.loadHistory();
        ASSERT_TRUE(waitUntil([&] { return sheet.isVisible(); }));
        ASSERT_EQ(sheet.list().count(), 1);

        QTest::mouseClick(button(0, "undoBatch"), Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(files / "f/a.txt"); }));
        EXPECT_FALSE(std::filesystem::exists(files / "f/new_a.txt"));
        auto shown = rows();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].undoText, "Undone");
        EXPECT_FALSE(shown[0].undoEnabled);
        EXPECT_TRUE(sheet.isVisible());
        EXPECT_TRUE(store.showingHistory());
    }

    TEST_F(HistorySheetTest, FollowsTheStoresFlagBothWays)
    {
        store.setShowingHistory(true);
        ASSERT_TRUE(waitUntil([&] { return sheet.isVisible(); }));
        QTest::mouseClick(&sheet.doneButton(), Qt::LeftButton);
        EXPECT_FALSE(sheet.isVisible());
        EXPECT_FALSE(store.showingHistory());

        store.setShowingHistory(true);
        ASSERT_TRUE(waitUntil([&] { return sheet.isVisible(); }));
        QTest::keyClick(&sheet, Qt::Key_Escape);
        EXPECT_FALSE(sheet.isVisible());
        EXPECT_FALSE(store.showingHistory());

        store.setShowingHistory(true);
        ASSERT_TRUE(waitUntil([&] { return sheet.isVisible(); }));
        store.setShowingHistory(false);
        EXPECT_FALSE(sheet.isVisible());
    }

    TEST_F(HistorySheetTest, TheBackupSwitchIsStoredForTheNextStart)
    {
        EXPECT_FALSE(sheet.backupSwitch().isChecked());
        sheet.backupSwitch().click();
        EXPECT_TRUE(store.backupEnabled());
        EXPECT_EQ(UserDefaults::boolValue(UserDefaults::backupEnabledKey), true);
        sheet.backupSwitch().click();
        EXPECT_FALSE(store.backupEnabled());
        {
            RenamerStore restarted(services);
            EXPECT_FALSE(restarted.backupEnabled());
        }
        store.setBackupEnabled(true);
        EXPECT_TRUE(sheet.backupSwitch().isChecked());
    }

    TEST(HistorySheetDate, ShowsTheDateAloneInTheUsersLocale)
    {
        auto saved = icu::Locale::getDefault();
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale("en_US"), status);
        auto text = HistorySheet::dateText(Date::fromUnixSeconds(1'717'400'000));
        icu::Locale::setDefault(icu::Locale("de_DE"), status);
        auto german = HistorySheet::dateText(Date::fromUnixSeconds(1'717'400'000));
        icu::Locale::setDefault(saved, status);
        EXPECT_EQ(text, "June 3, 2024");
        EXPECT_EQ(german, "3. Juni 2024");
    }

} // namespace
} // namespace sorvik
