#include "app/shell/app_delegate.h"

#include "app/shell/build_info.h"
#include "app/shell/updater_store.h"
#include "app/store/preset_document.h"
#include "tests/app/automation/watch_test_support.h"
#include "tests/app/shell/idle_updater.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::IdleUpdater;

    using testing::waitUntil;

    class AppDelegateTest : public testing::WatchStoreFixture {
    protected:
        void SetUp() override
        {
            WatchStoreFixture::SetUp();
            delegate = std::make_unique<AppDelegate>(
                store,
                [this]() -> WatchFolderStore& {
                    ++watchStoreUses;
                    if (!watches)
                        makeStore();
                    return *watches;
                },
                [this]() -> UpdaterStore& {
                    ++updaterUses;
                    if (!updater)
                        updater = std::make_unique<UpdaterStore>(
                            std::make_unique<IdleUpdater>(), BuildInfo {});
                    return *updater;
                });
            delegate->setMainWindow(&window);
        }

        void TearDown() override
        {
            delegate.reset();
            WatchStoreFixture::TearDown();
        }

        /// A preset document named `name` in the files folder.
        FileURL presetDocument(std::string_view name, std::string presetName)
        {
            auto path = files / name;
            std::ofstream(path, std::ios::binary)
                << PresetDocument::encode(Preset(std::move(presetName), "folder", "3478F6", {}));
            return FileURL(path.string());
        }

        std::vector<std::string> presetNames() const
        {
            std::vector<std::string> names;
            for (const auto& each : store.presets())
                names.push_back(each.name);
            return names;
        }

        std::vector<std::string> itemPaths() const
        {
            std::vector<std::string> paths;
            for (const auto& item : store.items())
                paths.push_back(item.url.path);
            return paths;
        }

        QWidget window;
        int watchStoreUses = 0;
        int updaterUses = 0;
        std::unique_ptr<UpdaterStore> updater;
        std::unique_ptr<AppDelegate> delegate;
    };

    TEST_F(AppDelegateTest, ALaunchShowsTheWindowAndStartsTheWatchFolders)
    {
        makeStore();
        watch();
        watches->shutdown();
        watches.reset();
        QSignalSpy quit(delegate.get(), &AppDelegate::quitRequested);

        delegate->applicationDidFinishLaunching(false);
        EXPECT_EQ(updaterUses, 1);
        EXPECT_TRUE(window.isVisible());
        ASSERT_TRUE(watches);
        EXPECT_TRUE(watches->isMonitoring());
        testing::runEvents(50);
        EXPECT_EQ(quit.count(), 0);
    }

    TEST_F(AppDelegateTest, ABackgroundLaunchNeverShowsTheWindowAndWatches)
    {
        makeStore();
        watch();
        QSignalSpy quit(delegate.get(), &AppDelegate::quitRequested);
        int shows = 0;
        struct ShowCounter : QObject {
            int& count;
            explicit ShowCounter(int& shown)
                : count(shown)
            {
            }
            bool eventFilter(QObject*, QEvent* event) override
            {
                if (event->type() == QEvent::Show)
                    ++count;
                return false;
            }
        } counter(shows);
        window.installEventFilter(&counter);

        delegate->applicationDidFinishLaunching(true);
        testing::runEvents(100);
        EXPECT_EQ(shows, 0);
        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(updaterUses, 1);
        EXPECT_TRUE(watches->isMonitoring());
        EXPECT_EQ(quit.count(), 0);
        window.removeEventFilter(&counter);
    }

    TEST_F(AppDelegateTest, ABackgroundLaunchWithNothingToWatchQuits)
    {
        QSignalSpy quit(delegate.get(), &AppDelegate::quitRequested);
        delegate->applicationDidFinishLaunching(true);
        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(quit.count(), 1);
    }

    TEST_F(AppDelegateTest, WhileNoWindowShowsTheLastFolderSwitchedOffQuits)
    {
        makeStore();
        const auto& folder = watch();
        auto id = folder.id;
        delegate->applicationDidFinishLaunching(true);
        QSignalSpy quit(delegate.get(), &AppDelegate::quitRequested);
        watches->updateFolder(id, [](WatchFolder& each) { each.isEnabled = false; });
        EXPECT_EQ(quit.count(), 1);
    }

    TEST_F(AppDelegateTest, UnderTheTestHostTheWatchFoldersDoNotStart)
    {
        ::setenv(testHostVariable, "1", 1);
        delegate->applicationDidFinishLaunching(false);
        ::unsetenv(testHostVariable);
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(updaterUses, 1);
        EXPECT_EQ(watchStoreUses, 0);
        EXPECT_FALSE(watches);
    }

    TEST_F(AppDelegateTest, OpenedFilesImportPresetsOneByOneThenAddTheRestInOneCall)
    {
        auto first = presetDocument("first.twpreset", "First");
        auto second = presetDocument("Second.TWPRESET", "Second");
        auto image = FileURL(files.createFile("photo.jpg", "jpeg").string());
        auto text = FileURL(files.createFile("notes.txt", "text").string());
        auto before = presetNames();

        delegate->openFiles({ image, first, text, second });
        ASSERT_TRUE(waitUntilStoreIsIdle());
        auto after = presetNames();
        before.push_back("First");
        before.push_back("Second");
        EXPECT_EQ(after, before);
        EXPECT_EQ(itemPaths(), (std::vector<std::string> { image.path, text.path }));
        // One call: the items are numbered one after another, in the order they came.
        ASSERT_EQ(store.items().size(), 2u);
        EXPECT_EQ(store.items()[1].order, store.items()[0].order + 1);
        EXPECT_FALSE(store.message());
        EXPECT_FALSE(store.toast());
    }

    TEST_F(AppDelegateTest, OpeningOnlyPresetsAddsNothingAndSaysNothing)
    {
        delegate->openFiles({ presetDocument("only.twpreset", "Only") });
        ASSERT_TRUE(waitUntilStoreIsIdle());
        EXPECT_TRUE(store.items().empty());
        EXPECT_FALSE(store.toast());
        EXPECT_FALSE(store.message());
        EXPECT_EQ(presetNames().back(), "Only");
    }

    TEST_F(AppDelegateTest, EveryPresetThatFailsIsReportedAndTheRestStillArrive)
    {
        auto broken = FileURL(files.createFile("broken.twpreset", "{").string());
        auto missing = FileURL((files / "missing.twpreset").string());
        auto good = presetDocument("good.twpreset", "Good");
        auto text = FileURL(files.createFile("notes.txt", "text").string());
        delegate->openFiles({ broken, missing, good, text });
        ASSERT_TRUE(waitUntilStoreIsIdle());
        ASSERT_TRUE(store.message());
        EXPECT_EQ(std::count(store.message()->begin(), store.message()->end(), '\n'), 1)
            << *store.message();
        EXPECT_EQ(presetNames().back(), "Good");
        EXPECT_EQ(itemPaths(), std::vector<std::string> { text.path });
    }

    TEST_F(AppDelegateTest, RequestsOfLaterStartsShowTheWindow)
    {
        auto document = presetDocument("p.twpreset", "P");
        auto text = FileURL(files.createFile("notes.txt", "text").string());
        auto presetCount = store.presets().size();
        // "Open in sorvik" adds every file, presets included.
        delegate->handleRequest({ InstanceRequest::Kind::addFiles, { document, text } });
        ASSERT_TRUE(waitUntilStoreIsIdle());
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(itemPaths(), (std::vector<std::string> { document.path, text.path }));
        EXPECT_EQ(store.presets().size(), presetCount);

        window.hide();
        delegate->handleRequest({ InstanceRequest::Kind::show, {} });
        EXPECT_TRUE(window.isVisible());

        window.hide();
        delegate->handleRequest({ InstanceRequest::Kind::openDocuments, { document } });
        ASSERT_TRUE(waitUntilStoreIsIdle());
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(presetNames(), std::vector<std::string> { "P" });
    }

    TEST_F(AppDelegateTest, TheLastWindowClosingQuitsUnlessAWatchFolderIsEnabled)
    {
        EXPECT_TRUE(delegate->shouldTerminateAfterLastWindowClosed());
        EXPECT_EQ(watchStoreUses, 1);

        const auto& folder = watch();
        auto id = folder.id;
        EXPECT_FALSE(delegate->shouldTerminateAfterLastWindowClosed());

        watches->updateFolder(id, [](WatchFolder& each) { each.isEnabled = false; });
        EXPECT_TRUE(delegate->shouldTerminateAfterLastWindowClosed());
    }

    TEST_F(AppDelegateTest, ClosingTheLastWindowAsksToQuit)
    {
        QSignalSpy quit(delegate.get(), &AppDelegate::quitRequested);
        QApplication::setQuitOnLastWindowClosed(false);
        QObject::connect(delegate.get(), &AppDelegate::quitRequested, qApp, &QCoreApplication::quit,
            Qt::QueuedConnection);
        window.show();
        // The last window closing is told only while the application's event loop runs.
        QTimer::singleShot(0, &window, &QWidget::close);
        QTimer::singleShot(10'000, qApp, &QCoreApplication::quit);
        QApplication::exec();
        EXPECT_EQ(quit.count(), 1);
    }

} // namespace
} // namespace sorvik
