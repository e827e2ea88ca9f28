#include "app/shell/folder_access_bar.h"

#include "app/shell/symbol_label.h"
#include "tests/app/shell/shell_test_support.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    /// Grants whatever folder it is opened on.
    class AllowingPrompt : public AccessPrompt {
    public:
        std::vector<FileURL> startFolders;
        std::optional<FileURL> chooseFolder(
            const FileURL& startFolder, const std::string&, const std::string&) override
        {
            startFolders.push_back(startFolder);
            return startFolder;
        }
    };

    class FolderAccessBarTest : public ::testing::Test, protected testing::StoreFixture {
    protected:
        void SetUp() override
        {
            ASSERT_TRUE(settle());
            store.folderAccess().setAccessPrompt(&prompt);
            window.show();
        }
        void TearDown() override { store.folderAccess().setAccessPrompt(nullptr); }

        AllowingPrompt prompt;
        QWidget window;
        FolderAccessBar bar { store, &window };
    };

    TEST_F(FolderAccessBarTest, HiddenWhileEveryFolderIsGranted)
    {
        EXPECT_TRUE(bar.isHidden());
        files.createFile("granted/a.txt");
        ASSERT_TRUE(add({ folder("granted") }));
        EXPECT_TRUE(bar.isHidden());
        EXPECT_FALSE(bar.folder());
    }

    TEST_F(FolderAccessBarTest, AsksForTheFirstFolderAndThenTheNext)
    {
        files.createFile("first/a.txt");
        files.createFile("second/b.txt");
        ASSERT_TRUE(add({ url("first/a.txt"), url("second/b.txt") }));
        EXPECT_FALSE(bar.isHidden());
        EXPECT_FALSE(bar.requestRow().isHidden());
        EXPECT_TRUE(bar.errorLabel().isHidden());
        EXPECT_EQ(bar.requestLabel().text(), "To rename these files, allow access to first.");
        EXPECT_EQ(bar.requestLabel().symbol(), "folder.badge.questionmark");
        EXPECT_EQ(bar.grantButton().text(), "Grant Access");

        QTest::mouseClick(&bar.grantButton(), Qt::LeftButton);
        ASSERT_EQ(prompt.startFolders.size(), 1u);
        EXPECT_EQ(prompt.startFolders[0], folder("first"));
        EXPECT_EQ(bar.requestLabel().text(), "To rename these files, allow access to second.");

        // An excluded file asks for nothing.
        store.setIncluded(store.items()[1].id, false);
        EXPECT_TRUE(bar.isHidden());
    }

    TEST_F(FolderAccessBarTest, AGrantFailureStaysVisibleInRedWithoutAFolderToAsk)
    {
        store.folderAccess().setErrorMessage("The folder could not be granted.");
        EXPECT_FALSE(bar.isHidden());
        EXPECT_TRUE(bar.requestRow().isHidden());
        EXPECT_FALSE(bar.errorLabel().isHidden());
        EXPECT_EQ(bar.errorLabel().text(), "The folder could not be granted.");
        auto red = bar.errorLabel().palette().color(QPalette::WindowText);
        EXPECT_GT(red.red(), 150);
        EXPECT_LT(red.green(), 100);
        store.folderAccess().setErrorMessage(std::nullopt);
        EXPECT_TRUE(bar.isHidden());
    }

    TEST(FolderAccessBarText, NamesTheFolderAsTyped)
    {
        EXPECT_EQ(FolderAccessBar::requestText(FileURL("/home/me/<b>Photos & more", true)),
            "To rename these files, allow access to <b>Photos & more.");
    }

} // namespace
} // namespace sorvik
