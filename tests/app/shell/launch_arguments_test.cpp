#include "app/shell/launch_arguments.h"

#include "tests/support/temporary_folder.h"

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using Program = LaunchArguments::Program;
    using Kind = InstanceRequest::Kind;

    std::vector<std::string> paths(const std::optional<InstanceRequest>& request)
    {
        std::vector<std::string> found;
        if (request) {
            for (const auto& file : request->files)
                found.push_back(file.path);
        }
        return found;
    }

    TEST(LaunchArguments, EachFormStartsItsProgram)
    {
        testing::TemporaryFolder current;
        current.createFile("a.jpg");
        current.createFile("open");
        auto here = current.path().string();
        struct Case {
            std::vector<std::string> arguments;
            Program program;
            bool background;
            std::optional<Kind> kind;
            std::vector<std::string> files;
        };
        std::vector<Case> cases {
            { {}, Program::window, false, Kind::show, {} },
            { { "--background-watch" }, Program::window, true, std::nullopt, {} },
            // At any position, whatever else is there.
            { { "x", "--background-watch" }, Program::window, true, std::nullopt, {} },
            { { "rename", "--preset", "p", "a.jpg" }, Program::commandLine, false, std::nullopt,
                {} },
            { { "presets" }, Program::commandLine, false, std::nullopt, {} },
            { { "grant", "." }, Program::commandLine, false, std::nullopt, {} },
            { { "grants" }, Program::commandLine, false, std::nullopt, {} },
            { { "--help" }, Program::commandLine, false, std::nullopt, {} },
            { { "help" }, Program::commandLine, false, std::nullopt, {} },
            { { "--version" }, Program::version, false, std::nullopt, {} },
            // As the usage is given for "--help" whatever follows it.
            { { "--version", "a.jpg" }, Program::version, false, std::nullopt, {} },
            { { "rename", "--version" }, Program::commandLine, false, std::nullopt, {} },
            { { "a.jpg", "--version" }, Program::usageError, false, std::nullopt, {} },
            // The command line reports its own usage errors.
            { { "rename" }, Program::commandLine, false, std::nullopt, {} },
            // As the file manager passes them: absolute paths.
            { { "/photos/b.png", "/photos/c.twpreset" }, Program::window, false,
                Kind::openDocuments, { "/photos/b.png", "/photos/c.twpreset" } },
            // A name in the current folder, a relative path, a file URL; other URLs dropped.
            { { "a.jpg", "./open", "sub/c.txt", "file:///t/caf%C3%A9.txt", "http://e/y" },
                Program::window, false, Kind::openDocuments,
                { here + "/a.jpg", here + "/./open", here + "/sub/c.txt", "/t/caf\xC3\xA9.txt" } },
            { { "file:///a%00b" }, Program::window, false, Kind::openDocuments, {} },
            { { "open" }, Program::window, false, Kind::addFiles, {} },
            { { "open", "x", "http://e/y", "/abs/p.twpreset" }, Program::window, false,
                Kind::addFiles, { here + "/x", "/abs/p.twpreset" } },
            { { "open", "--", "--apply" }, Program::window, false, Kind::addFiles,
                { here + "/--apply" } },
            { { "bogus" }, Program::usageError, false, std::nullopt, {} },
            { { "--apply" }, Program::usageError, false, std::nullopt, {} },
            { { "-platform", "offscreen" }, Program::usageError, false, std::nullopt, {} },
            { { "a.jpg", "bogus" }, Program::usageError, false, std::nullopt, {} },
            { { "open", "--apply", "a.jpg" }, Program::usageError, false, std::nullopt, {} },
            { { "" }, Program::usageError, false, std::nullopt, {} },
        };
        for (const auto& each : cases) {
            std::string label;
            for (const auto& argument : each.arguments)
                label += "[" + argument + "]";
            auto launch = LaunchArguments::classify(each.arguments, current.path());
            EXPECT_EQ(launch.program, each.program) << label;
            EXPECT_EQ(launch.backgroundWatch, each.background) << label;
            EXPECT_EQ(launch.request.has_value(), each.kind.has_value()) << label;
            if (launch.request && each.kind) {
                EXPECT_EQ(launch.request->kind, *each.kind) << label;
            }
            EXPECT_EQ(paths(launch.request), each.files) << label;
            EXPECT_EQ(launch.usageProblem.empty(), each.program != Program::usageError) << label;
        }
    }

    TEST(LaunchArguments, UsageProblemsNameTheArgument)
    {
        testing::TemporaryFolder current;
        EXPECT_EQ(LaunchArguments::classify({ "bogus" }, current.path()).usageProblem,
            "Unknown command: bogus");
        EXPECT_EQ(LaunchArguments::classify({ "open", "--force=yes" }, current.path()).usageProblem,
            "Unknown option for open: --force");
    }

    TEST(LaunchArguments, FileNamesKeepTheirBytes)
    {
        testing::TemporaryFolder current;
        std::string name = "bytes\xFF\xFE.jpg";
        current.createFile(name);
        auto launch = LaunchArguments::classify({ name }, current.path());
        ASSERT_EQ(launch.program, Program::window);
        EXPECT_EQ(paths(launch.request),
            std::vector<std::string> { current.path().string() + "/" + name });
    }

} // namespace
} // namespace sorvik
