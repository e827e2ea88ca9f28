#include "app/store/folder_coverage.h"

#include "tests/support/temporary_folder.h"

#include <filesystem>
#include <map>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::TemporaryFolder;
    namespace fs = std::filesystem;

    FileURL folder(const fs::path& path) { return FileURL(path.string(), true); }

    TEST(FolderCoverage, ABatchInsideOneGrantedFolderLooksUpEachFolderOnce)
    {
        TemporaryFolder root;
        root.createFolder("Photos/2024");
        std::map<std::string, int> lookups;
        FolderCoverage coverage({ folder(root / "Photos") }, [&](const std::string& path) {
            ++lookups[path];
            return FolderCoverage::systemRealPath(path);
        });
        // Ten thousand files in the granted folder, and as many in one folder below it.
        for (int index = 0; index < 10'000; ++index) {
            EXPECT_TRUE(coverage.covers(folder(root / "Photos")));
            EXPECT_TRUE(coverage.covers(folder(root / "Photos" / "2024")));
        }
        EXPECT_EQ(lookups,
            (std::map<std::string, int> {
                { (root / "Photos").string(), 1 }, { (root / "Photos" / "2024").string(), 1 } }));
    }

    TEST(FolderCoverage, CoversAsTheGrantedFoldersDo)
    {
        TemporaryFolder root;
        root.createFolder("Photos/inside");
        root.createFolder("Photos2");
        root.createFolder("outside");
        fs::create_directory_symlink(root / "Photos", root / "to-photos");
        fs::create_directory_symlink(root / "outside", root / "Photos" / "escape");
        FolderCoverage coverage({ folder(root / "Photos") });
        EXPECT_TRUE(coverage.covers(folder(root / "Photos")));
        EXPECT_TRUE(coverage.covers(folder(root / "Photos" / "inside")));
        EXPECT_TRUE(coverage.covers(folder(root / "Photos" / "not-yet" / "made")));
        EXPECT_TRUE(coverage.covers(folder(root / "to-photos" / "inside")));
        EXPECT_FALSE(coverage.covers(folder(root / "Photos2")));
        EXPECT_FALSE(coverage.covers(folder(root / "photos")));
        EXPECT_FALSE(coverage.covers(folder(root / "Photos" / "escape")));
        EXPECT_FALSE(coverage.covers(folder(root / "Photos" / ".." / "outside")));

        FolderCoverage everything({ FileURL("/", true) });
        EXPECT_TRUE(everything.covers(folder(root / "outside")));
        FolderCoverage nothing({});
        EXPECT_FALSE(nothing.covers(folder(root / "Photos")));
    }

} // namespace
} // namespace sorvik
