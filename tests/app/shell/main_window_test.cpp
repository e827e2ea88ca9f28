#include "app/shell/main_window.h"

#include "app/rules/panels/rule_palette.h"
#include "app/rules/panels/rule_stack_panel.h"
#include "app/rules/panels/save_preset_sheet.h"
#include "app/rules/panels/sheet_presenter.h"
#include "app/rules/rule_card.h"
#include "app/shell/content_view.h"
#include "app/shell/files_footer.h"
#include "app/shell/files_panel.h"
#include "app/shell/folder_access_bar.h"
#include "app/shell/history_sheet.h"
#include "app/shell/message_alert.h"
#include "app/shell/symbol_label.h"
#include "app/shell/toast_overlay.h"
#include "app/shell/window_toolbar.h"
#include "app/style/brand_colors.h"
#include "app/style/brand_primary_button.h"
#include "app/style/ui_style.h"
#include "tests/app/shell/shell_test_support.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <filesystem>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::waitUntil;

    /// An access dialog that always chooses `answer`, and records where it was opened.
    class ChoosingAccessPrompt : public AccessPrompt {
    public:
        std::optional<FileURL> answer;
        std::vector<FileURL> startFolders;

        std::optional<FileURL> chooseFolder(
            const FileURL& startFolder, const std::string&, const std::string&) override
        {
            startFolders.push_back(startFolder);
            return answer;
        }
    };

    QStringList entries(const QMenu& menu)
    {
        QStringList texts;
        for (auto* action : menu.actions())
            texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
        return texts;
    }

    class MainWindowTest : public ::testing::Test {
    protected:
        MainWindowTest()
        {
            // The window's own dialogs would wait for a person; these answer at once.
            fixture.store.setDialogs(&fixture.dialogs);
            fixture.store.folderAccess().setAccessPrompt(&prompt);
        }

        void show()
        {
            window->show();
            QApplication::setActiveWindow(window.get());
            ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        }

        QMenu& menu(const char* name) const
        {
            return *window->menuBar()->findChild<QMenu*>(QString::fromLatin1(name));
        }

        FilesFooter& footer() const { return window->content().filesPanel().footer(); }

        testing::StoreFixture fixture;
        ChoosingAccessPrompt prompt;
        std::unique_ptr<MainWindow> window = std::make_unique<MainWindow>(fixture.store);
    };

    TEST_F(MainWindowTest, IsTitledAndSizedAsDesignedWithTheRuleColumnAtItsWidth)
    {
        EXPECT_EQ(window->windowTitle(), "sorvik");
        EXPECT_EQ(window->minimumSize(), QSize(1000, 640));
        EXPECT_EQ(window->size(), QSize(1240, 800));
        // The columns scroll in the window where its screen is too small for them.
        auto* area = qobject_cast<QScrollArea*>(window->centralWidget());
        ASSERT_NE(area, nullptr);
        EXPECT_EQ(area->widget(), &window->content());
        show();
        // The tests' screen is narrower than the design: the window is no wider than it, the
        // rule column keeps its width and the file list has the rest, with nothing scrolled.
        auto& content = window->content();
        auto& files = content.filesPanel();
        EXPECT_LE(window->frameGeometry().width(), window->screen()->availableGeometry().width());
        EXPECT_EQ(content.rulePanel().width(), 320);
        EXPECT_EQ(content.size(), area->viewport()->size());
        EXPECT_EQ(files.mapTo(&content, QPoint(files.width(), 0)).x(), content.width());
        EXPECT_GT(files.width(), 400);
        EXPECT_TRUE(window->content().accessBar().isHidden());
        EXPECT_EQ(window->palette().color(QPalette::Highlight),
            BrandColors::color(BrandColor::brandAccent));
    }

    TEST_F(MainWindowTest, TheMenusHoldTheCommandsWithTheirKeys)
    {
        EXPECT_EQ(entries(menu("fileMenu")),
            (QStringList { QString::fromUtf8("Add Files or Folders\u2026"),
                QString::fromUtf8("Add Rule\u2026"), "Undo Rename", "-", "Quit" }));
        EXPECT_EQ(window->addFilesAction().shortcut(), QKeySequence("Ctrl+O"));
        EXPECT_EQ(window->addRuleAction().shortcut(), QKeySequence("Ctrl+K"));
        EXPECT_EQ(window->undoRenameAction().shortcut(), QKeySequence("Ctrl+Alt+Z"));
        EXPECT_EQ(window->quitAction().shortcut(), QKeySequence("Ctrl+Q"));
        EXPECT_EQ(entries(menu("editMenu")),
            (QStringList { "Undo", "Redo", "-", QString::fromUtf8("Settings\u2026") }));
        EXPECT_EQ(window->undoAction().shortcut(), QKeySequence(QKeySequence::Undo));
        EXPECT_EQ(window->settingsAction().shortcut(), QKeySequence("Ctrl+,"));
        EXPECT_EQ(entries(menu("helpMenu")),
            QStringList { QString::fromUtf8("Check for Updates\u2026") });
        EXPECT_TRUE(window->checkForUpdatesAction().shortcut().isEmpty());
        EXPECT_TRUE(window->checkForUpdatesAction().isEnabled());
    }

    TEST_F(MainWindowTest, CtrlOAsksForFilesAndFoldersAndCtrlKOpensThePalette)
    {
        show();
        fixture.dialogs.addAnswer.reset();
        QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
        ASSERT_EQ(fixture.dialogs.addRequests.size(), 1u);
        EXPECT_EQ(fixture.dialogs.addRequests[0].first, "Add");

        QTest::keyClick(window.get(), Qt::Key_K, Qt::ControlModifier);
        EXPECT_TRUE(fixture.store.showingPalette());
        ASSERT_TRUE(
            waitUntil([&] { return qobject_cast<RulePalette*>(window->sheets().current()); }));
        EXPECT_EQ(window->sheets().current()->parentWidget(), window.get());
        // Again while it is shown: it stays shown, alone.
        window->addRuleAction().trigger();
        EXPECT_TRUE(fixture.store.showingPalette());
        window->sheets().current()->reject();
        EXPECT_FALSE(fixture.store.showingPalette());
    }

    TEST_F(MainWindowTest, ThePaletteSheetMarksItsChoiceInTheListsAccent)
    {
        auto saved = QApplication::palette();
        show();
        fixture.store.setShowingPalette(true);
        RulePalette* sheet = nullptr;
        ASSERT_TRUE(waitUntil(
            [&] { return sheet = qobject_cast<RulePalette*>(window->sheets().current()); }));
        auto& table = window->content().filesPanel().table();
        for (bool dark : { false, true }) {
            if (dark) {
                QPalette night(QColor(0x2B, 0x2B, 0x2B));
                night.setColor(QPalette::WindowText, QColor(0xEE, 0xEE, 0xEE));
                night.setColor(QPalette::Highlight, QColor(0x30, 0x8C, 0xC6));
                QApplication::setPalette(night);
                QCoreApplication::processEvents();
            }
            auto accent = BrandColors::color(
                BrandColor::brandAccent, dark ? Appearance::dark : Appearance::light);
            for (auto group : { QPalette::Active, QPalette::Inactive }) {
                EXPECT_EQ(table.palette().color(group, QPalette::Highlight), accent) << dark;
                EXPECT_EQ(sheet->list()->palette().color(group, QPalette::Highlight), accent)
                    << dark;
                EXPECT_EQ(sheet->list()->palette().color(group, QPalette::HighlightedText),
                    table.palette().color(group, QPalette::HighlightedText))
                    << dark;
            }
        }
        QApplication::setPalette(saved);
        sheet->reject();
    }

    TEST_F(MainWindowTest, TheBarsStandOnTheWindowSurfaceNotOnTheCanvas)
    {
        fixture.files.createFile("a.txt");
        ASSERT_TRUE(fixture.add({ fixture.url("a.txt") }));
        show();
        auto canvas = BrandColors::color(BrandColor::brandCanvas);
        auto surface = QApplication::palette().color(QPalette::Window);
        ASSERT_NE(surface, canvas);
        EXPECT_EQ(window->content().palette().color(QPalette::Window), canvas);
        auto& panel = window->content().filesPanel();
        for (QWidget* bar : { static_cast<QWidget*>(&panel.footer()),
                 static_cast<QWidget*>(&window->content().accessBar()),
                 static_cast<QWidget*>(&panel.toast()) })
            EXPECT_EQ(bar->palette().color(QPalette::Window), surface)
                << bar->objectName().toStdString();

        // As drawn: the footer's corner, and the middle of the toast's capsule.
        auto footer = panel.footer().grab().toImage();
        EXPECT_EQ(footer.pixelColor(1, 1), surface);
        fixture.store.showToast("Renamed 1 file");
        ASSERT_TRUE(waitUntil([&] { return panel.toast().isVisible(); }));
        testing::runEvents(400);
        auto toast = panel.toast().grab().toImage();
        auto& text = *panel.toast().findChild<QLabel*>();
        auto beside = text.geometry().topLeft() - QPoint(4, 0);
        EXPECT_NE(toast.pixelColor(beside), canvas);
    }

    TEST_F(MainWindowTest, SettingsAndCheckForUpdatesAreAnnounced)
    {
        show();
        QSignalSpy settings(window.get(), &MainWindow::settingsRequested);
        QSignalSpy updates(window.get(), &MainWindow::checkForUpdatesRequested);
        QTest::keyClick(window.get(), Qt::Key_Comma, Qt::ControlModifier);
        EXPECT_EQ(settings.count(), 1);
        window->checkForUpdatesAction().trigger();
        EXPECT_EQ(updates.count(), 1);
    }

    TEST_F(MainWindowTest, EditUndoTakesBackARuleEditInOneStep)
    {
        // Before it is shown the store has no undo stack of this window.
        EXPECT_NE(fixture.store.ruleUndoManager(), &window->undoStack());
        show();
        EXPECT_EQ(fixture.store.ruleUndoManager(), &window->undoStack());
        EXPECT_FALSE(window->undoAction().isEnabled());

        auto before = fixture.store.rules();
        fixture.store.setRules({ testing::insertRule("x_") });
        EXPECT_TRUE(window->undoAction().isEnabled());
        EXPECT_EQ(window->undoAction().text(), "Undo Edit Rules");
        window->setFocus();
        QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(fixture.store.rules(), before);
        EXPECT_EQ(window->redoAction().text(), "Redo Edit Rules");
    }

    TEST_F(MainWindowTest, AFocusedTextFieldKeepsItsOwnCtrlZ)
    {
        show();
        fixture.store.setRules({ testing::replaceRule("", "") });
        ASSERT_TRUE(waitUntil([&] { return window->content().rulePanel().cards().size() == 1; }));
        auto* card = window->content().rulePanel().cards().front();
        auto* field = card->findChild<QLineEdit*>();
        ASSERT_TRUE(field);
        field->setFocus();
        ASSERT_TRUE(waitUntil([&] { return field->hasFocus(); }));
        QTest::keyClicks(field, "abc");
        QSignalSpy windowUndo(&window->undoAction(), &QAction::triggered);
        QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(windowUndo.count(), 0);
        EXPECT_NE(field->text(), "abc");
    }

    TEST_F(MainWindowTest, CtrlZInAFieldWithNothingTypedTakesBackTheNewRule)
    {
        show();
        window->content()
            .rulePanel()
            .findChild<QMenu*>("addRuleMenu")
            ->findChild<QAction*>("replace")
            ->trigger();
        ASSERT_EQ(fixture.store.rules().size(), 1u);
        ASSERT_TRUE(waitUntil([&] { return window->content().rulePanel().cards().size() == 1; }));
        ASSERT_TRUE(
            waitUntil([&] { return qobject_cast<QLineEdit*>(QApplication::focusWidget()); }));
        auto* field = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QSignalSpy windowUndo(&window->undoAction(), &QAction::triggered);
        QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(windowUndo.count(), 1);
        EXPECT_TRUE(fixture.store.rules().empty());
        QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(fixture.store.rules().size(), 1u);
    }

    TEST_F(MainWindowTest, SheetsFollowTheirFlagsOneAtATime)
    {
        show();
        fixture.store.setShowingSavePreset(true);
        fixture.store.setShowingPalette(true);
        ASSERT_TRUE(waitUntil([&] { return window->sheets().current(); }));
        auto* sheet = qobject_cast<SavePresetSheet*>(window->sheets().current());
        ASSERT_TRUE(sheet);
        EXPECT_EQ(sheet->symbol(), "slider.horizontal.3");
        EXPECT_EQ(sheet->color(), "3478F6");
        sheet->reject();
        EXPECT_FALSE(fixture.store.showingSavePreset());
        ASSERT_TRUE(
            waitUntil([&] { return qobject_cast<RulePalette*>(window->sheets().current()); }));
        fixture.store.setShowingPalette(false);
        ASSERT_TRUE(waitUntil([&] { return !window->sheets().current(); }));

        QTest::mouseClick(&window->toolbar().historyButton(), Qt::LeftButton);
        ASSERT_TRUE(
            waitUntil([&] { return qobject_cast<HistorySheet*>(window->sheets().current()); }));
        static_cast<HistorySheet*>(window->sheets().current())->doneButton().click();
        EXPECT_FALSE(fixture.store.showingHistory());
    }

    TEST_F(MainWindowTest, SheetsAndTheAlertWaitWhileTheWindowIsHidden)
    {
        fixture.store.setShowingHistory(true);
        fixture.store.setMessage("Raised while hidden");
        testing::runEvents(20);
        EXPECT_FALSE(window->sheets().current());
        EXPECT_FALSE(window->alert().box());
        show();
        ASSERT_TRUE(waitUntil([&] { return window->sheets().current() && window->alert().box(); }));
        EXPECT_EQ(window->alert().box()->text(), "Raised while hidden");
        // Over the sheet, so that it can be read.
        EXPECT_EQ(window->alert().box()->parentWidget(), window->sheets().current());
        window->alert().box()->done(QMessageBox::Ok);
        EXPECT_FALSE(fixture.store.message());
    }

    TEST_F(MainWindowTest, TheAccessBarAsksForTheFolderAndGoesOnceItIsGranted)
    {
        fixture.files.createFile("Loose/IMG_1.jpg", "one");
        ASSERT_TRUE(fixture.setRules({ testing::replaceRule("IMG", "Beach") }));
        // A file added on its own: its folder is not granted by adding it.
        ASSERT_TRUE(fixture.add({ fixture.url("Loose/IMG_1.jpg") }));
        show();
        auto& bar = window->content().accessBar();
        ASSERT_FALSE(bar.isHidden());
        EXPECT_EQ(bar.requestLabel().text(), "To rename these files, allow access to Loose.");
        auto& rename = footer().renameButton();
        EXPECT_EQ(rename.text(), "Grant access to rename");
        EXPECT_TRUE(rename.isEnabled());

        prompt.answer = fixture.folder("Loose");
        QTest::mouseClick(&bar.grantButton(), Qt::LeftButton);
        ASSERT_EQ(prompt.startFolders.size(), 1u);
        EXPECT_EQ(prompt.startFolders[0].standardized().path, fixture.folder("Loose").path);
        ASSERT_TRUE(waitUntil([&] { return bar.isHidden(); }));
        ASSERT_TRUE(fixture.settle());
        EXPECT_EQ(rename.text(), "Rename 1 Files");
    }

    TEST_F(MainWindowTest, AFailedRenameRaisesTheFailureAlertOverTheWindow)
    {
        // The window's own dialogs: the alert is a real message box here.
        fixture.store.setDialogs(&window->dialogs());
        fixture.files.createFile("Trip/IMG_1.jpg", "one");
        ASSERT_TRUE(fixture.setRules({ testing::replaceRule("IMG", "Beach") }));
        ASSERT_TRUE(fixture.add({ fixture.folder("Trip") }));
        show();
        std::filesystem::remove(fixture.files / "Trip/IMG_1.jpg");

        QString title;
        QString text;
        QWidget* parent = nullptr;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_TRUE(box);
            title = box->windowTitle();
            text = box->text();
            parent = box->parentWidget();
            box->accept();
        });
        QTest::keyClick(window.get(), Qt::Key_Return, Qt::ControlModifier);
        EXPECT_EQ(text, "Couldn't rename the files");
        EXPECT_EQ(title, "sorvik");
        EXPECT_EQ(parent, window.get());
        ASSERT_TRUE(fixture.store.lastFailureAlert());
        EXPECT_TRUE(fixture.store.undoStack().empty());
    }

    TEST_F(MainWindowTest, TabGoesFromTheToolbarToTheRulesToTheFiles)
    {
        fixture.files.createFile("Trip/a.jpg");
        ASSERT_TRUE(fixture.add({ fixture.folder("Trip") }));
        show();
        std::vector<QWidget*> chain;
        QWidget* widget = window.get();
        for (int step = 0; step < 500; ++step) {
            widget = widget->nextInFocusChain();
            if (widget == window.get())
                break;
            chain.push_back(widget);
        }
        auto place = [&](QWidget* wanted) {
            return std::find(chain.begin(), chain.end(), wanted) - chain.begin();
        };
        auto& toolbar = window->toolbar();
        EXPECT_LT(place(&toolbar.historyButton()), place(&toolbar.addButton()));
        EXPECT_LT(place(&toolbar.addButton()), place(&window->content().rulePanel()));
        auto rulesEnd = place(&window->content().rulePanel());
        EXPECT_LT(rulesEnd, place(&window->content().filesPanel().table()));
        EXPECT_LT(place(&window->content().filesPanel().table()), place(&footer().renameButton()));
    }

    TEST_F(MainWindowTest, EveryControlThatTakesFocusHasAName)
    {
        fixture.files.createFile("Trip/a.jpg");
        ASSERT_TRUE(fixture.setRules({ testing::replaceRule("a", "b"), testing::insertRule("x") }));
        ASSERT_TRUE(fixture.add({ fixture.folder("Trip") }));
        show();
        int checked = 0;
        for (auto* widget : window->findChildren<QWidget*>()) {
            if (widget->focusPolicy() == Qt::NoFocus || !widget->isVisible())
                continue;
            auto* accessible = QAccessible::queryAccessibleInterface(widget);
            ASSERT_TRUE(accessible);
            EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty())
                << widget->metaObject()->className() << " " << widget->objectName().toStdString();
            ++checked;
        }
        EXPECT_GT(checked, 20);
    }

    TEST_F(MainWindowTest, LeavesTheStoreWithoutItsDialogsWhenItGoes)
    {
        MainWindow second(fixture.store);
        EXPECT_EQ(fixture.store.dialogs(), &second.dialogs());
        fixture.files.createFile("Other/a.jpg");
        {
            MainWindow gone(fixture.store);
        }
        EXPECT_EQ(fixture.store.dialogs(), nullptr);
        // Asking for access now asks nobody rather than a dialog that is gone.
        fixture.store.folderAccess().requestAccess(fixture.folder("Other"));
        EXPECT_TRUE(prompt.startFolders.empty());
    }

} // namespace
} // namespace sorvik
