#include "app/shell/updater_store.h"

#include "engine/model/error.h"
#include "tests/support/temporary_folder.h"

#include <QSignalSpy>

#include <cstdlib>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    /// An updater that records what it is asked; its start fails when told to.
    struct FakeUpdater : Updater {
        struct Calls {
            int starts = 0;
            int backgroundChecks = 0;
            int userChecks = 0;
        };
        Calls& calls;
        std::optional<std::string> startFailure;
        bool automatic = false;
        bool started = false;

        explicit FakeUpdater(Calls& record)
            : calls(record)
        {
        }

        void start() override
        {
            ++calls.starts;
            if (startFailure)
                throw Error(*startFailure);
            started = true;
        }
        bool isStarted() const override { return started; }
        bool automaticallyChecksForUpdates() const override { return automatic; }
        void setAutomaticallyChecksForUpdates(bool enabled) override { automatic = enabled; }
        void checkForUpdatesInBackground() override { ++calls.backgroundChecks; }
        void checkForUpdates() override { ++calls.userChecks; }
    };

    BuildInfo buildWithKey(std::string key)
    {
        return { "0.1.0", "1", std::move(key), "https://x/" };
    }

    struct Made {
        FakeUpdater::Calls calls;
        std::unique_ptr<UpdaterStore> store;
    };

    std::unique_ptr<UpdaterStore> make(FakeUpdater::Calls& calls, std::string key,
        bool automatic = false, std::optional<std::string> startFailure = std::nullopt)
    {
        auto updater = std::make_unique<FakeUpdater>(calls);
        updater->automatic = automatic;
        updater->startFailure = std::move(startFailure);
        return std::make_unique<UpdaterStore>(std::move(updater), buildWithKey(std::move(key)));
    }

    TEST(UpdaterStore, WithoutAKeyTheUpdaterStaysUnstartedAndSaysNothing)
    {
        FakeUpdater::Calls calls;
        auto store = make(calls, "", true);
        EXPECT_EQ(calls.starts, 0);
        EXPECT_EQ(calls.backgroundChecks, 0);
        EXPECT_FALSE(store->message());
    }

    TEST(UpdaterStore, UnderTheTestHostTheUpdaterNeverStarts)
    {
        ::setenv(testHostVariable, "", 1);
        FakeUpdater::Calls calls;
        auto store = make(calls, "key", true);
        ::unsetenv(testHostVariable);
        EXPECT_EQ(calls.starts, 0);
        EXPECT_EQ(calls.backgroundChecks, 0);
        EXPECT_FALSE(store->message());
    }

    TEST(UpdaterStore, AFailedStartIsKeptAsTheMessageAndNotRetried)
    {
        FakeUpdater::Calls calls;
        auto store = make(calls, "key", true, "The key is bad.");
        EXPECT_EQ(calls.starts, 1);
        EXPECT_EQ(calls.backgroundChecks, 0);
        EXPECT_EQ(store->message(), "The key is bad.");
        store->checkForUpdates();
        EXPECT_EQ(calls.starts, 1);
        EXPECT_EQ(calls.userChecks, 1);
    }

    TEST(UpdaterStore, AStartChecksInTheBackgroundOnlyWhenAutomaticChecksAreOn)
    {
        for (bool automatic : { true, false }) {
            FakeUpdater::Calls calls;
            auto store = make(calls, "key", automatic);
            EXPECT_EQ(calls.starts, 1);
            EXPECT_EQ(calls.backgroundChecks, automatic ? 1 : 0);
            EXPECT_FALSE(store->message());
        }
    }

    TEST(UpdaterStore, TheSwitchWritesTheUpdaterAndAnnouncesIt)
    {
        FakeUpdater::Calls calls;
        auto store = make(calls, "key");
        QSignalSpy changed(store.get(), &UpdaterStore::changed);
        store->setAutomaticallyChecksForUpdates(true);
        EXPECT_TRUE(store->controller().automaticallyChecksForUpdates());
        EXPECT_EQ(changed.count(), 1);
    }

} // namespace
} // namespace sorvik
