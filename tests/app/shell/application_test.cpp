#include "app/shell/application.h"

#include "app/shell/app_delegate.h"
#include "app/shell/build_info.h"
#include "app/shell/launch_arguments.h"
#include "app/shell/main_window.h"
#include "app/shell/settings_window.h"
#include "app/shell/updater_store.h"
#include "app/store/preset_document.h"
#include "tests/app/shell/program_test_support.h"

#include <QAction>
#include <QApplication>
#include <QSignalSpy>
#include <QTabWidget>

#include <fstream>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::waitUntil;

    /// An updater that is never started and counts the user's checks.
    struct CountingUpdater : Updater {
        int& checks;
        explicit CountingUpdater(int& count)
            : checks(count)
        {
        }
        void start() override { }
        bool isStarted() const override { return false; }
        bool automaticallyChecksForUpdates() const override { return false; }
        void setAutomaticallyChecksForUpdates(bool) override { }
        void checkForUpdatesInBackground() override { }
        void checkForUpdates() override { ++checks; }
    };

    class ApplicationTest : public testing::ProgramFixture {
    protected:
        void SetUp() override
        {
            ProgramFixture::SetUp();
            updater = std::make_unique<UpdaterStore>(
                std::make_unique<CountingUpdater>(userChecks), BuildInfo {});
            program = makeProgram([this]() -> UpdaterStore& { return *updater; });
        }

        void TearDown() override
        {
            program.reset();
            ProgramFixture::TearDown();
        }

        static LaunchArguments arguments(std::vector<std::string> words)
        {
            return LaunchArguments::classify(words, "/");
        }

        int userChecks = 0;
        std::unique_ptr<UpdaterStore> updater;
        std::unique_ptr<Application> program;
    };

    TEST_F(ApplicationTest, SettingsShowsOneWindowWithItsThreeTabs)
    {
        program->launch(arguments({}));
        EXPECT_EQ(program->settingsWindow(), nullptr);

        program->mainWindow().settingsAction().trigger();
        auto* settings = program->settingsWindow();
        ASSERT_NE(settings, nullptr);
        EXPECT_TRUE(settings->isVisible());
        ASSERT_EQ(settings->tabs().count(), 3);
        EXPECT_EQ(settings->tabs().tabText(0), SettingsWindow::folderAccessLabel);
        EXPECT_EQ(settings->tabs().tabText(1), SettingsWindow::watchFoldersLabel);
        EXPECT_EQ(settings->tabs().tabText(2), SettingsWindow::updatesLabel);

        settings->close();
        program->mainWindow().settingsAction().trigger();
        EXPECT_EQ(program->settingsWindow(), settings);
        EXPECT_TRUE(settings->isVisible());
    }

    TEST_F(ApplicationTest, CheckForUpdatesIsTheUpdatersOwnCheck)
    {
        program->launch(arguments({}));
        program->mainWindow().checkForUpdatesAction().trigger();
        EXPECT_EQ(userChecks, 1);
    }

    TEST_F(ApplicationTest, FilesItWasStartedWithArriveInTwoPasses)
    {
        auto document = files / "P.TwPreset";
        std::ofstream(document, std::ios::binary)
            << PresetDocument::encode(Preset("Opened", "folder", "3478F6", {}));
        auto text = files.createFile("notes.txt", "text");

        program->launch(arguments({ document.string(), text.string() }));
        ASSERT_TRUE(waitUntilStoreIsIdle());
        EXPECT_TRUE(program->mainWindow().isVisible());
        EXPECT_EQ(store.presets().back().name, "Opened");
        ASSERT_EQ(store.items().size(), 1u);
        EXPECT_EQ(store.items().front().url.path, text.string());
    }

    TEST_F(ApplicationTest, ABackgroundStartWithNothingToWatchQuitsWhenTheLoopRuns)
    {
        QSignalSpy quit(program.get(), &Application::quitRequested);
        program->launch(arguments({ LaunchArguments::backgroundWatchArgument }));
        EXPECT_FALSE(program->mainWindow().isVisible());
        EXPECT_EQ(quit.count(), 0);
        EXPECT_TRUE(quit.wait(10'000));
        EXPECT_EQ(quit.count(), 1);
    }

    TEST_F(ApplicationTest, AWindowShownBeforeTheQuitComesDueKeepsItRunning)
    {
        QSignalSpy quit(program.get(), &Application::quitRequested);
        program->launch(arguments({ LaunchArguments::backgroundWatchArgument }));
        // A later start's files, taken in the same turn of the event loop.
        program->handleRequest({ InstanceRequest::Kind::show, {} });
        testing::runEvents(100);
        EXPECT_TRUE(program->mainWindow().isVisible());
        EXPECT_EQ(quit.count(), 0);
    }

} // namespace
} // namespace sorvik
