// The window program as the session and the file manager start it: the `sorvik` program run
// as a child, in the test's own home and runtime folder. Without a window shown, everything
// here runs in background-watch mode or ends before any window is made.
#include "app/shell/window_program.h"

#include "app/shell/build_info.h"

#include "app/automation/watch_folder_store.h"
#include "app/automation/watch_lock.h"
#include "app/shell/single_instance.h"
#include "app/store/batch_recovery.h"
#include "app/store/folder_access_manager.h"
#include "app/store/json_files.h"
#include "app/store/preset_document.h"
#include "app/store/saved_session.h"
#include "engine/apply/file_fingerprint.h"
#include "engine/apply/rename_journal.h"
#include "tests/app/automation/watch_test_support.h"

#include <QElapsedTimer>
#include <QProcess>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::waitUntil;
    namespace fs = std::filesystem;

    class WindowProgram : public ::testing::Test {
    protected:
        ~WindowProgram() override
        {
            for (auto& process : processes) {
                if (process->state() != QProcess::NotRunning) {
                    process->kill();
                    process->waitForFinished();
                }
            }
        }

        /// Starts `sorvik` with `arguments`; the environment is the test's, less `unset`, with
        /// `added`.
        QProcess& start(const QStringList& arguments, const QStringList& unset = {},
            const QProcessEnvironment& added = {}, const std::function<void()>& inChild = {})
        {
            auto environment = QProcessEnvironment::systemEnvironment();
            environment.remove(testHostVariable);
            for (const auto& name : unset)
                environment.remove(name);
            environment.insert(added);
            auto& process = *processes.emplace_back(std::make_unique<QProcess>());
            process.setProcessEnvironment(environment);
            process.setProgram(QStringLiteral(SORVIK_PROGRAM));
            process.setArguments(arguments);
            process.setWorkingDirectory(QString::fromStdString(files.path().string()));
            if (inChild)
                process.setChildProcessModifier(inChild);
            process.start();
            EXPECT_TRUE(process.waitForStarted());
            return process;
        }

        /// Waits for `process` to end; its status, or -1 when it did not end normally.
        static int finish(QProcess& process, int milliseconds = 30'000)
        {
            if (!waitUntil([&] { return process.state() == QProcess::NotRunning; }, milliseconds))
                return -2;
            return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        }

        /// Whether a process holds the watch lock now, read off the kernel's list of locks:
        /// taking the lock to see would keep a sorvik starting at that moment from watching.
        static bool watchLockIsHeld()
        {
            struct stat status { };
            auto path = JSONFiles::applicationFolder() / WatchLock::fileName;
            if (::stat(path.c_str(), &status) != 0)
                return false;
            auto locks = testing::readFile("/proc/locks");
            auto inode = ":" + std::to_string(status.st_ino) + " ";
            std::size_t start = 0;
            while (start < locks.size()) {
                auto end = locks.find('\n', start);
                auto line = locks.substr(start, end - start);
                start = end == std::string::npos ? locks.size() : end + 1;
                if (line.find("FLOCK") != std::string::npos
                    && line.find(inode) != std::string::npos)
                    return true;
            }
            return false;
        }

        /// Whether the lock is free: a new holder could take it.
        static bool watchLockIsFree()
        {
            WatchLock lock;
            return !lock.acquire().has_value();
        }

        /// An enabled watch folder "Inbox" that appends "-x" to the names of files settled
        /// for a second, saved as the window would save it.
        fs::path watchInbox()
        {
            auto inbox = files.createFolder("Inbox");
            Preset preset("Suffix", "folder", "3478F6", { testing::patternRule("{name}-x") });
            JSONFiles::save(SavedPresets { 1, { preset } }, SavedPresets::fileName);
            RenamerStore store(std::make_shared<testing::FakeServices>());
            WatchFolderStore::Collaborators collaborators;
            collaborators.loginItem = std::make_unique<testing::FakeLoginItem>();
            WatchFolderStore watches(store, std::move(collaborators));
            watches.addFolder(preset.id, FileURL(inbox.string(), true));
            EXPECT_FALSE(watches.error()) << *watches.error();
            watches.updateFolder(watches.folders().front().id,
                [](WatchFolder& folder) { folder.settleSeconds = 1; });
            watches.save();
            EXPECT_FALSE(watches.error()) << *watches.error();
            return inbox;
        }

        /// Waits until a window program listens in the test's runtime folder.
        static bool waitUntilListening()
        {
            auto folder = SingleInstance::folder();
            return folder
                && waitUntil(
                    [&] {
                        return fs::is_socket(*folder / SingleInstance::socketName)
                            && SingleInstance::send(*folder / SingleInstance::socketName,
                                std::nullopt, std::chrono::seconds(5));
                    },
                    30'000);
        }

        /// A preset document holding an empty preset named `name`, in the files folder.
        fs::path presetDocument(std::string_view file, std::string name)
        {
            auto path = files.path() / file;
            std::ofstream(path, std::ios::binary)
                << PresetDocument::encode(Preset(std::move(name), "folder", "3478F6", {}));
            return path;
        }

        /// Whether the saved presets hold one named `name`.
        static bool hasSavedPreset(const std::string& name)
        {
            auto path = JSONFiles::applicationFolder() / SavedPresets::fileName;
            return fs::exists(path)
                && testing::readFile(path).find("\"" + name + "\"") != std::string::npos;
        }

        testing::IsolatedHome home;
        testing::TemporaryFolder files;
        std::vector<std::unique_ptr<QProcess>> processes;
    };

    /// Sets environment variables for its life, then puts back what was there.
    class EnvironmentChange {
    public:
        EnvironmentChange(std::initializer_list<std::pair<const char*, const char*>> values)
        {
            for (const auto& [name, value] : values) {
                const char* before = std::getenv(name);
                m_before.emplace_back(
                    name, before ? std::optional<std::string>(before) : std::nullopt);
                if (value)
                    ::setenv(name, value, 1);
                else
                    ::unsetenv(name);
            }
        }
        ~EnvironmentChange()
        {
            for (const auto& [name, value] : m_before) {
                if (value)
                    ::setenv(name, value->c_str(), 1);
                else
                    ::unsetenv(name);
            }
        }
        EnvironmentChange(const EnvironmentChange&) = delete;
        EnvironmentChange& operator=(const EnvironmentChange&) = delete;

    private:
        std::vector<std::pair<const char*, std::optional<std::string>>> m_before;
    };

    TEST(HasDisplay, ADisplayOrAPlatformThatNeedsNone)
    {
        struct Case {
            const char* platform;
            const char* x11;
            const char* wayland;
            bool expected;
        };
        for (const auto& each : std::initializer_list<Case> {
                 { nullptr, nullptr, nullptr, false },
                 { "", "", "", false },
                 { nullptr, ":0", nullptr, true },
                 { nullptr, nullptr, "wayland-0", true },
                 { "offscreen", nullptr, nullptr, true },
                 { "xcb", nullptr, nullptr, false },
                 { "xcb", ":1", nullptr, true },
                 { "wayland", ":1", nullptr, false },
                 { "wayland-egl", nullptr, "wayland-1", true },
                 { "wayland;xcb", ":1", nullptr, true },
                 { "wayland;xcb", nullptr, nullptr, false },
                 { "xcb;offscreen", nullptr, nullptr, true },
             }) {
            EnvironmentChange change { { "QT_QPA_PLATFORM", each.platform },
                { "DISPLAY", each.x11 }, { "WAYLAND_DISPLAY", each.wayland } };
            EXPECT_EQ(hasDisplay(), each.expected) << (each.platform ? each.platform : "(none)")
                                                   << ' ' << (each.x11 ? each.x11 : "(none)") << ' '
                                                   << (each.wayland ? each.wayland : "(none)");
        }
    }

    TEST_F(WindowProgram, WithoutADisplayItSaysSoAndEndsWithOne)
    {
        for (QStringList arguments : { QStringList {}, QStringList { "--background-watch" },
                 QStringList { "open", "a.jpg" }, QStringList { "/abs/a.jpg" } }) {
            auto& process = start(arguments, { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" });
            EXPECT_EQ(finish(process), 1) << arguments.join(' ').toStdString();
            EXPECT_EQ(process.readAllStandardError().toStdString(), noDisplayText);
            EXPECT_EQ(process.readAllStandardOutput().toStdString(), "");
        }
        EXPECT_FALSE(fs::exists(JSONFiles::applicationFolder()));
    }

    TEST_F(WindowProgram, InTheBackgroundWithNothingToWatchItEndsAtOnce)
    {
        auto& process = start({ "--background-watch" });
        EXPECT_EQ(finish(process), 0);
        EXPECT_EQ(process.readAllStandardError().toStdString(), "");
    }

    TEST_F(WindowProgram, InTheBackgroundWithUnreadableWatchFoldersItSaysWhyAndEndsWithOne)
    {
        auto path = JSONFiles::applicationFolder() / WatchFolder::fileName;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "[{\"id\": 1}]";
        auto& process = start({ "--background-watch" });
        EXPECT_EQ(finish(process), 1);
        auto said = process.readAllStandardError().toStdString();
        EXPECT_TRUE(said.starts_with("sorvik: ")) << said;
        EXPECT_NE(said.find("No folder is watched."), std::string::npos) << said;
        // The file is named once, with the way out.
        auto named = said.find(path.string());
        ASSERT_NE(named, std::string::npos) << said;
        EXPECT_EQ(said.find(path.string(), named + 1), std::string::npos) << said;
        EXPECT_NE(said.find("aside"), std::string::npos) << said;
        EXPECT_EQ(testing::readFile(path), "[{\"id\": 1}]");
        EXPECT_FALSE(watchLockIsHeld());
    }

    TEST_F(WindowProgram, InTheBackgroundWhatRecoveryCouldNotDoIsSaidOnStandardError)
    {
        FolderAccessManager().grant(FileURL(files.path().string(), true));
        files.createFile("a.txt", "original");
        files.createFile("c.txt", "other");
        FileURL source((files / "a.txt").string());
        FileURL temporary((files / ".0D5F0E3C-7B1A-4C2D-9E8F-6A5B4C3D2E1F.twtmp").string());
        FileURL other((files / "c.txt").string());
        FileURL otherTemporary((files / ".1D5F0E3C-7B1A-4C2D-9E8F-6A5B4C3D2E1F.twtmp").string());
        {
            // A batch killed after its first two moves; one file was then moved away by hand.
            auto journal = RenameJournal::begin(batchJournalFolder(),
                { { source, temporary, FileURL((files / "b.txt").string()),
                      FileFingerprint(source).inode },
                    { other, otherTemporary, FileURL((files / "d.txt").string()),
                        FileFingerprint(other).inode } });
            fs::rename(source.path, temporary.path);
            fs::rename(other.path, otherTemporary.path);
        }
        fs::rename(temporary.path, files / "moved away.txt");

        auto& process = start({ "--background-watch" });
        EXPECT_EQ(finish(process), 0);
        EXPECT_EQ(process.readAllStandardError().toStdString(),
            "An interrupted rename was put back as far as it could be.\n"
            "Some files could not be restored. They remain at:\n"
                + (files / "moved away.txt").string() + " (originally " + source.path + ")\n");
        EXPECT_EQ(testing::readFile(other.path), "other");
    }

    TEST_F(WindowProgram, SigtermEndsItCleanlyAndFreesTheWatchLock)
    {
        watchInbox();
        auto& process = start({ "--background-watch" });
        ASSERT_TRUE(waitUntil(watchLockIsHeld, 30'000));
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        EXPECT_EQ(finish(process), 0);
        EXPECT_FALSE(watchLockIsHeld());
        EXPECT_TRUE(watchLockIsFree());
    }

    TEST_F(WindowProgram, AStopSignalThatCameBeforeItRanEndsItAsQuittingDoes)
    {
        watchInbox();
        // Blocked in the child, the signal waits through the start of the program for the
        // first moment it is let through.
        auto pendingSignal = [] {
            sigset_t held;
            sigemptyset(&held);
            sigaddset(&held, SIGTERM);
            ::sigprocmask(SIG_BLOCK, &held, nullptr);
            ::kill(::getpid(), SIGTERM);
        };
        for (QStringList arguments : { QStringList { "--background-watch" }, QStringList {} }) {
            auto& process = start(arguments, {}, {}, pendingSignal);
            EXPECT_EQ(finish(process), 0) << arguments.join(' ').toStdString();
            EXPECT_EQ(process.readAllStandardError().toStdString(), "");
            EXPECT_FALSE(watchLockIsHeld());
        }
    }

    TEST_F(WindowProgram, ALaterBackgroundStartChangesNothingAndEnds)
    {
        watchInbox();
        auto& first = start({ "--background-watch" });
        ASSERT_TRUE(waitUntil(watchLockIsHeld, 30'000));
        auto& second = start({ "--background-watch" });
        EXPECT_EQ(finish(second), 0);
        EXPECT_EQ(second.readAllStandardError().toStdString(), "");
        EXPECT_EQ(first.state(), QProcess::Running);
        ::kill(static_cast<pid_t>(first.processId()), SIGINT);
        EXPECT_EQ(finish(first), 0);
    }

    TEST_F(WindowProgram, TwoStartsAtTheSameMomentLeaveOne)
    {
        watchInbox();
        auto& one = start({ "--background-watch" });
        auto& other = start({ "--background-watch" });
        ASSERT_TRUE(waitUntil(
            [&] {
                return one.state() == QProcess::NotRunning || other.state() == QProcess::NotRunning;
            },
            30'000));
        auto& ended = one.state() == QProcess::NotRunning ? one : other;
        auto& running = &ended == &one ? other : one;
        EXPECT_EQ(finish(ended), 0);
        EXPECT_TRUE(waitUntil(watchLockIsHeld, 30'000));
        testing::runEvents(200);
        EXPECT_EQ(running.state(), QProcess::Running);
        ::kill(static_cast<pid_t>(running.processId()), SIGTERM);
        EXPECT_EQ(finish(running), 0);
    }

    TEST_F(WindowProgram, WatchingInTheBackgroundRenamesAFileOnceItSettles)
    {
        auto inbox = watchInbox();
        // Present before monitoring started: never renamed.
        files.createFile("Inbox/old.txt", "old");
        auto& process = start({ "--background-watch" });
        ASSERT_TRUE(waitUntil(watchLockIsHeld, 30'000));

        // What is in the folder when it is first looked at counts as there before, and that
        // look comes a moment after the lock: a file is copied in again, under a new name,
        // until one of them is renamed.
        testing::TemporaryFolder outside;
        auto source = outside.createFile("report.txt", "report");
        int copies = 0;
        QElapsedTimer sinceCopy;
        auto renamed = [&]() -> std::optional<int> {
            for (int index = 0; index < copies; ++index) {
                if (fs::exists(inbox / ("report" + std::to_string(index) + "-x.txt")))
                    return index;
            }
            return std::nullopt;
        };
        EXPECT_TRUE(waitUntil(
            [&] {
                if (renamed())
                    return true;
                if (copies == 0 || sinceCopy.elapsed() > 1500) {
                    fs::copy_file(source, inbox / ("report" + std::to_string(copies++) + ".txt"));
                    sinceCopy.start();
                }
                return false;
            },
            30'000))
            << testing::readFile(JSONFiles::applicationFolder() / "watch-log.json");
        auto first = renamed();
        ASSERT_TRUE(first);
        EXPECT_FALSE(fs::exists(inbox / ("report" + std::to_string(*first) + ".txt")));
        EXPECT_TRUE(fs::exists(inbox / "old.txt"));
        EXPECT_EQ(process.state(), QProcess::Running);

        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        EXPECT_EQ(finish(process), 0);
        EXPECT_EQ(process.readAllStandardError().toStdString(), "");
        EXPECT_TRUE(fs::exists(inbox / ("report" + std::to_string(*first) + "-x.txt")));
    }

    TEST_F(WindowProgram, ALaterStartHandsItsFilesToTheRunningWindow)
    {
        auto& first = start({});
        ASSERT_TRUE(waitUntilListening());

        auto document = presetDocument("Handed.TWPRESET", "Handed Over");
        files.createFile("notes.txt", "notes");
        auto& second = start({ QString::fromStdString(document.string()), "notes.txt" });
        EXPECT_EQ(finish(second), 0);
        EXPECT_EQ(second.readAllStandardError().toStdString(), "");
        // Imported by the first, which saves its presets at once.
        EXPECT_TRUE(waitUntil([] { return hasSavedPreset("Handed Over"); }, 30'000));
        EXPECT_EQ(first.state(), QProcess::Running);

        ::kill(static_cast<pid_t>(first.processId()), SIGTERM);
        EXPECT_EQ(finish(first), 0);
    }

    TEST_F(WindowProgram, OpenStartsTheWindowWhenNoneRuns)
    {
        files.createFile("notes.txt", "notes");
        auto& process = start({ "open", "notes.txt" });
        ASSERT_TRUE(waitUntilListening());
        EXPECT_EQ(process.state(), QProcess::Running);
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        EXPECT_EQ(finish(process), 0);
    }

    TEST_F(WindowProgram, UnderTheTestHostTheWatchFoldersDoNotStart)
    {
        watchInbox();
        QProcessEnvironment testHost;
        testHost.insert(testHostVariable, QStringLiteral("/nonexistent"));
        auto& hosted = start({}, {}, testHost);
        ASSERT_TRUE(waitUntilListening());

        // A request is taken only once the launch is over: by then the watch folders would run.
        auto& later = start({ QString::fromStdString(presetDocument("p.twpreset", "P").string()) });
        EXPECT_EQ(finish(later), 0);
        ASSERT_TRUE(waitUntil([] { return hasSavedPreset("P"); }, 30'000));
        EXPECT_FALSE(watchLockIsHeld());

        ::kill(static_cast<pid_t>(hosted.processId()), SIGTERM);
        EXPECT_EQ(finish(hosted), 0);
    }

} // namespace
} // namespace sorvik
