#include "app/shell/quit_signals.h"

#include "app/automation/stop_signals.h"

#include <QSignalSpy>

#include <csignal>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    TEST(QuitSignals, TermIntAndHupBecomeAQuitOnTheEventLoop)
    {
        for (int signal : { SIGTERM, SIGINT, SIGHUP }) {
            QuitSignals catcher;
            QSignalSpy spy(&catcher, &QuitSignals::quitRequested);
            ASSERT_EQ(::raise(signal), 0);
            // Nothing happens inside the handler: the request waits for the event loop.
            EXPECT_EQ(spy.count(), 0);
            ASSERT_TRUE(spy.wait(5000)) << signal;
            EXPECT_EQ(spy.count(), 1);
            EXPECT_EQ(spy.front().front().toInt(), signal);
        }
    }

    TEST(QuitSignals, ASignalThatCameBeforeTheObjectIsAQuitAsSoonAsItIsMade)
    {
        // As the program does first of all, long before it has an event loop.
        StopSignals::install();
        ASSERT_EQ(::raise(SIGINT), 0);
        QuitSignals catcher;
        QSignalSpy spy(&catcher, &QuitSignals::quitRequested);
        ASSERT_TRUE(spy.wait(5000));
        EXPECT_EQ(spy.front().front().toInt(), SIGINT);
    }

    TEST(QuitSignals, TheDefaultActionsComeBackWithTheObject)
    {
        {
            QuitSignals catcher;
        }
        struct sigaction action { };
        for (int signal : { SIGTERM, SIGINT, SIGHUP }) {
            ASSERT_EQ(::sigaction(signal, nullptr, &action), 0);
            EXPECT_EQ(action.sa_handler, SIG_DFL) << signal;
        }
    }

    TEST(QuitSignals, AfterTheFirstSignalTheNextOneActsAsItWouldHave)
    {
        QuitSignals catcher;
        QSignalSpy spy(&catcher, &QuitSignals::quitRequested);
        ASSERT_EQ(::raise(SIGHUP), 0);
        ASSERT_TRUE(spy.wait(5000));
        struct sigaction action { };
        ASSERT_EQ(::sigaction(SIGTERM, nullptr, &action), 0);
        EXPECT_EQ(action.sa_handler, SIG_DFL);
    }

} // namespace
} // namespace sorvik
