#include "app/shell/files_panel.h"

#include "app/shell/empty_drop_zone.h"
#include "app/shell/file_list_model.h"
#include "app/shell/files_footer.h"
#include "tests/app/shell/shell_test_support.h"

#include <QAction>
#include <QApplication>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::dragOnto;
    using testing::replaceRule;
    using testing::uriLine;
    using testing::waitUntil;

    class FilesPanelTest : public ::testing::Test, protected testing::StoreFixture {
    protected:
        void SetUp() override
        {
            ASSERT_TRUE(settle());
            panel.setReveal(&recording.reveal);
            panel.resize(800, 500);
            panel.show();
            QApplication::setActiveWindow(&panel);
        }

        /// Lists `count` files f0.txt, f1.txt, … of one granted folder.
        void listFiles(int count)
        {
            std::vector<FileURL> urls;
            for (int index = 0; index < count; ++index)
                files.createFile("f/f" + std::to_string(index) + ".txt");
            ASSERT_TRUE(add({ folder("f") }));
            ASSERT_EQ(panel.model().rowCount(), count);
        }

        QStringList actionTexts(QMenu& menu) const
        {
            QStringList texts;
            for (auto* action : menu.actions())
                texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
            return texts;
        }

        QAction* action(QMenu& menu, const char* text) const
        {
            for (auto* candidate : menu.actions()) {
                if (candidate->text() == QString::fromLatin1(text))
                    return candidate;
            }
            return nullptr;
        }

        std::vector<std::string> listedNames() const
        {
            std::vector<std::string> names;
            for (const auto& item : store.items())
                names.push_back(item.url.lastPathComponent());
            return names;
        }

        void select(std::initializer_list<int> rows)
        {
            auto* selection = panel.table().selectionModel();
            selection->clearSelection();
            for (int row : rows) {
                selection->select(panel.model().index(row, 0),
                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
            }
        }

        std::vector<int> selectedRows() const
        {
            std::vector<int> rows;
            for (const auto& index : panel.table().selectionModel()->selectedRows())
                rows.push_back(index.row());
            std::sort(rows.begin(), rows.end());
            return rows;
        }

        testing::RecordingReveal recording;
        FilesPanel panel { store };
    };

    TEST_F(FilesPanelTest, AnEmptyListShowsTheDropZoneAndADropThereAddsTheFiles)
    {
        EXPECT_TRUE(panel.showsDropZone());
        files.createFile("drop/a.txt");
        files.createFile("single.txt");
        ASSERT_TRUE(
            dragOnto(panel.dropZone(), uriLine(folder("drop")) + uriLine(url("single.txt"))));
        EXPECT_FALSE(panel.isDropTargeted());
        ASSERT_TRUE(settle());
        EXPECT_EQ(listedNames(), (std::vector<std::string> { "a.txt", "single.txt" }));
        EXPECT_FALSE(panel.showsDropZone());
        EXPECT_EQ(panel.model().rowCount(), 2);
    }

    TEST_F(FilesPanelTest, ADroppedNameThatIsNotUTF8KeepsItsBytes)
    {
        auto path = files.createFile("caf\xE9 \xFF.txt");
        ASSERT_TRUE(dragOnto(panel,
            "file://" + QByteArray::fromStdString(percentEncodePath(path.string())) + "\r\n"));
        ASSERT_TRUE(settle());
        ASSERT_EQ(store.items().size(), 1u);
        EXPECT_EQ(store.items()[0].url.path, path.string());
        EXPECT_TRUE(std::filesystem::exists(store.items()[0].url.path));
    }

    TEST_F(FilesPanelTest, DragsWithoutLocalFilesAreRefused)
    {
        auto revision = store.revision();
        EXPECT_FALSE(dragOnto(panel, "https://example.org/a.txt\r\n"));
        EXPECT_FALSE(dragOnto(panel, "\r\n# nothing\r\n"));
        EXPECT_FALSE(panel.isDropTargeted());
        EXPECT_FALSE(store.isAdding());
        EXPECT_EQ(store.revision(), revision);
    }

    TEST_F(FilesPanelTest, ADropIsTakenAsACopyAndNeverAsAMove)
    {
        files.createFile("a.txt");
        // A source that only offers to move its files would delete them after the drop.
        EXPECT_FALSE(dragOnto(panel, uriLine(url("a.txt")), true, Qt::MoveAction));
        EXPECT_FALSE(store.isAdding());

        QMimeData mime;
        mime.setData(QStringLiteral("text/uri-list"), uriLine(url("a.txt")));
        auto* window = panel.windowHandle();
        QPointF position(10, 10);
        QDragEnterEvent enter(position.toPoint(), Qt::CopyAction | Qt::MoveAction, &mime,
            Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &enter);
        EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
        QDropEvent drop(
            position, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &drop);
        EXPECT_TRUE(drop.isAccepted());
        EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
        ASSERT_TRUE(settle());
        EXPECT_EQ(store.items().size(), 1u);
    }

    TEST_F(FilesPanelTest, TheFrameFollowsTheDrag)
    {
        files.createFile("a.txt");
        ASSERT_TRUE(dragOnto(panel.dropZone(), uriLine(url("a.txt")), false));
        EXPECT_TRUE(panel.isDropTargeted());
        EXPECT_TRUE(panel.dropZone().isTargeted());
        testing::leaveDrag(panel);
        EXPECT_FALSE(panel.dropZone().isTargeted());
        EXPECT_FALSE(store.isAdding());
    }

    TEST_F(FilesPanelTest, TheContextMenuOfAnUnselectedRowActsOnThatRowOnly)
    {
        listFiles(4);
        select({ 0, 1 });
        auto menu = panel.contextMenu(3);
        EXPECT_EQ(actionTexts(*menu),
            (QStringList {
                "Show in File Manager", "Include", "Exclude", "-", "Remove from List" }));
        action(*menu, "Remove from List")->trigger();
        ASSERT_TRUE(settle());
        EXPECT_EQ(listedNames(), (std::vector<std::string> { "f0.txt", "f1.txt", "f2.txt" }));
        // The selected rows stay selected.
        EXPECT_EQ(selectedRows(), (std::vector<int> { 0, 1 }));
        EXPECT_EQ(panel.selection().size(), 2u);
    }

    TEST_F(FilesPanelTest, TheContextMenuOfASelectedRowActsOnTheSelectionInOneChange)
    {
        listFiles(4);
        select({ 1, 2 });
        int published = 0;
        QObject::connect(&store, &RenamerStore::itemsChanged, [&] { ++published; });
        auto menu = panel.contextMenu(2);
        action(*menu, "Exclude")->trigger();
        EXPECT_EQ(published, 1);
        // Shown at once, before the preview is planned again.
        EXPECT_FALSE(panel.model().isIncludedAt(1));
        EXPECT_FALSE(panel.model().isIncludedAt(2));
        EXPECT_TRUE(panel.model().isIncludedAt(0));
        ASSERT_TRUE(settle());
        std::vector<bool> included;
        for (const auto& item : store.items())
            included.push_back(item.included);
        EXPECT_EQ(included, (std::vector<bool> { true, false, false, true }));

        action(*panel.contextMenu(1), "Include")->trigger();
        ASSERT_TRUE(settle());
        EXPECT_TRUE(std::all_of(store.items().begin(), store.items().end(),
            [](const FileItem& item) { return item.included; }));
    }

    TEST_F(FilesPanelTest, ShowInFileManagerRevealsTheClickedRow)
    {
        listFiles(3);
        select({ 0, 2 });
        action(*panel.contextMenu(2), "Show in File Manager")->trigger();
        ASSERT_EQ(recording.opened.size(), 1u);
        // Without a file manager, the file's folder opens.
        EXPECT_EQ(
            recording.opened[0], QUrl::fromEncoded(QByteArray::fromStdString(folder("f").text())));

        // Gone from the list, though its row is still shown until the next preview.
        store.removeItems({ panel.model().idAt(1) });
        ASSERT_EQ(panel.model().rowCount(), 3);
        EXPECT_EQ(action(*panel.contextMenu(1), "Show in File Manager"), nullptr);
    }

    TEST_F(FilesPanelTest, DeleteAndBackspaceRemoveTheSelectedRows)
    {
        listFiles(5);
        panel.table().setFocus();
        select({ 1, 3 });
        QTest::keyClick(&panel.table(), Qt::Key_Delete);
        ASSERT_TRUE(settle());
        EXPECT_EQ(listedNames(), (std::vector<std::string> { "f0.txt", "f2.txt", "f4.txt" }));
        EXPECT_TRUE(panel.selection().empty());
        EXPECT_TRUE(selectedRows().empty());

        select({ 0 });
        QTest::keyClick(&panel.table(), Qt::Key_Backspace);
        ASSERT_TRUE(settle());
        EXPECT_EQ(listedNames(), (std::vector<std::string> { "f2.txt", "f4.txt" }));
        // Files themselves are never touched.
        EXPECT_TRUE(std::filesystem::exists(files / "f/f0.txt"));
    }

    TEST_F(FilesPanelTest, DeleteActsOnlyOnTheRowsTheFilterShows)
    {
        listFiles(3);
        ASSERT_TRUE(setRules({ replaceRule("f1", "g1") }));
        select({ 0, 1 });
        store.setFilter("Changes");
        ASSERT_EQ(panel.model().rowCount(), 1);
        EXPECT_EQ(selectedRows(), (std::vector<int> { 0 }));
        panel.removeSelectedRows();
        ASSERT_TRUE(settle());
        EXPECT_EQ(listedNames(), (std::vector<std::string> { "f0.txt", "f2.txt" }));
    }

    TEST_F(FilesPanelTest, TheSelectionSurvivesEveryUpdate)
    {
        listFiles(4);
        select({ 1, 2 });
        panel.table().selectionModel()->setCurrentIndex(
            panel.model().index(2, FileListModel::originalNameColumn),
            QItemSelectionModel::NoUpdate);
        auto selectedIds = panel.selection();
        ASSERT_EQ(selectedIds.size(), 2u);
        auto currentId = panel.model().idAt(2);

        // A rule edit keeps the rows: no reset, the selection and current row stay.
        ASSERT_TRUE(setRules({ replaceRule("f", "x") }));
        EXPECT_EQ(selectedRows(), (std::vector<int> { 1, 2 }));
        EXPECT_EQ(panel.table().currentIndex().row(), 2);

        // Another order: the same files are selected where they are now.
        store.setAscending(false);
        ASSERT_TRUE(settle());
        EXPECT_EQ(selectedRows(), (std::vector<int> { 1, 2 }));
        ASSERT_TRUE(panel.table().currentIndex().isValid());
        EXPECT_EQ(panel.model().idAt(panel.table().currentIndex().row()), currentId);
        EXPECT_EQ(panel.selection(), selectedIds);

        // Rows hidden by the filter keep their place in the selection.
        ASSERT_TRUE(setRules({ replaceRule("f1", "y1") }));
        store.setFilter("Changes");
        EXPECT_EQ(panel.model().rowCount(), 1);
        store.setFilter("All");
        EXPECT_EQ(panel.selection(), selectedIds);
        EXPECT_EQ(selectedRows(), (std::vector<int> { 1, 2 }));
    }

    TEST_F(FilesPanelTest, ClearListEmptiesTheSelectionAndShowsTheDropZoneAtOnce)
    {
        listFiles(2);
        select({ 0 });
        auto* menu = panel.footer().selectButton().menu();
        ASSERT_NE(menu, nullptr);
        action(*menu, "Clear list")->trigger();
        EXPECT_TRUE(panel.showsDropZone());
        EXPECT_TRUE(panel.selection().empty());
        EXPECT_TRUE(store.items().empty());
    }

    TEST_F(FilesPanelTest, ClickingTheCheckboxExcludesTheFile)
    {
        listFiles(2);
        auto& table = panel.table();
        auto rect = table.visualRect(panel.model().index(1, FileListModel::includedColumn));
        QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, rect.center());
        EXPECT_FALSE(store.items()[1].included);
        EXPECT_TRUE(store.items()[0].included);
        EXPECT_FALSE(panel.model().isIncludedAt(1));
        ASSERT_TRUE(settle());
        EXPECT_EQ(panel.model().previewAt(1).status.kind, RenameStatus::Kind::skipped);
    }

    TEST_F(FilesPanelTest, TheTableTakesNoDropsOfItsOwn)
    {
        EXPECT_FALSE(panel.table().acceptDrops());
        EXPECT_FALSE(panel.table().viewport()->acceptDrops());
        EXPECT_FALSE(panel.dropZone().acceptDrops());
        listFiles(1);
        files.createFile("more.txt");
        ASSERT_TRUE(dragOnto(*panel.table().viewport(), uriLine(url("more.txt"))));
        ASSERT_TRUE(settle());
        EXPECT_EQ(store.items().size(), 2u);
    }

    TEST_F(FilesPanelTest, ANewOrderOrFilterShowsTheSelectionElseTheTop)
    {
        listFiles(200);
        auto& table = panel.table();
        auto* selection = table.selectionModel();
        auto visible = [&](int row) {
            auto rect = table.visualRect(panel.model().index(row, 1));
            return table.viewport()->rect().contains(rect);
        };
        auto atTop = [&] { return table.rowAt(0) == 0; };

        // A current row without a selection, at the top: a new direction puts it at the end,
        // and the list stays at the top.
        selection->setCurrentIndex(panel.model().index(0, 1), QItemSelectionModel::NoUpdate);
        ASSERT_TRUE(selectedRows().empty());
        ASSERT_TRUE(atTop());
        store.setAscending(false);
        ASSERT_TRUE(settle());
        testing::runEvents(5);
        ASSERT_EQ(table.currentIndex().row(), 199) << "the current row is kept";
        EXPECT_TRUE(atTop());

        // Switching the filter back to "All" shows the top too.
        table.scrollToBottom();
        store.setFilter(std::string(RenamerStore::filterProblems));
        ASSERT_EQ(panel.model().rowCount(), 0);
        store.setFilter(std::string(RenamerStore::filterAll));
        ASSERT_EQ(panel.model().rowCount(), 200);
        testing::runEvents(5);
        EXPECT_TRUE(atTop());

        // With a selection the list shows the selected rows, wherever they went.
        select({ 3, 4 });
        selection->setCurrentIndex(panel.model().index(150, 1), QItemSelectionModel::NoUpdate);
        table.scrollToTop();
        store.setAscending(true);
        ASSERT_TRUE(settle());
        testing::runEvents(5);
        EXPECT_EQ(selectedRows(), (std::vector<int> { 195, 196 }));
        EXPECT_TRUE(visible(195));
        EXPECT_TRUE(visible(196));

        store.setFilter(std::string(RenamerStore::filterProblems));
        store.setFilter(std::string(RenamerStore::filterAll));
        testing::runEvents(5);
        EXPECT_EQ(selectedRows(), (std::vector<int> { 195, 196 }));
        EXPECT_TRUE(visible(195));
    }

} // namespace
} // namespace sorvik
