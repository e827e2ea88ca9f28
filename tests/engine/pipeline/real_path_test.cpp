#include "engine/pipeline/real_path.h"

#include "tests/support/temporary_folder.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

namespace sorvik {
namespace {

    namespace fs = std::filesystem;
    using testing::TemporaryFolder;

    /// The real path of `path`, which exists.
    std::string real(const fs::path& path)
    {
        char* resolved = ::realpath(path.c_str(), nullptr);
        std::string text = resolved ? resolved : "";
        std::free(resolved);
        return text;
    }

    // What another thread removes between the resolver's look and its resolving.
    fs::path vanishing;

    char* realpathAfterRemoval(const char* path, char* resolved)
    {
        if (!vanishing.empty() && vanishing == path) {
            fs::remove(vanishing);
            vanishing.clear();
        }
        return ::realpath(path, resolved);
    }

    TEST(RealPath, AFolderThatVanishesWhileBeingResolvedCountsAsMissing)
    {
        TemporaryFolder files;
        files.createFolder("sorted/inner");
        vanishing = files / "sorted/inner";
        RealPath::Calls calls;
        calls.realpath = realpathAfterRemoval;
        auto resolved = RealPath::resolve((files / "sorted/inner").string(), calls);
        EXPECT_TRUE(vanishing.empty()) << "the race was not met";
        ASSERT_TRUE(resolved);
        EXPECT_EQ(*resolved, real(files.path()) + "/sorted/inner");
        EXPECT_FALSE(fs::exists(files / "sorted/inner"));
    }

    TEST(RealPath, MissingPartsFollowTheNearestExistingFolder)
    {
        TemporaryFolder files;
        files.createFolder("a");
        EXPECT_EQ(RealPath::resolve((files / "a/b/c").string()), real(files.path()) + "/a/b/c");
        EXPECT_EQ(RealPath::resolve("/"), "/");
    }

    TEST(RealPath, LinksAreFollowedAndDanglingOnesRefused)
    {
        TemporaryFolder files;
        files.createFolder("target");
        fs::create_directory_symlink(files / "target", files / "link");
        fs::create_directory_symlink(files / "nowhere", files / "dangling");
        EXPECT_EQ(RealPath::resolve((files / "link/x").string()), real(files / "target") + "/x");
        EXPECT_FALSE(RealPath::resolve((files / "dangling/x").string()));
        EXPECT_FALSE(RealPath::resolve((files / "dangling").string()));
    }

} // namespace
} // namespace sorvik
