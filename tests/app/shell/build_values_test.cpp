#include <cstring>
#include <string_view>

#include <gtest/gtest.h>

namespace {

// The window's About text and updater read what the build tells about the program.
TEST(BuildValues, TheWindowSeesTheVersionBuildNumberAndUpdateKey)
{
    std::string_view version = SORVIK_VERSION;
    std::string_view buildNumber = SORVIK_BUILD_NUMBER;
    std::string_view updateKey = SORVIK_UPDATE_KEY;
    EXPECT_FALSE(version.empty());
    EXPECT_NE(version.find('.'), std::string_view::npos);
    EXPECT_FALSE(buildNumber.empty());
    EXPECT_LE(updateKey.size(), 4096u);
}

} // namespace
