// The entry of the `sorvik` program. Until the window exists, sorvik is its command line:
// with a command it runs that command, without one it prints the usage.
#include "app/automation/command_line.h"
#include "app/services/store_services.h"

#include <QCoreApplication>

#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sorvik"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SORVIK_VERSION));
    // Before anything reaches the shared store, so that it asks the real services.
    sorvik::StoreServices::install();

    // File names are bytes: the arguments are taken as the system gave them, not decoded.
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty()) {
        std::cout << sorvik::CommandLine::usage();
        return sorvik::CommandLine::success;
    }
    std::error_code error;
    auto currentFolder = std::filesystem::current_path(error);
    if (error) {
        std::cerr << "The current folder cannot be read: " << error.message() << '\n';
        return sorvik::CommandLine::failure;
    }
    return sorvik::CommandLine::run(arguments, currentFolder, std::cout, std::cerr);
}
