#include "app/shell/files_footer.h"

#include "app/shell/file_list_model.h"
#include "app/shell/symbol_label.h"
#include "app/style/brand_primary_button.h"
#include "app/style/ui_style.h"
#include "tests/app/shell/shell_test_support.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::patternRule;
    using testing::replaceRule;
    using testing::waitUntil;

    class FilesFooterTest : public ::testing::Test, protected testing::StoreFixture {
    protected:
        void SetUp() override
        {
            ASSERT_TRUE(settle());
            footer.show();
            QApplication::setActiveWindow(&footer);
        }

        QString renameText() const { return footer.renameButton().text(); }
        bool renameEnabled() const { return footer.renameButton().isEnabled(); }

        QAction* menuAction(const char* text) const
        {
            for (auto* action : footer.selectButton().menu()->actions()) {
                if (action->text() == QString::fromLatin1(text))
                    return action;
            }
            return nullptr;
        }

        FileListModel model { store };
        FilesFooter footer { store, model };
    };

    TEST_F(FilesFooterTest, WithNothingListedOnlyTheFileCountShows)
    {
        EXPECT_EQ(footer.filesLabel().text(), "0 files");
        EXPECT_TRUE(footer.changesLabel().isHidden());
        EXPECT_TRUE(footer.skippedLabel().isHidden());
        EXPECT_EQ(renameText(), "Rename");
        EXPECT_FALSE(renameEnabled());
        EXPECT_FALSE(footer.undoButton().isEnabled());
        EXPECT_EQ(footer.selectButton().text(), "Select");
        QStringList texts;
        for (auto* action : footer.selectButton().menu()->actions())
            texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
        EXPECT_EQ(texts, (QStringList { "Include all", "Exclude all", "-", "Clear list" }));
    }

    TEST_F(FilesFooterTest, CountsAndTheRenameButtonFollowThePreview)
    {
        for (auto name : { "a1.txt", "a2.txt", "b1.txt", "dup.txt", "dupe.txt" })
            files.createFile(std::string("f/") + name);
        ASSERT_TRUE(add({ folder("f") }));
        EXPECT_EQ(footer.filesLabel().text(), "5 files");
        EXPECT_EQ(renameText(), "Rename");
        EXPECT_FALSE(renameEnabled());

        ASSERT_TRUE(setRules({ replaceRule("a", "c"), replaceRule("dupe", "dup") }));
        EXPECT_EQ(footer.changesLabel().text(), "2 will change");
        EXPECT_FALSE(footer.changesLabel().isHidden());
        EXPECT_EQ(footer.changesLabel().symbol(), "pencil");
        EXPECT_EQ(footer.skippedLabel().text(), "2 skipped");
        EXPECT_FALSE(footer.skippedLabel().isHidden());
        EXPECT_EQ(footer.skippedLabel().symbol(), "exclamationmark.triangle.fill");
        EXPECT_EQ(footer.skippedLabel().symbolColor(), toneColor(Tone::orange));
        EXPECT_EQ(
            footer.skippedLabel().toolTip(), plainToolTip("Hover the warning icons to see why"));
        EXPECT_EQ(renameText(), "Rename 2 Files");
        EXPECT_TRUE(renameEnabled());
        EXPECT_GE(footer.renameButton().width(), FilesFooter::renameLabelWidth);

        // "Problems" hides every row; the footer still counts them all.
        ASSERT_TRUE(setRules({ replaceRule("nothing", "x") }));
        store.setFilter("Problems");
        EXPECT_EQ(model.rowCount(), 0);
        EXPECT_EQ(footer.filesLabel().text(), "5 files");
    }

    TEST_F(FilesFooterTest, AFolderNeedingAccessAsksForItFirst)
    {
        files.createFile("loose/a.txt");
        testing::CancelledAccessPrompt prompt;
        store.folderAccess().setAccessPrompt(&prompt);
        ASSERT_TRUE(add({ url("loose/a.txt") }));
        // Nothing would change, yet the button asks for access.
        EXPECT_EQ(renameText(), "Grant access to rename");
        EXPECT_TRUE(renameEnabled());
        ASSERT_TRUE(setRules({ replaceRule("a", "b") }));
        EXPECT_EQ(renameText(), "Grant access to rename");
        QTest::mouseClick(
            &footer.renameButton(), Qt::LeftButton, {}, footer.renameButton().fillRect().center());
        ASSERT_EQ(prompt.startFolders.size(), 1u);
        EXPECT_EQ(prompt.startFolders[0], folder("loose"));
        EXPECT_TRUE(std::filesystem::exists(files / "loose/a.txt"));
        store.folderAccess().setAccessPrompt(nullptr);

        store.folderAccess().grant(folder("loose"));
        EXPECT_EQ(renameText(), "Rename 1 Files");
    }

    TEST_F(FilesFooterTest, WhilePlanningTheRenameButtonIsOff)
    {
        files.createFile("f/a.txt");
        ASSERT_TRUE(add({ folder("f") }));
        ASSERT_TRUE(setRules({ replaceRule("a", "b") }));
        ASSERT_TRUE(renameEnabled());
        services->holdNextCalls(1);
        store.setRules({ patternRule("{exif.date}x_{name}") });
        ASSERT_TRUE(waitUntil([&] { return services->isWaiting(); }));
        EXPECT_TRUE(store.isPlanning());
        EXPECT_FALSE(renameEnabled());
        services->release();
        ASSERT_TRUE(settle());
        EXPECT_TRUE(renameEnabled());
    }

    TEST_F(FilesFooterTest, CtrlReturnRenamesAndUndoRenamePutsTheFilesBack)
    {
        files.createFile("f/a.txt");
        files.createFile("f/b.txt");
        ASSERT_TRUE(add({ folder("f") }));
        ASSERT_TRUE(setRules({ patternRule("x_{name}") }));
        QTest::keyClick(&footer, Qt::Key_Return, Qt::ControlModifier);
        EXPECT_TRUE(std::filesystem::exists(files / "f/x_a.txt"));
        EXPECT_EQ(store.toast(), "Renamed 2 files");
        ASSERT_TRUE(settle());
        EXPECT_TRUE(footer.undoButton().isEnabled());
        EXPECT_EQ(renameText(), "Rename 2 Files");

        QTest::mouseClick(&footer.undoButton(), Qt::LeftButton);
        EXPECT_TRUE(std::filesystem::exists(files / "f/a.txt"));
        EXPECT_FALSE(std::filesystem::exists(files / "f/x_a.txt"));
        EXPECT_EQ(store.toast(), "Undid 2 renames");
        EXPECT_FALSE(footer.undoButton().isEnabled());
    }

    TEST_F(FilesFooterTest, TheSelectMenuIncludesExcludesAndClears)
    {
        files.createFile("f/a.txt");
        files.createFile("f/b.txt");
        ASSERT_TRUE(add({ folder("f") }));
        menuAction("Exclude all")->trigger();
        EXPECT_TRUE(std::none_of(store.items().begin(), store.items().end(),
            [](const FileItem& item) { return item.included; }));
        menuAction("Include all")->trigger();
        EXPECT_TRUE(std::all_of(store.items().begin(), store.items().end(),
            [](const FileItem& item) { return item.included; }));
        int cleared = 0;
        QObject::connect(&footer, &FilesFooter::listCleared, [&] { ++cleared; });
        menuAction("Clear list")->trigger();
        EXPECT_TRUE(store.items().empty());
        EXPECT_EQ(cleared, 1);
        EXPECT_TRUE(std::filesystem::exists(files / "f/a.txt"));
    }

    TEST(FilesFooterLabel, FirstStateThatAppliesWins)
    {
        EXPECT_EQ(FilesFooter::renameLabel(0, false), "Rename");
        EXPECT_EQ(FilesFooter::renameLabel(3, false), "Rename 3 Files");
        EXPECT_EQ(FilesFooter::renameLabel(1, false), "Rename 1 Files");
        EXPECT_EQ(FilesFooter::renameLabel(3, true), "Grant access to rename");
        EXPECT_EQ(FilesFooter::renameLabel(0, true), "Grant access to rename");
    }

} // namespace
} // namespace sorvik
