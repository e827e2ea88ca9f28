#include "app/rules/panels/sheet_presenter.h"
#include "app/shell/application.h"
#include "app/shell/content_view.h"
#include "app/shell/main_window.h"
#include "app/shell/message_alert.h"
#include "app/shell/settings_window.h"
#include "app/shell/updater_store.h"
#include "tests/app/shell/idle_updater.h"
#include "tests/app/shell/program_test_support.h"

#include <QCursor>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QWindow>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::waitUntil;

    const QSize designedMinimum(MainWindow::minimumWidth, MainWindow::minimumHeight);
    const QSize designedSize(MainWindow::defaultWidth, MainWindow::defaultHeight);

    QMargins frameOf(const QWidget& window) { return window.windowHandle()->frameMargins(); }

    /// The largest window the screen `window` is on holds, its frame left out.
    QSize roomFor(const QWidget& window)
    {
        return window.screen()->availableGeometry().size().shrunkBy(frameOf(window));
    }

    /// Whether the whole of `window`, its frame too, lies on `screen`.
    bool isWholeOn(const QWidget& window, const QScreen& screen)
    {
        auto frame = window.geometry().marginsAdded(frameOf(window));
        return window.screen() == &screen && screen.availableGeometry().contains(frame);
    }

    bool scrollsUpAndDown(const QScrollArea& area)
    {
        return area.verticalScrollBar()->maximum() > 0;
    }
    bool scrollsSideways(const QScrollArea& area)
    {
        return area.horizontalScrollBar()->maximum() > 0;
    }

    QString manyLines(int count)
    {
        QStringList lines;
        for (int line = 1; line <= count; ++line)
            lines << QStringLiteral("Preset %1 could not be read: it is not a preset.").arg(line);
        return lines.join(QLatin1Char('\n'));
    }

    /// The area that shows a long alert's text; null while the text fits.
    QScrollArea* scrollingText(QMessageBox& box)
    {
        for (auto* area : box.findChildren<QScrollArea*>()) {
            if (area->isVisible())
                return area;
        }
        return nullptr;
    }

    // The program's windows over one store, as the window program makes them.
    class ProgramWindows : public testing::ProgramFixture {
    protected:
        void SetUp() override
        {
            ProgramFixture::SetUp();
            program = makeProgram([this]() -> UpdaterStore& { return updater; });
        }

        void TearDown() override
        {
            program.reset();
            ProgramFixture::TearDown();
        }

        MainWindow& mainWindow() const { return program->mainWindow(); }

        bool showWindow()
        {
            mainWindow().show();
            return QTest::qWaitForWindowExposed(&mainWindow());
        }

        QMessageBox* alertFor(const QString& text)
        {
            store.setMessage(text.toStdString());
            auto& alert = mainWindow().alert();
            if (!waitUntil([&] { return alert.box() && alert.box()->isVisible(); }))
                return nullptr;
            return alert.box();
        }

        UpdaterStore updater { std::make_unique<testing::IdleUpdater>(),
            BuildInfo { "0.1.0", "1", "", "" } };
        std::unique_ptr<Application> program;
    };

    // On the tests' own screen (800 by 800), which is smaller than the main window's design.
    using WindowsOnTheTestScreen = ProgramWindows;

    TEST_F(WindowsOnTheTestScreen, TheMainWindowOpensWholeAndCanStillBeMadeNarrower)
    {
        EXPECT_EQ(mainWindow().minimumSize(), designedMinimum);
        EXPECT_EQ(mainWindow().size(), designedSize);
        ASSERT_TRUE(showWindow());
        auto& screen = *mainWindow().screen();
        auto room = roomFor(mainWindow());
        ASSERT_LT(room.width(), designedMinimum.width());
        EXPECT_TRUE(isWholeOn(mainWindow(), screen));
        EXPECT_EQ(mainWindow().size(), room);
        EXPECT_EQ(mainWindow().maximumSize(), room);
        // Narrower than the screen, not narrower than its columns; the design's height fits.
        EXPECT_LT(mainWindow().minimumSize().width(), room.width());
        EXPECT_GE(mainWindow().minimumSize().width(), ContentView::ruleColumnWidth);
        EXPECT_EQ(mainWindow().minimumSize().height(), designedMinimum.height());
    }

    TEST_F(WindowsOnTheTestScreen, AnAlertTallerThanTheScreenScrollsItsText)
    {
        ASSERT_TRUE(showWindow());
        auto text = manyLines(120);
        auto* box = alertFor(text);
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(isWholeOn(*box, *mainWindow().screen()));
        EXPECT_EQ(box->text(), text);
        auto* area = scrollingText(*box);
        ASSERT_NE(area, nullptr);
        EXPECT_TRUE(scrollsUpAndDown(*area));
        EXPECT_FALSE(scrollsSideways(*area));
        auto* shown = qobject_cast<QLabel*>(area->widget());
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown->text(), text);

        // A short text after it is the box's own again, in a box no taller than it needs.
        auto tall = box->height();
        store.setMessage("Short");
        ASSERT_TRUE(waitUntil([&] { return box->text() == "Short"; }));
        EXPECT_EQ(scrollingText(*box), nullptr);
        EXPECT_LT(box->height(), tall / 4);
        EXPECT_TRUE(isWholeOn(*box, *mainWindow().screen()));

        // And a long one once more scrolls again.
        store.setMessage(text.toStdString());
        ASSERT_TRUE(waitUntil([&] { return box->text() == text; }));
        ASSERT_NE(scrollingText(*box), nullptr);
        EXPECT_EQ(qobject_cast<QLabel*>(scrollingText(*box)->widget())->text(), text);
        EXPECT_TRUE(isWholeOn(*box, *mainWindow().screen()));
        box->done(QMessageBox::Ok);
    }

    TEST_F(WindowsOnTheTestScreen, AShortAlertIsLeftAsItIs)
    {
        ASSERT_TRUE(showWindow());
        auto* box = alertFor(QStringLiteral("Presets could not be read."));
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(scrollingText(*box), nullptr);
        EXPECT_TRUE(isWholeOn(*box, *mainWindow().screen()));
        box->done(QMessageBox::Ok);
    }

    // Several screens side by side (tests/app/shell/offscreen_screens.json), which only the
    // test that names that file has.
    struct ScreenCase {
        std::string name;
        /// Whether the main window's designed minimum, its designed size, and its columns
        /// fit on it.
        bool minimumFits;
        bool sizeFits;
        bool columnsFit;
    };

    void PrintTo(const ScreenCase& c, std::ostream* out) { *out << c.name; }

    class WindowsOnScreens : public ProgramWindows,
                             public ::testing::WithParamInterface<ScreenCase> {
    protected:
        void SetUp() override
        {
            if (qEnvironmentVariable("SORVIK_TEST_SCREENS") != QLatin1String("1"))
                GTEST_SKIP() << "runs on the offscreen screens of offscreen_screens.json only";
            for (auto* candidate : QGuiApplication::screens()) {
                if (candidate->name().toStdString() == GetParam().name)
                    screen = candidate;
            }
            ASSERT_NE(screen, nullptr) << GetParam().name;
            ProgramWindows::SetUp();
        }

        void TearDown() override
        {
            if (screen)
                ProgramWindows::TearDown();
        }

        /// Shows the main window with the pointer on `screen`.
        bool showWindowOnScreen()
        {
            QCursor::setPos(screen->geometry().center());
            return showWindow();
        }

        QScreen* screen = nullptr;
    };

    TEST_P(WindowsOnScreens, TheMainWindowOpensWholeOnTheScreenUnderThePointer)
    {
        ASSERT_TRUE(showWindowOnScreen());
        EXPECT_TRUE(isWholeOn(mainWindow(), *screen));
        auto room = roomFor(mainWindow());
        auto& area = *qobject_cast<QScrollArea*>(mainWindow().centralWidget());
        if (GetParam().sizeFits) {
            EXPECT_EQ(mainWindow().minimumSize(), designedMinimum);
            EXPECT_EQ(mainWindow().size(), designedSize);
        } else if (GetParam().minimumFits) {
            EXPECT_EQ(mainWindow().minimumSize(), designedMinimum);
            EXPECT_EQ(mainWindow().size(), designedSize.boundedTo(room));
        } else {
            EXPECT_EQ(mainWindow().size(), room);
            EXPECT_LE(mainWindow().minimumSize().width(), room.width());
            EXPECT_LE(mainWindow().minimumSize().height(), room.height());
        }
        // The columns scroll only where they are larger than the room.
        QTest::qWait(0);
        EXPECT_EQ(scrollsUpAndDown(area) || scrollsSideways(area), !GetParam().columnsFit);
        // It opens in the middle of the screen.
        auto frame = mainWindow().geometry().marginsAdded(frameOf(mainWindow()));
        EXPECT_LE((frame.center() - screen->availableGeometry().center()).manhattanLength(), 2);
    }

    TEST_P(WindowsOnScreens, TheSettingsOpenWholeOverTheMainWindowAndTheirPagesScroll)
    {
        ASSERT_TRUE(showWindowOnScreen());
        program->showSettings();
        auto& settings = *program->settingsWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&settings));
        EXPECT_TRUE(isWholeOn(settings, *screen));
        auto whole = settings.sizeHint();
        auto room = roomFor(settings);
        EXPECT_EQ(settings.size(), whole.boundedTo(room));
        // Up and down only, where the screen is too short for the tallest page.
        settings.tabs().setCurrentIndex(1);
        QTest::qWait(0);
        auto& watchPage = *qobject_cast<QScrollArea*>(settings.tabs().widget(1));
        EXPECT_EQ(scrollsUpAndDown(watchPage), whole.height() > room.height());
        EXPECT_EQ(scrollsSideways(watchPage), whole.width() > room.width());

        // Closed and asked for again, it comes back where it was.
        auto place = settings.geometry();
        settings.close();
        program->showSettings();
        EXPECT_EQ(settings.geometry(), place);
        EXPECT_TRUE(isWholeOn(settings, *screen));
    }

    TEST_P(WindowsOnScreens, EverySheetOpensWholeOverTheMainWindowOnItsScreen)
    {
        ASSERT_TRUE(showWindowOnScreen());
        // Enough saved presets for the save-preset sheet to be taller than a small screen.
        for (int number = 1; number <= 15; ++number)
            store.savePreset("Trip photos " + std::to_string(number), "camera", "3478F6");
        struct Sheet {
            const char* name;
            std::function<void()> raise;
            QSize designed;
        };
        std::vector<Sheet> sheets {
            { "history", [&] { store.setShowingHistory(true); }, QSize(700, 460) },
            { "palette", [&] { store.setShowingPalette(true); }, QSize(440, 460) },
            { "save preset", [&] { store.setShowingSavePreset(true); }, QSize() },
        };
        for (const auto& sheet : sheets) {
            SCOPED_TRACE(sheet.name);
            sheet.raise();
            auto& presenter = mainWindow().sheets();
            ASSERT_TRUE(waitUntil([&] { return presenter.current(); }));
            QPointer<QDialog> shown = presenter.current();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(shown.data()));
            EXPECT_TRUE(isWholeOn(*shown, *screen));
            // Nothing of it is cut off: what does not fit scrolls in its list.
            EXPECT_LE(shown->minimumSizeHint().width(), shown->width());
            EXPECT_LE(shown->minimumSizeHint().height(), shown->height());
            auto room = roomFor(*shown);
            if (sheet.designed.isValid()) {
                EXPECT_EQ(shown->size(), sheet.designed.boundedTo(room));
            }
            // Over the middle of the main window, as far as the screen lets it be.
            auto over = mainWindow().geometry().center();
            auto centre = shown->geometry().center();
            if (shown->width() + 8 < room.width() && shown->height() + 8 < room.height()) {
                EXPECT_LE((centre - over).manhattanLength(), 4);
            }
            shown->reject();
            ASSERT_TRUE(waitUntil([&] { return !shown && !presenter.current(); }));
        }
    }

    TEST_P(WindowsOnScreens, ALongAlertOpensWholeOverTheMainWindow)
    {
        ASSERT_TRUE(showWindowOnScreen());
        auto* box = alertFor(manyLines(120));
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(isWholeOn(*box, *screen));
        box->done(QMessageBox::Ok);
    }

    INSTANTIATE_TEST_SUITE_P(Screens, WindowsOnScreens,
        ::testing::Values(ScreenCase { "large", true, true, true },
            ScreenCase { "full-hd", true, true, true },
            ScreenCase { "full-hd-at-150", true, false, true },
            ScreenCase { "full-hd-at-200", false, false, true },
            ScreenCase { "tiny", false, false, false }),
        [](const auto& param) {
            auto name = param.param.name;
            std::replace(name.begin(), name.end(), '-', '_');
            return name;
        });

    // A window taken to another screen fits that one, and the first again when brought back.
    class WindowsMovedBetweenScreens : public ProgramWindows {
    protected:
        void SetUp() override
        {
            if (qEnvironmentVariable("SORVIK_TEST_SCREENS") != QLatin1String("1"))
                GTEST_SKIP() << "runs on the offscreen screens of offscreen_screens.json only";
            ProgramWindows::SetUp();
            for (auto* candidate : QGuiApplication::screens()) {
                if (candidate->name() == QLatin1String("large"))
                    large = candidate;
                if (candidate->name() == QLatin1String("tiny"))
                    tiny = candidate;
            }
            ASSERT_TRUE(large && tiny);
        }

        QScreen* large = nullptr;
        QScreen* tiny = nullptr;
    };

    TEST_F(WindowsMovedBetweenScreens, TheMainWindowKeepsItsDesignOnlyWhereItFits)
    {
        QCursor::setPos(large->geometry().center());
        ASSERT_TRUE(showWindow());
        ASSERT_EQ(mainWindow().screen(), large);
        EXPECT_EQ(mainWindow().minimumSize(), designedMinimum);

        // As the user drags it across: the window is where the user put it, no larger than
        // the screen it is now on, and can be made as small as that.
        mainWindow().move(tiny->geometry().topLeft() + QPoint(10, 10));
        auto fitsTiny = [&] {
            if (mainWindow().screen() != tiny)
                return false;
            auto room = roomFor(mainWindow());
            auto size = mainWindow().size().expandedTo(mainWindow().minimumSize());
            return size.width() <= room.width() && size.height() <= room.height();
        };
        EXPECT_TRUE(waitUntil(fitsTiny));
        EXPECT_EQ(mainWindow().geometry().topLeft(),
            tiny->geometry().topLeft() + QPoint(10, 10)
                + QPoint(frameOf(mainWindow()).left(), frameOf(mainWindow()).top()));

        // Brought back, it has the room for its design again.
        mainWindow().move(large->geometry().topLeft() + QPoint(100, 100));
        EXPECT_TRUE(waitUntil([&] {
            return mainWindow().screen() == large && mainWindow().minimumSize() == designedMinimum;
        }));
        EXPECT_EQ(mainWindow().maximumSize(), roomFor(mainWindow()));
    }

} // namespace
} // namespace sorvik
