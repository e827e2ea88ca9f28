// The entry of the `sorvik` program. Stop signals are caught before anything else, so that
// one that comes at any moment ends sorvik as quitting does (`StopSignals`). Its arguments are
// read next, before any application object exists (`LaunchArguments`): a command runs as the
// command line, which needs no display; everything else is the window program.
#include "app/automation/command_line.h"
#include "app/automation/stop_signals.h"
#include "app/services/store_services.h"
#include "app/shell/build_info.h"
#include "app/shell/launch_arguments.h"
#include "app/shell/window_program.h"

#include <QCoreApplication>

#include <malloc.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace {

// The libraries' own start-up code runs for milliseconds before `main`; the executable's
// pre-initialisation runs before all of it, as soon as the libraries are loaded, so that a
// signal even then ends sorvik as quitting does, not by its default action. (While the system
// is still loading the libraries no code of sorvik's can run.) `main` installs again, which
// only sets the same actions once more.
[[gnu::used, gnu::section(".preinit_array")]] void (*const catchStopSignalsEarly)()
    = &sorvik::StopSignals::install;

int runCommandLine(int argc, char** argv, std::vector<std::string> arguments,
    const std::filesystem::path& currentFolder)
{
    // A command's batch goes through phases that each build tables of every file (the rows,
    // the moves' steps, the history record) and drop the last one's. With the allocator's
    // sliding threshold a dropped table stays in the heap, pinned by the next phase's small
    // blocks; a fixed one gives each large table back to the system as soon as it goes.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sorvik"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SORVIK_VERSION));
    // Before anything reaches the shared store, so that it asks the real services.
    sorvik::StoreServices::install();
    return sorvik::CommandLine::run(std::move(arguments), currentFolder, std::cout, std::cerr);
}

} // namespace

int main(int argc, char** argv)
{
    sorvik::StopSignals::install();
    // File names are bytes: the arguments are taken as the system gave them, not decoded,
    // and copied before Qt sees (and takes out) options of its own.
    std::vector<std::string> arguments(argv + 1, argv + argc);
    std::error_code error;
    auto currentFolder = std::filesystem::current_path(error);
    if (error) {
        // Only relative paths need it: a bare start, or one that asks for the version, works
        // from a folder that is gone.
        if (!arguments.empty() && arguments.front() != sorvik::LaunchArguments::versionArgument) {
            std::cerr << "The current folder cannot be read: " << error.message() << '\n';
            return sorvik::CommandLine::failure;
        }
        currentFolder = "/";
    }

    auto launch = sorvik::LaunchArguments::classify(arguments, currentFolder);
    switch (launch.program) {
    case sorvik::LaunchArguments::Program::commandLine:
        return runCommandLine(argc, argv, std::move(arguments), currentFolder);
    case sorvik::LaunchArguments::Program::version:
        std::cout << "sorvik " << sorvik::BuildInfo::compiledIn().version << '\n';
        return sorvik::CommandLine::success;
    case sorvik::LaunchArguments::Program::usageError:
        return sorvik::CommandLine::reportUsageError(launch.usageProblem, std::cerr);
    case sorvik::LaunchArguments::Program::window:
        break;
    }
    return sorvik::runWindowProgram(launch, argv[0]);
}
