#include "app/store/file_scan.h"

#include "engine/apply/file_system.h"
#include "tests/support/temporary_folder.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::TemporaryFolder;

    TEST(FileScanReadChecked, GivesTheSameValuesAsTheLenientRead)
    {
        TemporaryFolder files;
        files.createFile("a.txt", "12345", 1'700'000'000);
        files.createFolder("folder");
        for (auto name : { "a.txt", "folder" }) {
            FileURL url((files / name).string());
            EXPECT_EQ(FileScan::readChecked(url), FileScan::read(url)) << name;
        }
        auto values = FileScan::readChecked(FileURL((files / "a.txt").string()));
        EXPECT_EQ(values.size, 5);
        EXPECT_EQ(values.modified, Date::fromUnixSeconds(1'700'000'000));
    }

    struct StatxCase {
        const char* name;
        unsigned mask;
        std::int64_t expectedCreated;
    };

    class FileScanCreated : public ::testing::TestWithParam<StatxCase> { };

    /// A file system that keeps no birth time answers without STATX_BTIME: the change time
    /// stands in for it, and only without that the modification time.
    TEST_P(FileScanCreated, BirthTimeElseChangeTimeElseModificationTime)
    {
        struct statx status { };
        status.stx_mode = S_IFREG | 0644;
        status.stx_mask = GetParam().mask;
        status.stx_btime.tv_sec = 1'000'000'000;
        status.stx_ctime.tv_sec = 1'100'000'000;
        status.stx_mtime.tv_sec = 1'200'000'000;
        auto values = FileScan::valuesOf(status);
        EXPECT_EQ(values.created, Date::fromUnixSeconds(GetParam().expectedCreated));
        EXPECT_EQ(values.modified, Date::fromUnixSeconds(1'200'000'000));
    }

    INSTANTIATE_TEST_SUITE_P(Masks, FileScanCreated,
        ::testing::Values(StatxCase { "birth", STATX_TYPE | STATX_MTIME | STATX_CTIME | STATX_BTIME,
                              1'000'000'000 },
            StatxCase { "noBirth", STATX_TYPE | STATX_MTIME | STATX_CTIME, 1'100'000'000 },
            StatxCase { "noBirthNorChange", STATX_TYPE | STATX_MTIME, 1'200'000'000 }),
        [](const ::testing::TestParamInfo<StatxCase>& each) { return each.param.name; });

    /// Where the file system keeps no birth time, a real file's created date is its change
    /// time, which touching the modification time leaves alone.
    TEST(FileScanReadChecked, CreatedIsTheBirthOrTheChangeTimeNeverTheModificationTime)
    {
        TemporaryFolder files;
        files.createFile("a.txt", "12345", 1'500'000'000);
        FileURL url((files / "a.txt").string());
        struct statx status { };
        ASSERT_EQ(::statx(AT_FDCWD, url.path.c_str(), AT_SYMLINK_NOFOLLOW,
                      STATX_BTIME | STATX_CTIME, &status),
            0);
        auto expected = (status.stx_mask & STATX_BTIME)
            ? Date::fromTimespec(status.stx_btime.tv_sec, status.stx_btime.tv_nsec)
            : Date::fromTimespec(status.stx_ctime.tv_sec, status.stx_ctime.tv_nsec);
        EXPECT_EQ(FileScan::readChecked(url).created, expected);
        EXPECT_NE(FileScan::readChecked(url).created, Date::fromUnixSeconds(1'500'000'000));
        EXPECT_EQ(FileScan::makeItem(url, 0).created, expected);
    }

    TEST(FileScanReadChecked, MissingFileFailsWithTheSystemError)
    {
        TemporaryFolder files;
        FileURL missing((files / "missing.txt").string());
        EXPECT_EQ(FileScan::read(missing), FileScan::ResourceValues {});
        try {
            FileScan::readChecked(missing);
            FAIL() << "no error";
        } catch (const FileSystemError& error) {
            EXPECT_EQ(error.code(), ENOENT);
            EXPECT_NE(std::string(error.what()).find(missing.path), std::string::npos);
        }
    }

} // namespace
} // namespace sorvik
