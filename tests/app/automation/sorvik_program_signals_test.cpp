// Stop signals sent to the `sorvik` program at known moments of its commands.
#include "app/store/history_file.h"
#include "app/store/json_files.h"
#include "app/store/user_defaults.h"
#include "engine/apply/rename_journal.h"
#include "tests/app/automation/program_run.h"
#include "tests/app/automation/sorvik_program_fixture.h"
#include "tests/support/temporary_folder.h"

#include <QProcess>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/fanotify.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::SorvikProgram;
    namespace fs = std::filesystem;

    // A batch large enough to be still moving files when a journal appears and the signal is
    // sent on seeing it.
    class StopSignal : public SorvikProgram, public ::testing::WithParamInterface<int> {
    protected:
        static constexpr int fileCount = 20'000;

        /// Waits until the rename journal of a running batch has its name; false when
        /// `process` ended first or a minute passed.
        static bool waitForJournal(int watcher, QProcess& process)
        {
            return testing::waitForEvent(watcher, process, [](std::string_view name) {
                return name.starts_with(RenameJournal::fileNamePrefix) && !name.ends_with(".tmp");
            });
        }
    };

    TEST_P(StopSignal, ABatchThatHasBegunFinishesAndTheCommandSaysWhichSignalStoppedIt)
    {
        const int signal = GetParam();
        grantFiles();
        savePreset("Suffix", { pattern("{name}-x") });
        QStringList arguments { "rename", "--apply", "--preset", "Suffix" };
        for (int index = 0; index < fileCount; ++index) {
            char name[16];
            std::snprintf(name, sizeof name, "f%05d.txt", index);
            files.createFile(name);
            arguments.push_back(QString::fromLatin1(name));
        }
        auto dataFolder = JSONFiles::applicationFolder();
        fs::create_directories(dataFolder);
        int watcher = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(watcher, 0);
        ASSERT_GE(::inotify_add_watch(watcher, dataFolder.c_str(), IN_CREATE | IN_MOVED_TO), 0);

        QProcess process;
        process.setProgram(QStringLiteral(SORVIK_PROGRAM));
        process.setArguments(arguments);
        process.setWorkingDirectory(QString::fromStdString(files.path().string()));
        process.start();
        ASSERT_TRUE(process.waitForStarted());
        bool journalSeen = waitForJournal(watcher, process);
        ::close(watcher);
        if (journalSeen)
            ::kill(static_cast<pid_t>(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(120'000));
        ASSERT_TRUE(journalSeen) << "the batch ended before its journal was seen";

        std::string err = process.readAllStandardError().toStdString();
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 128 + signal) << err;
        EXPECT_EQ(err,
            "sorvik: stopped by "
                + std::string(signal == SIGINT ? "SIGINT"
                        : signal == SIGTERM    ? "SIGTERM"
                                               : "SIGHUP")
                + "; the rename was finished first: every file has its new name.\n");
        auto renamed = names();
        EXPECT_EQ(renamed.size(), std::size_t { fileCount });
        EXPECT_EQ(renamed.front(), "f00000-x.txt");
        EXPECT_EQ(renamed.back(), "f19999-x.txt");
        EXPECT_TRUE(std::all_of(renamed.begin(), renamed.end(),
            [](const std::string& name) { return name.ends_with("-x.txt"); }));
        for (const auto& entry : fs::directory_iterator(dataFolder))
            EXPECT_FALSE(
                entry.path().filename().string().starts_with(RenameJournal::fileNamePrefix))
                << entry.path();
        auto history = HistoryFile::load();
        ASSERT_EQ(history.size(), 1u);
        EXPECT_EQ(history[0].moves.size(), std::size_t { fileCount });
    }

    /// The name of a stop signal as sorvik's messages give it.
    std::string signalName(int signal)
    {
        return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "SIGHUP";
    }

    /// Whether `signal`, sent to the process `pid`, still waits to be taken by one of its
    /// threads ("ShdPnd" of its status): once taken, its handler is running.
    bool isPending(pid_t pid, int signal)
    {
        auto status = testing::readFile("/proc/" + std::to_string(pid) + "/status");
        auto line = status.find("\nShdPnd:");
        if (line == std::string::npos)
            return false;
        auto mask = std::stoull(
            status.substr(line + 8, status.find('\n', line + 1) - line - 8), nullptr, 16);
        return (mask >> (signal - 1)) & 1;
    }

    /// Holds every opening of a file in `folder` until it is let through, as fanotify lets a
    /// privileged process do, so that a program that reads those files waits at a known step:
    /// at the first opening the gate sends `signal` to the process that opened the file and
    /// lets it through once the signal has reached it; every later one goes through at once.
    class SignalAtFirstOpening {
    public:
        SignalAtFirstOpening(const fs::path& folder, int signal)
            : m_signal(signal)
        {
            m_notifications
                = ::fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY | O_CLOEXEC);
            if (m_notifications < 0) {
                m_unavailable = std::string("fanotify: ") + std::strerror(errno);
                return;
            }
            if (::fanotify_mark(m_notifications, FAN_MARK_ADD, FAN_OPEN_PERM | FAN_EVENT_ON_CHILD,
                    AT_FDCWD, folder.c_str())
                    != 0
                || ::pipe2(m_ending, O_CLOEXEC) != 0) {
                m_unavailable = std::string("fanotify: ") + std::strerror(errno);
                return;
            }
            m_answering = std::thread([this] { answer(); });
        }

        ~SignalAtFirstOpening()
        {
            if (m_answering.joinable()) {
                [[maybe_unused]] auto written = ::write(m_ending[1], "", 1);
                m_answering.join();
            }
            for (int descriptor : { m_notifications, m_ending[0], m_ending[1] }) {
                if (descriptor >= 0)
                    ::close(descriptor);
            }
        }

        SignalAtFirstOpening(const SignalAtFirstOpening&) = delete;
        SignalAtFirstOpening& operator=(const SignalAtFirstOpening&) = delete;

        /// Why the gate cannot hold anything (fanotify needs CAP_SYS_ADMIN); empty when it can.
        const std::string& unavailable() const { return m_unavailable; }
        /// Whether a process was held and sent the signal.
        bool signalled() const { return m_signalled; }

    private:
        void answer()
        {
            alignas(fanotify_event_metadata) char events[4096];
            while (true) {
                std::array<pollfd, 2> readable { { { m_notifications, POLLIN, 0 },
                    { m_ending[0], POLLIN, 0 } } };
                if (::poll(readable.data(), readable.size(), -1) < 0 && errno != EINTR)
                    return;
                if (readable[1].revents != 0)
                    return;
                auto length = ::read(m_notifications, events, sizeof events);
                const auto* event = reinterpret_cast<const fanotify_event_metadata*>(events);
                for (; FAN_EVENT_OK(event, length); event = FAN_EVENT_NEXT(event, length)) {
                    if (!m_signalled && event->pid != ::getpid())
                        signal(event->pid);
                    fanotify_response response { event->fd, FAN_ALLOW };
                    [[maybe_unused]] auto written
                        = ::write(m_notifications, &response, sizeof response);
                    if (event->fd >= 0)
                        ::close(event->fd);
                }
            }
        }

        void signal(pid_t process)
        {
            ::kill(process, m_signal);
            m_signalled = true;
            // Taken by one of its threads, the signal's handler is running. One that stays
            // pending went to a thread held here, which runs the handler as soon as it is let
            // through, before anything else it does.
            auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
            while (isPending(process, m_signal) && std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
        }

        int m_signal;
        int m_notifications = -1;
        int m_ending[2] = { -1, -1 };
        std::string m_unavailable;
        std::atomic<bool> m_signalled { false };
        std::thread m_answering;
    };

    TEST_P(StopSignal, ABatchStoppedBeforeItsFirstMoveIsDroppedWithNothingRenamed)
    {
        const int signal = GetParam();
        grantFiles();
        photosByDate();
        savePreset("Suffix", { pattern("{name}-x") });
        QStringList fileArguments;
        for (int index = 0; index < 50; ++index) {
            auto name = "f" + std::to_string(100 + index) + ".txt";
            files.createFile(name, name);
            fileArguments << QString::fromStdString(name);
        }
        auto before = names();
        auto backups = JSONFiles::applicationFolder() / "Backups";

        // The program is held at the first file it opens, until the signal has reached it:
        // while it plans, when the preset reads every file's metadata; or, after planning
        // and every check, when it copies the files into the batch's backup.
        struct Case {
            std::string stage;
            QString preset;
            bool backup;
        };
        for (const auto& each : { Case { "planning", "Photos by Date", false },
                 Case { "backing up", "Suffix", true } }) {
            UserDefaults::setBool(UserDefaults::backupEnabledKey, each.backup);
            SignalAtFirstOpening gate(files.path(), signal);
            if (!gate.unavailable().empty())
                GTEST_SKIP() << "a program cannot be held at a step here: " << gate.unavailable();
            auto result = sorvik(
                QStringList { "rename", "--apply", "--preset", each.preset } + fileArguments);
            EXPECT_TRUE(gate.signalled()) << each.stage;
            EXPECT_EQ(result.status, 128 + signal) << each.stage;
            EXPECT_EQ(result.out, "") << each.stage;
            EXPECT_EQ(
                result.err, "sorvik: stopped by " + signalName(signal) + "; no file was renamed.\n")
                << each.stage;
            EXPECT_EQ(names(), before) << each.stage;
            EXPECT_FALSE(historyFileExists()) << each.stage;
            for (const auto& entry : fs::directory_iterator(JSONFiles::applicationFolder()))
                EXPECT_FALSE(
                    entry.path().filename().string().starts_with(RenameJournal::fileNamePrefix))
                    << each.stage << ": " << entry.path();
            EXPECT_TRUE(!fs::exists(backups) || fs::is_empty(backups)) << each.stage;
        }
    }

    TEST_P(StopSignal, ASignalThatCameBeforeTheProgramRanStopsEveryCommandBeforeItBegins)
    {
        const int signal = GetParam();
        grantFiles();
        savePreset("Suffix", { pattern("{name}-x") });
        files.createFile("a.txt");
        auto other = files.createFolder("other");
        auto grantsBefore = sorvik({ "grants" }).out;
        // Blocked in the child, the signal waits through the start of the program for the
        // first moment it is let through.
        auto pendingSignal = [signal] {
            sigset_t held;
            sigemptyset(&held);
            sigaddset(&held, signal);
            ::sigprocmask(SIG_BLOCK, &held, nullptr);
            ::kill(::getpid(), signal);
        };
        struct Case {
            QStringList arguments;
            std::string outcome;
        };
        for (const auto& each : std::vector<Case> {
                 { { "rename", "--apply", "--preset", "Suffix", "a.txt" }, "no file was renamed." },
                 { { "rename", "--preset", "Suffix", "a.txt" }, "nothing was done." },
                 { { "presets" }, "nothing was done." },
                 { { "grant", QString::fromStdString(other.string()) }, "nothing was done." },
                 { { "grants" }, "nothing was done." },
             }) {
            auto label = each.arguments.join(' ').toStdString();
            auto result = sorvik(
                each.arguments, {}, QProcessEnvironment::systemEnvironment(), pendingSignal);
            EXPECT_EQ(result.status, 128 + signal) << label;
            EXPECT_EQ(result.out, "") << label;
            EXPECT_EQ(
                result.err, "sorvik: stopped by " + signalName(signal) + "; " + each.outcome + "\n")
                << label;
        }
        EXPECT_EQ(names(), (std::vector<std::string> { "a.txt", "other" }));
        EXPECT_FALSE(historyFileExists());
        EXPECT_EQ(sorvik({ "grants" }).out, grantsBefore);
    }

    TEST_P(StopSignal, ACommandThatASignalFindsRunningFinishesFirst)
    {
        const int signal = GetParam();
        auto preset = savePreset("Suffix", { pattern("{name}-x") });
        grantFiles();
        // Held as each reads its stored file: the presets, or the grants.
        struct Case {
            QString command;
            std::string out;
        };
        for (const auto& each : { Case { "presets", preset.id.text() + "\tSuffix\n" },
                 Case { "grants", files.path().string() + "\n" } }) {
            SignalAtFirstOpening gate(JSONFiles::applicationFolder(), signal);
            if (!gate.unavailable().empty())
                GTEST_SKIP() << "a program cannot be held at a step here: " << gate.unavailable();
            auto result = sorvik({ each.command });
            auto label = each.command.toStdString();
            EXPECT_TRUE(gate.signalled()) << label;
            EXPECT_EQ(result.status, 128 + signal) << label;
            EXPECT_EQ(result.out, each.out) << label;
            EXPECT_EQ(result.err,
                "sorvik: stopped by " + signalName(signal) + "; the command was finished first.\n")
                << label;
        }
    }

    INSTANTIATE_TEST_SUITE_P(Signals, StopSignal, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
        [](const ::testing::TestParamInfo<int>& signal) {
            return signal.param == SIGINT ? "SIGINT"
                : signal.param == SIGTERM ? "SIGTERM"
                                          : "SIGHUP";
        });

} // namespace
} // namespace sorvik
