// The login item as the session starts it: the `nightporter` program, copied into a folder
// beside a stand-in `sorvik` that writes down how it was started.
#include "tests/support/temporary_folder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <csignal>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using sorvik::testing::readFile;
using sorvik::testing::TemporaryFolder;

/// Runs the event loop until `done` or ten seconds have passed.
bool waitUntil(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 10'000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

class Nightporter : public ::testing::Test {
protected:
    void SetUp() override
    {
        launcher = folder / "nightporter";
        fs::copy_file(NIGHTPORTER_PROGRAM, launcher);
    }

    /// A stand-in `sorvik` beside the launcher running `script` after writing down its
    /// argument count, its arguments, its standard input, output and error, and the value of
    /// SORVIK_TEST_MARK into "started".
    void placeSorvik(const std::string& script = {}) const
    {
        auto path = folder / "sorvik";
        std::ofstream(path) << "#!/bin/sh\n"
                               "here=$(dirname \"$0\")\n"
                               "streams=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2)\n"
                               "{\n"
                               "  echo \"$#\"\n"
                               "  for argument in \"$@\"; do echo \"[$argument]\"; done\n"
                               "  echo \"$streams\"\n"
                               "  echo \"$SORVIK_TEST_MARK\"\n"
                               "  echo $$\n"
                               "} > \"$here/started.tmp\"\n"
                               "mv \"$here/started.tmp\" \"$here/started\"\n"
                            << script << "\n";
        fs::permissions(path, fs::perms::owner_all);
    }

    struct Run {
        int status = -1;
        QByteArray output;
        qint64 milliseconds = 0;
    };

    /// Runs `program` (the copied launcher by default) as a caller that reads its output
    /// would: in a shell's command substitution, which ends only once every holder of the
    /// output pipe has closed it.
    Run runLauncher(const fs::path& program = {}) const
    {
        QProcess process;
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("SORVIK_TEST_MARK", "passed through");
        process.setProcessEnvironment(environment);
        process.setProgram("/bin/sh");
        process.setArguments({ "-c",
            "output=$(\"$0\" ignored 2>&1 </dev/null); status=$?; printf '%s|%s' \"$status\" "
            "\"$output\"",
            QString::fromStdString((program.empty() ? launcher : program).string()) });
        QElapsedTimer timer;
        timer.start();
        process.start();
        Run run;
        if (!process.waitForFinished(20'000)) {
            process.kill();
            process.waitForFinished();
            return run;
        }
        run.milliseconds = timer.elapsed();
        auto answer = process.readAllStandardOutput();
        auto bar = answer.indexOf('|');
        if (bar < 0)
            return run;
        run.status = answer.left(bar).toInt();
        run.output = answer.mid(bar + 1);
        return run;
    }

    std::string waitForStart() const
    {
        EXPECT_TRUE(waitUntil([&] { return fs::exists(folder / "started"); }));
        return readFile(folder / "started");
    }

    TemporaryFolder folder;
    fs::path launcher;
};

TEST_F(Nightporter, StartsTheSorvikBesideItWatchingAndDetachedFromItsCaller)
{
    placeSorvik();
    auto run = runLauncher();
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.output.isEmpty());
    auto started = waitForStart();
    auto pid = started.substr(started.rfind('\n', started.size() - 2) + 1);
    EXPECT_EQ(started,
        "1\n[--background-watch]\n/dev/null\n/dev/null\n/dev/null\npassed through\n" + pid);
}

TEST_F(Nightporter, EndsAtOnceWhileSorvikRuns)
{
    placeSorvik("exec sleep 30");
    auto run = runLauncher();
    EXPECT_EQ(run.status, 0);
    auto started = waitForStart();
    auto pid = std::stoi(started.substr(started.rfind('\n', started.size() - 2) + 1));
    // Still running, and the launcher's pipes were closed all the same.
    EXPECT_EQ(::kill(pid, 0), 0);
    EXPECT_LT(run.milliseconds, 5'000);
    ::kill(pid, SIGKILL);
}

TEST_F(Nightporter, EndsWithZeroAndSaysNothingWhenSorvikIsMissing)
{
    auto run = runLauncher();
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.output.isEmpty());
}

TEST_F(Nightporter, ALinkToItStartsTheSorvikBesideTheProgramItself)
{
    placeSorvik();
    TemporaryFolder elsewhere;
    auto link = elsewhere / "nightporter";
    fs::create_symlink(launcher, link);
    auto run = runLauncher(link);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(waitForStart().find("[--background-watch]"), std::string::npos);
    EXPECT_FALSE(fs::exists(elsewhere / "started"));
}

} // namespace
