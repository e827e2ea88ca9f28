#include "app/shell/window_toolbar.h"

#include "app/shell/brand_wordmark.h"
#include "app/shell/presets_menu.h"
#include "app/store/json_files.h"
#include "app/style/ui_style.h"
#include "tests/app/shell/shell_test_support.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QTest>
#include <QToolButton>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::waitUntil;

    class WindowToolbarTest : public ::testing::Test {
    protected:
        WindowToolbarTest()
        {
            window.addToolBar(toolbar);
            window.resize(1240, 800);
        }

        QStringList items(const QComboBox& picker) const
        {
            QStringList texts;
            for (int index = 0; index < picker.count(); ++index)
                texts.append(picker.itemText(index));
            return texts;
        }

        /// The toolbar's widgets in their order, by object name (spacers have none).
        QStringList order() const
        {
            QStringList names;
            for (auto* action : toolbar->actions()) {
                auto name = toolbar->widgetForAction(action)->objectName();
                if (!name.isEmpty())
                    names.append(name);
            }
            return names;
        }

        testing::StoreFixture fixture;
        QMainWindow window;
        WindowToolbar* toolbar = new WindowToolbar(fixture.store, &window);
    };

    TEST_F(WindowToolbarTest, HoldsTheCommandsInOrderWithTheirTextsAndHelp)
    {
        QStringList expected { "history", "presets", "filter", "progress", "folderOptions", "sort",
            "sortDirection", "add" };
        EXPECT_EQ(order(), expected);
        EXPECT_FALSE(toolbar->isMovable());

        EXPECT_EQ(toolbar->historyButton().text(), "History");
        EXPECT_EQ(toolbar->presetsButton().text(), "Presets");
        EXPECT_EQ(toolbar->presetsButton().menu(), &toolbar->presetsMenu());
        EXPECT_EQ(toolbar->filterPicker().accessibleName(), "Filter");
        EXPECT_EQ(toolbar->folderOptionsButton().accessibleName(), "Folder options");
        EXPECT_EQ(
            toolbar->folderOptionsButton().toolTip(), "How folders are scanned when you add them");
        EXPECT_EQ(toolbar->sortPicker().accessibleName(), "Sort");
        EXPECT_EQ(toolbar->sortPicker().toolTip(), "Order also decides the numbering");
        EXPECT_EQ(toolbar->addButton().text(), "Add");
        EXPECT_EQ(toolbar->addButton().toolTip(), "Add files or folders (Ctrl+O)");
        for (QWidget* button : { static_cast<QWidget*>(&toolbar->historyButton()),
                 static_cast<QWidget*>(&toolbar->presetsButton()),
                 static_cast<QWidget*>(&toolbar->folderOptionsButton()),
                 static_cast<QWidget*>(&toolbar->directionButton()),
                 static_cast<QWidget*>(&toolbar->addButton()),
                 static_cast<QWidget*>(&toolbar->filterPicker()),
                 static_cast<QWidget*>(&toolbar->sortPicker()) }) {
            EXPECT_FALSE(button->accessibleName().isEmpty()) << button->objectName().toStdString();
            EXPECT_NE(button->focusPolicy() & Qt::TabFocus, 0)
                << button->objectName().toStdString();
        }
    }

    TEST_F(WindowToolbarTest, TheWordmarkStandsInTheMiddleOfTheWindow)
    {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        auto& wordmark = toolbar->wordmark();
        EXPECT_EQ(wordmark.size(), QSize(112, 24));
        EXPECT_EQ(wordmark.accessibleName(), "sorvik");
        auto centre = wordmark.mapTo(&window, wordmark.rect().center()).x();
        EXPECT_NEAR(centre, window.width() / 2, 2);
        EXPECT_LT(wordmark.geometry().right(), toolbar->historyButton().geometry().left());

        // At the narrowest window it gives way rather than cover a command.
        window.resize(1000, 640);
        ASSERT_TRUE(waitUntil([&] { return toolbar->width() == 1000; }));
        testing::runEvents(20);
        EXPECT_LT(wordmark.geometry().right(), toolbar->historyButton().geometry().left());
    }

    TEST_F(WindowToolbarTest, TheFilterPickerFollowsTheStoreBothWays)
    {
        auto& filter = toolbar->filterPicker();
        EXPECT_EQ(items(filter), (QStringList { "All", "Changes", "Problems" }));
        EXPECT_EQ(filter.currentText(), "All");
        filter.setCurrentIndex(2);
        emit filter.activated(2);
        EXPECT_EQ(fixture.store.filter(), RenamerStore::filterProblems);
        fixture.store.setFilter(std::string(RenamerStore::filterChanges));
        EXPECT_EQ(filter.currentText(), "Changes");
    }

    TEST_F(WindowToolbarTest, TheSortPickerListsEveryKeyAndFollowsTheStore)
    {
        auto& sort = toolbar->sortPicker();
        EXPECT_EQ(items(sort),
            (QStringList { "Order added", "Name", "Date modified", "Date created", "Size" }));
        EXPECT_EQ(sort.currentText(), "Order added");
        sort.setCurrentIndex(4);
        emit sort.activated(4);
        EXPECT_EQ(fixture.store.sortKey(), SortKey::size);
        fixture.store.setSortKey(SortKey::name);
        EXPECT_EQ(sort.currentText(), "Name");
    }

    TEST_F(WindowToolbarTest, TheDirectionButtonFlipsItsHelpAndSavesTheDirection)
    {
        auto& direction = toolbar->directionButton();
        EXPECT_TRUE(fixture.store.ascending());
        EXPECT_EQ(direction.toolTip(), "Ascending");
        EXPECT_EQ(direction.accessibleName(), "Ascending");
        auto upKey = direction.icon().cacheKey();

        QTest::mouseClick(&direction, Qt::LeftButton);
        EXPECT_FALSE(fixture.store.ascending());
        EXPECT_EQ(direction.toolTip(), "Descending");
        EXPECT_NE(direction.icon().cacheKey(), upKey);
        fixture.store.flushSession();
        auto session = nlohmann::json::parse(
            testing::readFile(JSONFiles::applicationFolder() / "last-session.json"));
        EXPECT_EQ(session.at("ascending"), false);

        QTest::mouseClick(&direction, Qt::LeftButton);
        EXPECT_TRUE(fixture.store.ascending());
        EXPECT_EQ(direction.toolTip(), "Ascending");
    }

    TEST_F(WindowToolbarTest, TheFolderOptionsAreFourSwitchesBoundToTheStore)
    {
        auto actions = toolbar->folderOptionsMenu().actions();
        ASSERT_EQ(actions.size(), 4);
        QStringList texts;
        for (auto* action : actions) {
            texts.append(action->text());
            EXPECT_TRUE(action->isCheckable());
            EXPECT_FALSE(action->isChecked());
        }
        EXPECT_EQ(texts,
            (QStringList { "Include files in subfolders", "Include hidden files",
                "Rename folders themselves", "Pair RAW + JPEG / sidecars" }));
        actions[0]->trigger();
        actions[3]->trigger();
        EXPECT_TRUE(fixture.store.includeSubfolders());
        EXPECT_TRUE(fixture.store.pairPhotos());
        fixture.store.setIncludeHidden(true);
        fixture.store.setIncludeSubfolders(false);
        EXPECT_TRUE(actions[1]->isChecked());
        EXPECT_FALSE(actions[0]->isChecked());
        EXPECT_FALSE(fixture.store.renameFolders());
    }

    TEST_F(WindowToolbarTest, PlanningAndAINamingProgressShowWhileTheyRunAndTogether)
    {
        fixture.files.createFile("a.pdf", "a");
        fixture.files.createFile("b.pdf", "b");
        ASSERT_TRUE(fixture.add({ fixture.url("a.pdf"), fixture.url("b.pdf") }));
        EXPECT_FALSE(toolbar->showsPlanning());
        EXPECT_FALSE(toolbar->showsAIProgress());

        fixture.services->holdNextCalls(1);
        fixture.store.setRules({ testing::aiRule() });
        ASSERT_TRUE(waitUntil([&] { return toolbar->showsAIProgress(); }));
        EXPECT_TRUE(toolbar->showsPlanning());
        EXPECT_EQ(toolbar->aiProgressLabel().text(), toQString(*fixture.store.aiProgress()));
        EXPECT_TRUE(toolbar->aiProgressLabel().text().startsWith("AI naming "));
        fixture.services->release();
        ASSERT_TRUE(fixture.settle());
        EXPECT_FALSE(toolbar->showsPlanning());
        EXPECT_FALSE(toolbar->showsAIProgress());
    }

    TEST_F(WindowToolbarTest, TheCommandsStayInPlaceWhileAPreviewIsPlanned)
    {
        window.show();
        auto places = [&] {
            QList<QRect> rects;
            for (QWidget* control : { static_cast<QWidget*>(&toolbar->historyButton()),
                     static_cast<QWidget*>(&toolbar->presetsButton()),
                     static_cast<QWidget*>(&toolbar->filterPicker()),
                     static_cast<QWidget*>(&toolbar->folderOptionsButton()),
                     static_cast<QWidget*>(&toolbar->sortPicker()),
                     static_cast<QWidget*>(&toolbar->directionButton()),
                     static_cast<QWidget*>(&toolbar->addButton()) })
                rects.append(QRect(control->mapTo(toolbar, QPoint()), control->size()));
            return rects;
        };
        fixture.files.createFile("a.pdf", "a");
        fixture.files.createFile("b.pdf", "b");
        ASSERT_TRUE(fixture.add({ fixture.url("a.pdf"), fixture.url("b.pdf") }));
        testing::runEvents(5);
        auto idle = places();

        fixture.services->holdNextCalls(1);
        fixture.store.setRules({ testing::aiRule() });
        ASSERT_TRUE(waitUntil([&] { return toolbar->showsAIProgress(); }));
        ASSERT_TRUE(toolbar->showsPlanning());
        testing::runEvents(5);
        EXPECT_EQ(places(), idle);
        // The progress has its room in full: the text is not cut.
        auto& label = toolbar->aiProgressLabel();
        EXPECT_GE(label.width(), label.fontMetrics().horizontalAdvance(label.text()));
        EXPECT_TRUE(label.isVisible());
        EXPECT_TRUE(toolbar->planningIndicator().isVisible());

        fixture.services->release();
        ASSERT_TRUE(fixture.settle());
        testing::runEvents(5);
        EXPECT_EQ(places(), idle);
    }

    TEST_F(WindowToolbarTest, HistoryOpensTheSheetAndAddAsksForFilesAndFolders)
    {
        QTest::mouseClick(&toolbar->historyButton(), Qt::LeftButton);
        EXPECT_TRUE(fixture.store.showingHistory());

        fixture.files.createFile("Trip/a.jpg");
        fixture.dialogs.addAnswer = std::vector<FileURL> { fixture.folder("Trip") };
        QTest::mouseClick(&toolbar->addButton(), Qt::LeftButton);
        ASSERT_EQ(fixture.dialogs.addRequests.size(), 1u);
        EXPECT_EQ(fixture.dialogs.addRequests[0].first, "Add");
        EXPECT_EQ(fixture.dialogs.addRequests[0].second, RenamerStore::addFilesMessage);
        ASSERT_TRUE(fixture.settle());
        EXPECT_EQ(fixture.store.items().size(), 1u);
    }

} // namespace
} // namespace sorvik
