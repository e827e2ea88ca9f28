#pragma once

#include "app/shell/instance_request.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// How `sorvik` reads its arguments, decided before any application object exists:
//   rename, presets, grant, grants, help  the command line, which needs no display;
//   --version                             the version, which needs no display either;
//   (nothing)                             the window;
//   --background-watch (anywhere)         the window program watching, its window not shown;
//   FILE…                                 the window with the files, as the file manager opens
//                                         them: each a file URL, a path holding "/" or a name
//                                         in the current folder;
//   open [--] [FILE…]                     "Open in sorvik": the window with the files added.
// Anything else cannot be understood (status 2), so that a typo never opens a window holding
// an option as a file. Files that have no local path are left out, without a word.
namespace sorvik {

struct LaunchArguments {
    enum class Program { commandLine, version, window, usageError };

    Program program = Program::window;
    /// "--background-watch": watch, show nothing, and change nothing of a running sorvik.
    bool backgroundWatch = false;
    /// What the window is asked for; nothing in background-watch mode.
    std::optional<InstanceRequest> request;
    /// Why the arguments cannot be understood.
    std::string usageProblem;

    static constexpr const char* backgroundWatchArgument = "--background-watch";
    static constexpr const char* versionArgument = "--version";

    /// The reading of `arguments` (those after the program's name), with relative paths
    /// taken against `currentFolder`.
    static LaunchArguments classify(
        const std::vector<std::string>& arguments, const std::filesystem::path& currentFolder);
};

} // namespace sorvik
