#include "app/shell/watch_folder_view.h"

#include "app/automation/watch_folder_store.h"
#include "app/store/bookmark.h"
#include "app/store/json_files.h"
#include "app/store/renamer_store.h"
#include "app/store/saved_session.h"
#include "tests/app/automation/watch_test_support.h"
#include "tests/support/temporary_folder.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <filesystem>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    namespace fs = std::filesystem;
    using testing::IsolatedHome;
    using testing::TemporaryFolder;

    class WatchFolderViewTest : public ::testing::Test {
    protected:
        void SetUp() override { inbox = files.createFolder("Inbox"); }

        /// The stores and the view, with `presets` saved and `folders` stored beforehand.
        void make(
            const std::vector<Preset>& presets = { Preset("Photos & Scans", "photo", "3478F6", {}),
                Preset("Documents", "doc", "3478F6", {}) },
            const std::vector<WatchFolder>& folders = {})
        {
            JSONFiles::save(SavedPresets { 1, presets }, SavedPresets::fileName);
            if (!folders.empty())
                JSONFiles::save(folders, WatchFolder::fileName);
            store = std::make_unique<RenamerStore>(std::make_shared<testing::FakeServices>());
            WatchFolderStore::Collaborators collaborators;
            auto fakeEvents = std::make_unique<testing::FakeEvents>();
            events = fakeEvents.get();
            collaborators.events = std::move(fakeEvents);
            auto fakeLogin = std::make_unique<testing::FakeLoginItem>();
            login = fakeLogin.get();
            collaborators.loginItem = std::move(fakeLogin);
            collaborators.clock = std::make_unique<testing::FakeClock>();
            collaborators.runsWorkInline = true;
            watches = std::make_unique<WatchFolderStore>(*store, std::move(collaborators));
            view = std::make_unique<WatchFolderView>(*watches, *store);
            view->setFolderChooser([this](QWidget*, std::function<void(const FileURL&)> chosen) {
                ++chooserCalls;
                if (nextFolder)
                    chosen(*nextFolder);
            });
            view->show();
        }

        WatchFolder storedFolder(const fs::path& path, std::int64_t settleSeconds = 3)
        {
            WatchFolder folder;
            folder.folder = FileURL(path.string(), true);
            folder.bookmark = Bookmark::create(folder.folder);
            folder.presetID = Uuid::random();
            folder.settleSeconds = settleSeconds;
            return folder;
        }

        template <class T> T* find(const char* name) const
        {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return view->findChild<T*>(name);
        }
        /// The widgets named `name`, once rows that were replaced are gone.
        template <class T> QList<T*> all(const char* name) const
        {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return view->findChildren<T*>(name);
        }

        QToolButton* addButton() const { return find<QToolButton>("addWatchFolder"); }
        QLabel* errorLabel() const { return find<QLabel>("watchError"); }

        /// Adds Inbox with the first preset through the menu.
        void addInbox()
        {
            nextFolder = FileURL(inbox.string(), true);
            addButton()->menu()->actions().front()->trigger();
            ASSERT_EQ(watches->folders().size(), 1u) << watches->error().value_or("");
        }

        std::string storedText() const
        {
            return testing::readFile(JSONFiles::applicationFolder() / WatchFolder::fileName);
        }

        IsolatedHome home;
        TemporaryFolder files;
        fs::path inbox;
        std::unique_ptr<RenamerStore> store;
        testing::FakeEvents* events = nullptr;
        testing::FakeLoginItem* login = nullptr;
        std::unique_ptr<WatchFolderStore> watches;
        std::unique_ptr<WatchFolderView> view;
        std::optional<FileURL> nextFolder;
        int chooserCalls = 0;
    };

    TEST_F(WatchFolderViewTest, ShowsItsTextsAtItsFixedSize)
    {
        make();
        EXPECT_EQ(view->size(), QSize(650, 530));
        QStringList texts;
        for (auto* label : view->findChildren<QLabel*>())
            texts << label->text();
        EXPECT_TRUE(texts.contains("Watch Folders"));
        EXPECT_TRUE(texts.contains("New files are renamed after their size stops changing. "
                                   "Existing files are left alone when monitoring starts."));
        EXPECT_TRUE(texts.contains("Recent activity"));
        EXPECT_EQ(addButton()->text(), "Add Watch Folder\u2026");
        EXPECT_EQ(find<QCheckBox>("startAtLogin")->text(), "Start monitoring at login");
        EXPECT_EQ(find<QPushButton>("saveWatchSettings")->text(), "Save Watch Settings");
        EXPECT_TRUE(errorLabel()->isHidden());
    }

    TEST_F(WatchFolderViewTest, TheFolderDialogHasATitleOfOursAndAddsTheFolderChosen)
    {
        make();
        // A view as the settings make it: with the folder dialog of its own.
        WatchFolderView plain(*watches, *store);
        plain.show();
        auto menu = plain.findChild<QToolButton*>("addWatchFolder")->menu()->actions();
        menu.front()->trigger();
        auto* dialog = plain.findChild<QFileDialog*>("watchFolderDialog");
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Choose a Folder to Watch");
        EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
        EXPECT_TRUE(dialog->isVisible());
        dialog->reject();
        EXPECT_TRUE(watches->folders().empty()) << "cancelled";

        menu.front()->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        dialog = plain.findChild<QFileDialog*>("watchFolderDialog");
        ASSERT_NE(dialog, nullptr);
        dialog->setDirectory(QString::fromStdString(files.path().string()));
        dialog->selectFile(QString::fromStdString(inbox.string()));
        static_cast<QDialog*>(dialog)->accept();
        ASSERT_EQ(watches->folders().size(), 1u) << watches->error().value_or("");
        EXPECT_EQ(watches->folders()[0].folder.path, inbox.string());
    }

    TEST_F(WatchFolderViewTest, TheMenuListsThePresetsInOrderAndIsDisabledWithoutThem)
    {
        make({});
        EXPECT_FALSE(addButton()->isEnabled());
        store->savePreset("Later", "doc", "3478F6");
        EXPECT_TRUE(addButton()->isEnabled());
        ASSERT_EQ(addButton()->menu()->actions().size(), 1);

        view.reset();
        watches.reset();
        store.reset();
        make();
        auto actions = addButton()->menu()->actions();
        ASSERT_EQ(actions.size(), 2);
        EXPECT_EQ(actions[0]->text(), "Photos && Scans") << "names are shown as they are";
        EXPECT_EQ(actions[1]->text(), "Documents");
    }

    TEST_F(WatchFolderViewTest, ChoosingAPresetAddsTheChosenFolderWithIt)
    {
        make();
        nextFolder.reset();
        addButton()->menu()->actions()[1]->trigger();
        EXPECT_EQ(chooserCalls, 1);
        EXPECT_TRUE(watches->folders().empty()) << "cancelled";

        nextFolder = FileURL(inbox.string(), true);
        addButton()->menu()->actions()[1]->trigger();
        ASSERT_EQ(watches->folders().size(), 1u);
        EXPECT_EQ(watches->folders()[0].presetID, store->presets()[1].id);
        auto rows = all<QCheckBox>("folderEnabled");
        ASSERT_EQ(rows.size(), 1);
        EXPECT_TRUE(rows[0]->toolTip().contains(QString::fromStdString(inbox.string())));
        EXPECT_TRUE(rows[0]->isChecked());
        EXPECT_NE(storedText().find("Inbox"), std::string::npos);
    }

    TEST_F(WatchFolderViewTest, RowEditsChangeTheFolderButNotTheFileOrTheEvents)
    {
        make();
        addInbox();
        auto stored = storedText();
        auto watchedBefore = events->watched.size();
        find<QCheckBox>("includeSubfolders")->click();
        find<QCheckBox>("folderEnabled")->click();
        EXPECT_TRUE(watches->folders()[0].includeSubfolders);
        EXPECT_FALSE(watches->folders()[0].isEnabled);
        EXPECT_EQ(storedText(), stored);
        EXPECT_EQ(events->watched.size(), watchedBefore);

        find<QPushButton>("saveWatchSettings")->click();
        EXPECT_NE(storedText(), stored);
        EXPECT_FALSE(watches->isMonitoring());
    }

    TEST_F(WatchFolderViewTest, TypingKeepsTheRowAndItsFocus)
    {
        make();
        addInbox();
        auto* field = find<QLineEdit>("extensions");
        EXPECT_EQ(field->placeholderText(), "Extensions, comma separated");
        QApplication::setActiveWindow(view.get());
        field->setFocus();
        QTest::keyClicks(field, "jpg, png");
        EXPECT_EQ(watches->folders()[0].fileTypes, "jpg, png");
        EXPECT_EQ(find<QLineEdit>("extensions"), field);
        EXPECT_EQ(QApplication::focusWidget(), field);
        EXPECT_EQ(field->cursorPosition(), 8);
    }

    TEST_F(WatchFolderViewTest, RemoveWritesTheOthersAndRestarts)
    {
        auto second = files.createFolder("Second");
        make();
        addInbox();
        nextFolder = FileURL(second.string(), true);
        addButton()->menu()->actions().front()->trigger();
        ASSERT_EQ(all<QPushButton>("removeFolder").size(), 2);
        auto restarts = events->watched.size();

        all<QPushButton>("removeFolder").front()->click();
        ASSERT_EQ(watches->folders().size(), 1u);
        EXPECT_EQ(watches->folders()[0].folder.path, second.string());
        EXPECT_EQ(all<QPushButton>("removeFolder").size(), 1);
        EXPECT_EQ(storedText().find("Inbox"), std::string::npos);
        EXPECT_EQ(events->watched.size(), restarts + 1);
    }

    TEST_F(WatchFolderViewTest, ASettleTimeFromTheFileIsShownAsItIsAndTheStepperStopsAt1And60)
    {
        make({}, { storedFolder(inbox, 0) });
        auto* label = find<QLabel>("settleSeconds");
        auto* down = find<QToolButton>("settleDown");
        auto* up = find<QToolButton>("settleUp");
        EXPECT_EQ(label->text(), "Settle seconds: 0");
        EXPECT_FALSE(down->isEnabled());
        up->click();
        EXPECT_EQ(watches->folders()[0].settleSeconds, 1);
        EXPECT_EQ(label->text(), "Settle seconds: 1");
        EXPECT_FALSE(down->isEnabled());
        for (int step = 0; step < 70; ++step) {
            if (up->isEnabled())
                up->click();
        }
        EXPECT_EQ(watches->folders()[0].settleSeconds, 60);
        EXPECT_FALSE(up->isEnabled());
        down->click();
        EXPECT_EQ(label->text(), "Settle seconds: 59");
    }

    TEST_F(WatchFolderViewTest, AFailureIsShownInRedAndStays)
    {
        make();
        addInbox();
        nextFolder = FileURL(inbox.string(), true);
        addButton()->menu()->actions().front()->trigger();
        EXPECT_FALSE(errorLabel()->isHidden());
        EXPECT_EQ(errorLabel()->text(), "Watch folders cannot overlap.");
        auto color = errorLabel()->palette().color(QPalette::WindowText);
        EXPECT_GT(color.red(), 150);
        EXPECT_LT(color.green(), 100);
        find<QPushButton>("saveWatchSettings")->click();
        EXPECT_EQ(errorLabel()->text(), "Watch folders cannot overlap.");
    }

    TEST_F(WatchFolderViewTest, AFolderThatIsAnEarlierOneSaysWhyInItsRow)
    {
        // Two entries that are one folder: stored while they were still two, or by hand.
        make({ Preset("Photos & Scans", "photo", "3478F6", {}) },
            { storedFolder(inbox), storedFolder(inbox) });
        auto problems = all<QLabel>("folderProblem");
        ASSERT_EQ(problems.size(), 2);
        auto later = watches->folders()[1].id;
        ASSERT_EQ(watches->folderProblem(later), std::string(WatchFolderStore::overlapText));
        std::vector<QString> shown;
        for (auto* label : problems) {
            if (!label->isHidden())
                shown.push_back(label->text());
        }
        EXPECT_EQ(shown, (std::vector<QString> { "Watch folders cannot overlap." }));

        // Switched off, the later one has nothing to say.
        watches->updateFolder(later, [](WatchFolder& each) { each.isEnabled = false; });
        for (auto* label : all<QLabel>("folderProblem"))
            EXPECT_TRUE(label->isHidden());
    }

    TEST_F(WatchFolderViewTest, AFolderThatCannotBeWatchedSaysWhyInItsRowAndAMovedOneShowsWhereItIs)
    {
        make();
        addInbox();
        auto* problem = find<QLabel>("folderProblem");
        ASSERT_NE(problem, nullptr);
        EXPECT_TRUE(problem->isHidden());

        // Moved far away: found nowhere near its path.
        TemporaryFolder away;
        fs::rename(inbox, away / "Inbox");
        watches->markDirty();
        watches->tick();
        EXPECT_FALSE(problem->isHidden());
        EXPECT_EQ(
            problem->text().toStdString(), WatchFolderProblem::text(WatchFolderProblem::gone));
        EXPECT_EQ(all<QListWidget>("recentActivity").front()->count(), 1);

        // Back under another name nearby: watched there, and the row says where.
        auto moved = files / "Elsewhere" / "Inbox";
        fs::create_directory(files / "Elsewhere");
        fs::rename(away / "Inbox", moved);
        watches->markDirty();
        watches->tick();
        EXPECT_TRUE(problem->isHidden()) << problem->text().toStdString();
        auto* row = find<QCheckBox>("folderEnabled");
        EXPECT_TRUE(row->toolTip().contains(QString::fromStdString(moved.string())))
            << row->toolTip().toStdString();
    }

    TEST_F(WatchFolderViewTest, RecentActivityShowsTheLogNewestFirst)
    {
        make();
        for (int line = 1; line <= 201; ++line)
            watches->appendLog("line " + std::to_string(line));
        auto* activity = find<QListWidget>("recentActivity");
        ASSERT_EQ(activity->count(), 200);
        EXPECT_TRUE(activity->item(0)->text().endsWith(" \u00B7 line 201"));
        EXPECT_TRUE(activity->item(199)->text().endsWith(" \u00B7 line 2"));
        EXPECT_EQ(activity->height(), 100);
        EXPECT_EQ(activity->selectionMode(), QAbstractItemView::NoSelection);
    }

    TEST_F(WatchFolderViewTest, TheLoginSwitchFollowsTheLoginItem)
    {
        make();
        auto* toggle = find<QCheckBox>("startAtLogin");
        EXPECT_FALSE(toggle->isChecked());
        toggle->click();
        EXPECT_TRUE(login->enabled);
        EXPECT_TRUE(toggle->isChecked());

        login->failure = "the session refused";
        toggle->click();
        EXPECT_TRUE(toggle->isChecked()) << "shows the login item, still on";
        EXPECT_EQ(errorLabel()->text(), "the session refused");

        // Changed elsewhere: read again when the tab is shown.
        login->failure.reset();
        login->enabled = false;
        view->hide();
        view->show();
        EXPECT_FALSE(toggle->isChecked());
    }

    TEST(WatchFolderDialog, NamesThatAreNotTextAreFoundAgainAmongTheirFolder)
    {
        TemporaryFolder files;
        std::string odd = "caf\xE9";
        fs::create_directories(files / odd / "inner");
        auto shown = QString::fromStdString(files.path().string()) + "/caf\uFFFD/inner";
        EXPECT_EQ(folderFromDialog(shown).path, (files / odd / "inner").string());
        EXPECT_EQ(folderFromDialog(QString::fromStdString(files.path().string())).path,
            files.path().string());
    }

} // namespace
} // namespace sorvik
