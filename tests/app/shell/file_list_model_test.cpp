#include "app/shell/file_list_model.h"

#include "app/shell/new_name_delegate.h"
#include "app/style/ui_style.h"
#include "tests/app/shell/shell_test_support.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::patternRule;
    using testing::replaceRule;
    using Model = FileListModel;

    class FileListModelTest : public ::testing::Test, protected testing::StoreFixture {
    protected:
        void SetUp() override { ASSERT_TRUE(settle()); }

        QString text(int row, int column, int role = Qt::DisplayRole) const
        {
            return model.data(model.index(row, column), role).toString();
        }

        Model model { store };
        QAbstractItemModelTester tester { &model,
            QAbstractItemModelTester::FailureReportingMode::Fatal };
    };

    TEST_F(FileListModelTest, ShowsEachRowsNamesAndStatus)
    {
        files.createFile("f/IMG_0001.jpg");
        files.createFile("f/keep.txt");
        ASSERT_TRUE(add({ folder("f") }));
        ASSERT_TRUE(setRules({ replaceRule("IMG", "Photo") }));
        ASSERT_EQ(model.rowCount(), 2);
        EXPECT_EQ(model.columnCount(), 5);

        EXPECT_EQ(text(0, Model::originalNameColumn), "IMG_0001.jpg");
        EXPECT_EQ(text(0, Model::originalNameColumn, Qt::ToolTipRole),
            plainToolTip(QString::fromStdString((files / "f/IMG_0001.jpg").string())));
        EXPECT_EQ(text(0, Model::newNameColumn), "Photo_0001.jpg");
        auto cell = model.data(model.index(0, Model::newNameColumn), newNameCellRole)
                        .value<NewNameCell>();
        EXPECT_EQ(cell.text, "Photo_0001.jpg");
        EXPECT_FALSE(cell.markedCharacters.empty());
        EXPECT_EQ(model.data(model.index(0, Model::includedColumn), Qt::CheckStateRole),
            QVariant(Qt::Checked));
        EXPECT_TRUE(model.flags(model.index(0, Model::includedColumn)) & Qt::ItemIsUserCheckable);
        EXPECT_FALSE(model.flags(model.index(0, Model::newNameColumn)) & Qt::ItemIsEditable);
        EXPECT_FALSE(model.data(model.index(0, Model::statusColumn), Qt::DecorationRole).isNull());
        EXPECT_EQ(text(1, Model::newNameColumn), "keep.txt");

        EXPECT_EQ(model.headerData(Model::originalNameColumn, Qt::Horizontal).toString(),
            "Original name");
        EXPECT_EQ(model.headerData(Model::newNameColumn, Qt::Horizontal).toString(), "New name");
        EXPECT_EQ(model.headerData(Model::includedColumn, Qt::Horizontal).toString(), "");
        EXPECT_EQ(model.headerData(Model::statusColumn, Qt::Horizontal).toString(), "");
    }

    TEST_F(FileListModelTest, ProblemsCarryTheirReasonAsHelp)
    {
        files.createFile("f/a.txt");
        files.createFile("f/b.txt");
        ASSERT_TRUE(add({ folder("f") }));
        ASSERT_TRUE(setRules({ patternRule("same") }));
        ASSERT_EQ(model.rowCount(), 2);
        ASSERT_TRUE(model.previewAt(0).status.isProblem());
        auto reason = QString::fromStdString(model.previewAt(0).status.reason);
        EXPECT_EQ(text(0, Model::statusColumn, Qt::ToolTipRole), plainToolTip(reason));
        EXPECT_EQ(text(0, Model::newNameColumn, Qt::ToolTipRole), plainToolTip(reason));
        EXPECT_EQ(model.counts(), (Model::Counts { 2, 0, 2 }));
    }

    TEST_F(FileListModelTest, ANameThatIsNotUTF8IsShownButKeptAsBytes)
    {
        files.createFile("f/caf\xE9.txt");
        ASSERT_TRUE(add({ folder("f") }));
        ASSERT_EQ(model.rowCount(), 1);
        EXPECT_EQ(text(0, Model::originalNameColumn), QStringLiteral("caf\uFFFD.txt"));
        EXPECT_EQ(model.previewAt(0).item.url.path, (files / "f/caf\xE9.txt").string());
    }

    TEST_F(FileListModelTest, FolderColumnShowsOnlyForSeveralFoldersOrAMove)
    {
        files.createFile("one/a.txt");
        files.createFile("one/b.txt");
        files.createFile("two/c.txt");
        ASSERT_TRUE(add({ folder("one") }));
        EXPECT_FALSE(model.showFolder());
        EXPECT_EQ(model.headerData(Model::folderColumn, Qt::Horizontal).toString(), "");
        EXPECT_EQ(text(0, Model::folderColumn), "");

        // A rule that moves files into a subfolder.
        QSignalSpy folderSpy(&model, &Model::showFolderChanged);
        QSignalSpy headerSpy(&model, &QAbstractItemModel::headerDataChanged);
        ASSERT_TRUE(setRules({ Rule(RuleKind(OrganizeConfig { "sub" })) }));
        EXPECT_TRUE(model.showFolder());
        EXPECT_EQ(folderSpy.count(), 1);
        EXPECT_GE(headerSpy.count(), 1);
        EXPECT_EQ(model.headerData(Model::folderColumn, Qt::Horizontal).toString(), "Folder");
        EXPECT_EQ(
            text(0, Model::folderColumn), QString::fromStdString((files / "one/sub").string()));

        ASSERT_TRUE(setRules({}));
        EXPECT_FALSE(model.showFolder());
        ASSERT_TRUE(add({ folder("two") }));
        EXPECT_TRUE(model.showFolder());
        EXPECT_EQ(text(2, Model::folderColumn), QString::fromStdString((files / "two").string()));
    }

    TEST_F(FileListModelTest, SameFilesInTheSameOrderChangeDataWithoutAReset)
    {
        for (auto name : { "a.txt", "b.txt", "c.txt" })
            files.createFile(std::string("f/") + name);
        ASSERT_TRUE(add({ folder("f") }));
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
        ASSERT_TRUE(setRules({ patternRule("x_{name}") }));
        EXPECT_EQ(resets.count(), 0);
        ASSERT_GE(changes.count(), 1);
        EXPECT_EQ(text(2, Model::newNameColumn), "x_c.txt");

        // Another order is a reset.
        store.setAscending(false);
        ASSERT_TRUE(settle());
        EXPECT_EQ(resets.count(), 1);
        EXPECT_EQ(text(0, Model::originalNameColumn), "c.txt");
    }

    TEST_F(FileListModelTest, FilterNarrowsTheRowsButNotTheCounts)
    {
        files.createFile("f/apple.txt");
        files.createFile("f/kiwi.txt");
        files.createFile("f/plum.txt");
        ASSERT_TRUE(add({ folder("f") }));
        ASSERT_TRUE(setRules({ replaceRule("apple", "pear"), replaceRule("kiwi", ":") }));
        EXPECT_EQ(model.counts(), (Model::Counts { 3, 1, 1 }));
        QSignalSpy counts(&model, &Model::countsChanged);

        store.setFilter("Changes");
        ASSERT_EQ(model.rowCount(), 2);
        EXPECT_EQ(text(0, Model::originalNameColumn), "apple.txt");
        EXPECT_EQ(text(1, Model::originalNameColumn), "kiwi.txt");

        store.setFilter("Problems");
        ASSERT_EQ(model.rowCount(), 1);
        EXPECT_EQ(text(0, Model::originalNameColumn), "kiwi.txt");
        EXPECT_EQ(model.counts(), (Model::Counts { 3, 1, 1 }));
        EXPECT_EQ(counts.count(), 0);

        // Every row hidden; the counts stay.
        ASSERT_TRUE(setRules({}));
        EXPECT_EQ(model.rowCount(), 0);
        EXPECT_EQ(model.counts(), (Model::Counts { 3, 0, 0 }));
    }

    TEST_F(FileListModelTest, NeedsAccessRowsComeFromTheStoresGrants)
    {
        files.createFile("loose/a.txt");
        ASSERT_TRUE(add({ url("loose/a.txt") }));
        ASSERT_TRUE(setRules({ replaceRule("a", "b") }));
        ASSERT_EQ(model.rowCount(), 1);
        EXPECT_EQ(model.previewAt(0).status.kind, RenameStatus::Kind::needsAccess);
        EXPECT_EQ(model.counts().ready, 0u);
        store.folderAccess().grant(folder("loose"));
        EXPECT_EQ(model.previewAt(0).status.kind, RenameStatus::Kind::ready);
        EXPECT_EQ(model.counts().ready, 1u);
    }

    TEST_F(FileListModelTest, TheIncludeSwitchShowsAtOnceAndReachesTheStore)
    {
        files.createFile("f/a.txt");
        files.createFile("f/b.txt");
        ASSERT_TRUE(add({ folder("f") }));
        ASSERT_TRUE(model.setData(
            model.index(0, Model::includedColumn), Qt::Unchecked, Qt::CheckStateRole));
        // Before the store has planned again.
        EXPECT_TRUE(store.isPlanning());
        EXPECT_EQ(model.data(model.index(0, Model::includedColumn), Qt::CheckStateRole),
            QVariant(Qt::Unchecked));
        EXPECT_EQ(model.data(model.index(0, Model::originalNameColumn), Qt::ForegroundRole)
                      .value<QColor>(),
            toneColor(Tone::tertiary));
        EXPECT_FALSE(store.isIncluded(model.idAt(0)));
        ASSERT_TRUE(settle());
        EXPECT_FALSE(model.isIncludedAt(0));
        EXPECT_TRUE(model.isIncludedAt(1));

        model.showIncluded({ model.idAt(1) }, false);
        EXPECT_FALSE(model.isIncludedAt(1));
        EXPECT_FALSE(model.setData(model.index(0, Model::newNameColumn), true, Qt::EditRole));
    }

    TEST_F(FileListModelTest, AnExcludedItemIsShownTertiary)
    {
        files.createFile("f/a.txt");
        ASSERT_TRUE(add({ folder("f") }));
        EXPECT_FALSE(
            model.data(model.index(0, Model::originalNameColumn), Qt::ForegroundRole).isValid());
        store.setAllIncluded(false);
        ASSERT_TRUE(settle());
        EXPECT_EQ(model.data(model.index(0, Model::originalNameColumn), Qt::ForegroundRole)
                      .value<QColor>(),
            toneColor(Tone::tertiary));
        EXPECT_EQ(model.previewAt(0).status.kind, RenameStatus::Kind::skipped);
    }

} // namespace
} // namespace sorvik
