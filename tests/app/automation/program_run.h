#pragma once

#include <QProcess>

#include <string>

#include <gtest/gtest.h>

namespace sorvik::testing {

/// What a program that ran to its end gave.
struct ProgramResult {
    /// The exit status; -1 when it did not exit by itself.
    int status = -1;
    std::string out;
    std::string err;
};

/// Starts `process`, which the caller has set up, and waits two minutes at most for it to
/// end: one still running then is killed, and the test fails.
inline ProgramResult runToEnd(QProcess& process)
{
    process.start();
    ProgramResult result;
    if (!process.waitForFinished(120'000)) {
        ADD_FAILURE() << process.program().toStdString() << " did not finish";
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput().toStdString();
    result.err = process.readAllStandardError().toStdString();
    return result;
}

} // namespace sorvik::testing
