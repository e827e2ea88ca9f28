#include "app/shell/folder_access_settings.h"

#include "app/shell/elided_label.h"
#include "app/store/bookmark_file.h"
#include "app/store/folder_access_manager.h"
#include "app/store/json_files.h"
#include "app/style/ui_style.h"
#include "tests/app/shell/shell_test_support.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <filesystem>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::waitUntil;

    std::filesystem::path storagePath()
    {
        return JSONFiles::applicationFolder() / "bookmarks.plist";
    }

    class FolderAccessSettingsTest : public ::testing::Test {
    protected:
        FileURL makeFolder(std::string_view name) const
        {
            return FileURL(files.createFolder(name).string(), true);
        }

        QWidget* row(int index) const
        {
            auto& list = settings->list();
            return list.itemWidget(list.item(index));
        }
        QString pathShown(int index) const
        {
            return row(index)->findChild<ElidedLabel*>(QStringLiteral("path"))->wholeText();
        }
        QPushButton* removeButton(int index) const
        {
            return row(index)->findChild<QPushButton*>(QStringLiteral("remove"));
        }

        /// Grants `kept` and `gone`, deletes `gone` and starts again, as a new start finds them.
        void restartWithoutTheSecondFolder(const FileURL& kept, const FileURL& gone)
        {
            manager->grant(kept);
            manager->grant(gone);
            settings.reset();
            manager.reset();
            std::filesystem::remove(gone.path);
            manager = std::make_unique<FolderAccessManager>();
            settings = std::make_unique<FolderAccessSettings>(*manager);
        }

        testing::IsolatedHome home;
        testing::TemporaryFolder files;
        std::unique_ptr<FolderAccessManager> manager = std::make_unique<FolderAccessManager>();
        std::unique_ptr<FolderAccessSettings> settings
            = std::make_unique<FolderAccessSettings>(*manager);
    };

    TEST_F(FolderAccessSettingsTest, ShowsItsTextsAndNothingElseWithoutGrants)
    {
        EXPECT_EQ(settings->size(), QSize(560, 320));
        EXPECT_EQ(settings->findChild<QLabel*>(QStringLiteral("title"))->text(), "Folder Access");
        EXPECT_EQ(settings->findChild<QLabel*>(QStringLiteral("intro"))->text(),
            "Allowed folders remain available after you reopen the app.");
        EXPECT_EQ(settings->list().count(), 0);
        EXPECT_TRUE(settings->errorLabel().isHidden());
    }

    TEST_F(FolderAccessSettingsTest, ListsTheGrantsInOrderAndRemovesOneAtOnce)
    {
        auto second = makeFolder("Zebra");
        auto first = makeFolder("Caf\xC3\xA9 & <b>Bar</b>");
        manager->grant(second);
        manager->grant(first);
        ASSERT_EQ(settings->list().count(), 2);
        EXPECT_EQ(pathShown(0), toQString(second.path));
        // As the file system spells it, never read as markup.
        EXPECT_EQ(pathShown(1), toQString(first.path));
        EXPECT_EQ(
            row(1)->findChild<ElidedLabel*>(QStringLiteral("path"))->textFormat(), Qt::PlainText);
        EXPECT_EQ(removeButton(0)->text(), "Remove");
        EXPECT_FALSE(settings->isNotFound(0));

        QTest::mouseClick(removeButton(1), Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return settings->list().count() == 1; }));
        EXPECT_EQ(pathShown(0), toQString(second.path));
        auto stored = BookmarkFile::read(storagePath());
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_EQ(stored.begin()->first, second.path);
        EXPECT_FALSE(manager->covers(first));
    }

    TEST_F(FolderAccessSettingsTest, AGrantWhoseFolderIsGoneIsListedAsNotFoundAndCanBeRemoved)
    {
        auto kept = makeFolder("Kept");
        auto gone = makeFolder("Gone");
        restartWithoutTheSecondFolder(kept, gone);
        ASSERT_EQ(settings->list().count(), 2);
        EXPECT_EQ(pathShown(0), toQString(kept.path));
        EXPECT_FALSE(settings->isNotFound(0));
        EXPECT_EQ(pathShown(1), toQString(gone.path));
        EXPECT_TRUE(settings->isNotFound(1));
        EXPECT_EQ(
            row(1)->findChild<QLabel*>(QStringLiteral("notFound"))->text(), "Folder not found");
        // Start-up said why it could not be opened.
        EXPECT_FALSE(settings->errorLabel().isHidden());

        QTest::mouseClick(removeButton(1), Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return settings->list().count() == 1; }));
        EXPECT_EQ(BookmarkFile::read(storagePath()).count(gone.path), 0u);
        EXPECT_EQ(pathShown(0), toQString(kept.path));
    }

    TEST_F(FolderAccessSettingsTest, AFolderNotFoundSaysWhatItMeansAndWhatToDoInItsRow)
    {
        auto kept = makeFolder("Kept");
        auto gone = makeFolder("Gone");
        restartWithoutTheSecondFolder(kept, gone);
        ASSERT_EQ(settings->list().count(), 2);
        EXPECT_FALSE(row(0)->findChild<QLabel*>(QStringLiteral("notFoundExplanation")));
        auto* explanation = row(1)->findChild<QLabel*>(QStringLiteral("notFoundExplanation"));
        ASSERT_TRUE(explanation);
        EXPECT_EQ(explanation->text(), QString::fromUtf8(FolderAccessManager::notFoundExplanation));
        EXPECT_EQ(explanation->textFormat(), Qt::PlainText);
        // The whole explanation fits its row.
        settings->show();
        auto& list = settings->list();
        EXPECT_GE(list.visualItemRect(list.item(1)).height(),
            explanation->heightForWidth(explanation->width()));
        // Under the list, which folder it is.
        EXPECT_EQ(settings->errorLabel().text().toStdString(),
            FolderAccessManager::notFoundText({ gone }).value());
    }

    TEST_F(FolderAccessSettingsTest, TheLastFailureShowsInRedForAsLongAsItIsHeld)
    {
        manager->setErrorMessage("The folder <b>could</b> not be granted");
        auto& error = settings->errorLabel();
        EXPECT_FALSE(error.isHidden());
        EXPECT_EQ(error.text(), "The folder <b>could</b> not be granted");
        EXPECT_EQ(error.textFormat(), Qt::PlainText);
        EXPECT_EQ(error.palette().color(QPalette::WindowText), toneColor(Tone::red));
        manager->setErrorMessage(std::nullopt);
        EXPECT_TRUE(error.isHidden());
    }

    TEST_F(FolderAccessSettingsTest, ARemovalThatCannotBeWrittenKeepsItsRowAndSaysWhy)
    {
        auto folder = makeFolder("Photos");
        manager->grant(folder);
        // The grants can no longer be replaced: a folder stands where the file goes.
        std::filesystem::remove(storagePath());
        std::filesystem::create_directory(storagePath());

        QTest::mouseClick(removeButton(0), Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return !settings->errorLabel().isHidden(); }));
        ASSERT_EQ(settings->list().count(), 1);
        EXPECT_EQ(pathShown(0), toQString(folder.path));
        EXPECT_TRUE(manager->covers(folder));
    }

} // namespace
} // namespace sorvik
