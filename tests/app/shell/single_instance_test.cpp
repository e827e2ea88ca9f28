#include "app/shell/single_instance.h"

#include "tests/app/store/store_test_support.h"
#include "tests/support/temporary_folder.h"

#include <QLocalSocket>
#include <QProcess>

#include <atomic>
#include <filesystem>
#include <future>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::IsolatedHome;
    using testing::waitUntil;
    namespace fs = std::filesystem;

    /// The first window program of the test's runtime folder, recording what it is asked.
    struct Running {
        SingleInstance instance;
        std::vector<InstanceRequest> received;

        Running()
        {
            EXPECT_EQ(instance.claim(std::nullopt), SingleInstance::Claim::primary);
            EXPECT_TRUE(instance.listen());
            QObject::connect(&instance, &SingleInstance::requestReceived,
                [this](const InstanceRequest& request) { received.push_back(request); });
        }
    };

    /// A later start's claim, made on a thread of its own while this one runs the event loop
    /// the running instance answers on.
    SingleInstance::Claim claimElsewhere(const std::optional<InstanceRequest>& request,
        std::chrono::milliseconds patience = std::chrono::seconds(10))
    {
        auto claim = std::async(std::launch::async, [&] {
            SingleInstance later;
            return later.claim(request, patience);
        });
        EXPECT_TRUE(waitUntil(
            [&] { return claim.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
            20'000));
        return claim.get();
    }

    TEST(SingleInstance, TheFirstStartListensInAPrivateRuntimeFolder)
    {
        IsolatedHome home;
        Running running;
        auto folder = home.runtimeFolder() / "sorvik";
        ASSERT_EQ(SingleInstance::folder(), folder);
        struct stat status { };
        ASSERT_EQ(::stat(folder.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0700u);
        EXPECT_TRUE(fs::is_socket(folder / SingleInstance::socketName));
        EXPECT_TRUE(running.instance.isListening());
    }

    TEST(SingleInstance, ALaterStartHandsItsRequestOver)
    {
        IsolatedHome home;
        Running running;
        InstanceRequest request { InstanceRequest::Kind::openDocuments,
            { FileURL("/a/b.jpg"), FileURL("/a/bytes\xFF.twpreset") } };
        EXPECT_EQ(claimElsewhere(request), SingleInstance::Claim::handedOff);
        ASSERT_EQ(running.received.size(), 1u);
        EXPECT_EQ(running.received.front(), request);
    }

    TEST(SingleInstance, ALaterStartWithoutARequestOnlyAsks)
    {
        IsolatedHome home;
        Running running;
        EXPECT_EQ(claimElsewhere(std::nullopt), SingleInstance::Claim::handedOff);
        testing::runEvents(100);
        EXPECT_TRUE(running.received.empty());
    }

    TEST(SingleInstance, AStartWhileAnotherHoldsTheLockButDoesNotListenGetsNoAnswer)
    {
        IsolatedHome home;
        SingleInstance first;
        ASSERT_EQ(first.claim(std::nullopt), SingleInstance::Claim::primary);
        // Two starts at the same moment: only one holds the lock, the other waits for it.
        SingleInstance second;
        EXPECT_EQ(second.claim(InstanceRequest {}, std::chrono::milliseconds(200)),
            SingleInstance::Claim::noAnswer);
        EXPECT_FALSE(second.listen());
    }

    TEST(SingleInstance, TheLockGoesWithItsHolder)
    {
        IsolatedHome home;
        {
            Running first;
        }
        // A socket file left behind by a sorvik that is gone is stale: the lock is free.
        SingleInstance next;
        EXPECT_EQ(next.claim(InstanceRequest {}), SingleInstance::Claim::primary);
        EXPECT_TRUE(next.listen());
    }

    TEST(SingleInstance, AStaleSocketFileIsReplaced)
    {
        IsolatedHome home;
        auto folder = SingleInstance::folder();
        ASSERT_TRUE(folder);
        // A socket bound and never unlinked, as a killed sorvik leaves it.
        auto path = (*folder / SingleInstance::socketName).string();
        int descriptor = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(descriptor);
        ASSERT_TRUE(fs::is_socket(path));

        Running running;
        EXPECT_EQ(claimElsewhere(InstanceRequest {}), SingleInstance::Claim::handedOff);
        EXPECT_EQ(running.received.size(), 1u);
    }

    TEST(SingleInstance, ARuntimeFolderOthersMayEnterIsNotUsed)
    {
        IsolatedHome home;
        fs::create_directories(home.runtimeFolder() / "sorvik");
        fs::permissions(home.runtimeFolder() / "sorvik",
            fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec
                | fs::perms::others_read | fs::perms::others_exec);
        EXPECT_FALSE(SingleInstance::folder());
        // Then nobody can be asked: the start runs on its own.
        SingleInstance instance;
        EXPECT_EQ(instance.claim(InstanceRequest {}), SingleInstance::Claim::primary);
        EXPECT_FALSE(instance.listen());
    }

    TEST(SingleInstance, WhatIsNoRequestIsDroppedUnanswered)
    {
        IsolatedHome home;
        Running running;
        auto path = QString::fromStdString(
            (*SingleInstance::folder() / SingleInstance::socketName).string());
        auto answer = std::async(std::launch::async, [&] {
            QLocalSocket socket;
            socket.connectToServer(path);
            if (!socket.waitForConnected(5000))
                return std::string("not connected");
            std::string frame("\0\0\0\x05hello", 9);
            socket.write(frame.data(), static_cast<qint64>(frame.size()));
            socket.waitForBytesWritten(5000);
            socket.waitForReadyRead(5000);
            return socket.readAll().toStdString();
        });
        ASSERT_TRUE(waitUntil(
            [&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
            20'000));
        EXPECT_EQ(answer.get(), "");
        EXPECT_TRUE(running.received.empty());
    }

    TEST(SingleInstance, AFrameLongerThanTheLimitIsRefusedUnread)
    {
        IsolatedHome home;
        Running running;
        auto path = QString::fromStdString(
            (*SingleInstance::folder() / SingleInstance::socketName).string());
        auto closed = std::async(std::launch::async, [&] {
            QLocalSocket socket;
            socket.connectToServer(path);
            if (!socket.waitForConnected(5000))
                return false;
            socket.write("\xFF\xFF\xFF\xFF", 4);
            socket.waitForBytesWritten(5000);
            return socket.waitForDisconnected(5000);
        });
        ASSERT_TRUE(waitUntil(
            [&] { return closed.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
            20'000));
        EXPECT_TRUE(closed.get());
    }

    /// The `sorvik` program run in `folder` through the shell, so that arguments can hold
    /// any bytes (`script` gets the program as "$0").
    int runSorvik(const std::string& script, const fs::path& folder)
    {
        QProcess process;
        process.setProgram(QStringLiteral("/bin/sh"));
        process.setArguments({ QStringLiteral("-c"), QString::fromStdString(script),
            QStringLiteral(SORVIK_PROGRAM) });
        process.setWorkingDirectory(QString::fromStdString(folder.string()));
        process.start();
        // The running instance answers on this thread's event loop.
        EXPECT_TRUE(waitUntil([&] { return process.state() == QProcess::NotRunning; }, 60'000));
        EXPECT_EQ(process.readAllStandardError().toStdString(), "");
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    TEST(SingleInstance, TheProgramHandsItsFilesToTheRunningOneAsAbsolutePaths)
    {
        IsolatedHome home;
        testing::TemporaryFolder files;
        Running running;
        auto here = files.path().string();

        // "Open in sorvik": everything in one list, presets too; URLs of no file dropped.
        EXPECT_EQ(runSorvik("exec \"$0\" open a.jpg sub/x.twpreset \"$(printf 'b\\377.txt')\" "
                            "http://example.com/y",
                      files.path()),
            0);
        // The file manager's files, and a bare start.
        EXPECT_EQ(runSorvik("exec \"$0\" /abs/p.TWPRESET /abs/c.txt", files.path()), 0);
        EXPECT_EQ(runSorvik("exec \"$0\"", files.path()), 0);
        // A background start changes nothing of the running one.
        EXPECT_EQ(runSorvik("exec \"$0\" --background-watch", files.path()), 0);

        ASSERT_EQ(running.received.size(), 3u);
        EXPECT_EQ(running.received[0],
            (InstanceRequest { InstanceRequest::Kind::addFiles,
                { FileURL(here + "/a.jpg"), FileURL(here + "/sub/x.twpreset"),
                    FileURL(here + "/b\xFF.txt") } }));
        EXPECT_EQ(running.received[1],
            (InstanceRequest { InstanceRequest::Kind::openDocuments,
                { FileURL("/abs/p.TWPRESET"), FileURL("/abs/c.txt") } }));
        EXPECT_EQ(running.received[2], (InstanceRequest { InstanceRequest::Kind::show, {} }));
    }

} // namespace
} // namespace sorvik
