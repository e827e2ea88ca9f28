// `sorvik --version`, as scripts and packagers ask for it: without a display or a data folder.
#include "app/automation/command_line.h"
#include "app/store/json_files.h"
#include "tests/support/temporary_folder.h"

#include <QProcess>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    TEST(ProgramVersion, TheVersionIsPrintedWithoutADisplay)
    {
        testing::IsolatedHome home;
        auto environment = QProcessEnvironment::systemEnvironment();
        for (const char* variable : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
            environment.remove(QString::fromLatin1(variable));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProgram(QStringLiteral(SORVIK_PROGRAM));
        process.setArguments({ "--version" });
        process.start();
        ASSERT_TRUE(process.waitForFinished(30'000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        EXPECT_EQ(process.readAllStandardOutput().toStdString(),
            std::string("sorvik ") + SORVIK_VERSION + "\n");
        EXPECT_EQ(process.readAllStandardError().toStdString(), "");
        EXPECT_FALSE(std::filesystem::exists(JSONFiles::applicationFolder()));
        EXPECT_NE(CommandLine::usage().find("\n  sorvik --version\n"), std::string::npos);
    }

} // namespace
} // namespace sorvik
