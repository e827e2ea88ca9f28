#include "engine/model/folder_paths.h"

#include <gtest/gtest.h>

#include <string>

namespace sorvik {
namespace {

    struct InsideCase {
        const char* path;
        const char* folder;
        bool inside;
    };

    class FolderPathsInside : public testing::TestWithParam<InsideCase> { };

    TEST_P(FolderPathsInside, JudgesByWholeNames)
    {
        const auto& item = GetParam();
        EXPECT_EQ(folder_paths::isAtOrBelow(item.path, item.folder), item.inside)
            << item.path << " in " << item.folder;
    }

    INSTANTIATE_TEST_SUITE_P(Cases, FolderPathsInside,
        testing::Values(InsideCase { "/a/b", "/a/b", true }, InsideCase { "/a/b/c", "/a/b", true },
            InsideCase { "/a/bc", "/a/b", false }, InsideCase { "/a", "/a/b", false },
            InsideCase { "/a/b", "/", true }, InsideCase { "/", "/", true },
            InsideCase { "relative", "/", false }, InsideCase { "/A/b", "/a", false }),
        [](const testing::TestParamInfo<InsideCase>& test) {
            auto words = [](std::string_view path) {
                std::string name;
                for (char character : path) {
                    if (character != '/')
                        name += character;
                    else if (!name.empty())
                        name += '_';
                }
                return name.empty() ? std::string("root") : name;
            };
            return words(test.param.path) + "_in_" + words(test.param.folder);
        });

    TEST(FolderPaths, ComparesUnderCanonicalEquivalenceAndKeepsCase)
    {
        // "é" written precomposed and decomposed is one folder; "É" is another.
        EXPECT_EQ(
            folder_paths::comparable("/caf\xC3\xA9"), folder_paths::comparable("/cafe\xCC\x81"));
        EXPECT_NE(
            folder_paths::comparable("/caf\xC3\xA9"), folder_paths::comparable("/caf\xC3\x89"));
    }

    TEST(FolderPaths, BytesThatAreNotUTF8StayAsTheyAre)
    {
        std::string path = "/photos/\xFF\xFE";
        EXPECT_EQ(folder_paths::comparable(path), path);
    }

} // namespace
} // namespace sorvik
