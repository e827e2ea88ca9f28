#include "app/shell/launch_arguments.h"

#include "app/automation/command_line.h"
#include "engine/model/error.h"

#include <algorithm>
#include <system_error>

namespace sorvik {

namespace {

    LaunchArguments usageError(std::string problem)
    {
        LaunchArguments launch;
        launch.program = LaunchArguments::Program::usageError;
        launch.usageProblem = std::move(problem);
        return launch;
    }

    LaunchArguments window(InstanceRequest::Kind kind, std::vector<FileURL> files = {})
    {
        LaunchArguments launch;
        launch.request = InstanceRequest { kind, std::move(files) };
        return launch;
    }

    bool isURL(const std::string& argument)
    {
        auto separator = argument.find("://");
        return separator != std::string::npos && separator > 0;
    }

    /// What a file manager passes, or what a user types for a file: never an option.
    bool namesFile(const std::string& argument, const std::filesystem::path& currentFolder)
    {
        if (argument.empty() || argument.starts_with('-'))
            return false;
        if (argument.find('/') != std::string::npos || isURL(argument))
            return true;
        std::error_code error;
        return std::filesystem::symlink_status(currentFolder / argument, error).type()
            != std::filesystem::file_type::not_found
            && !error;
    }

} // namespace

LaunchArguments LaunchArguments::classify(
    const std::vector<std::string>& arguments, const std::filesystem::path& currentFolder)
{
    if (arguments.empty())
        return window(InstanceRequest::Kind::show);
    const auto& first = arguments.front();
    if (first == versionArgument) {
        LaunchArguments launch;
        launch.program = Program::version;
        return launch;
    }
    if (CommandLine::isCommand(first)) {
        LaunchArguments launch;
        launch.program = Program::commandLine;
        return launch;
    }
    if (first == "open") {
        try {
            return window(InstanceRequest::Kind::addFiles,
                CommandLine::openFiles({ arguments.begin() + 1, arguments.end() }, currentFolder));
        } catch (const Error& error) {
            return usageError(error.what());
        }
    }
    if (std::find(arguments.begin(), arguments.end(), backgroundWatchArgument) != arguments.end()) {
        LaunchArguments launch;
        launch.backgroundWatch = true;
        return launch;
    }

    std::vector<FileURL> files;
    for (const auto& argument : arguments) {
        if (!namesFile(argument, currentFolder))
            return usageError("Unknown command: " + argument);
        try {
            if (auto url = CommandLine::fileURL(argument, currentFolder))
                files.push_back(std::move(*url));
        } catch (const Error&) {
            // A file URL that no file can have: left out like any other that names no file.
        }
    }
    return window(InstanceRequest::Kind::openDocuments, std::move(files));
}

} // namespace sorvik
