#include "app/store/file_scan.h"

#include "engine/apply/file_system.h"
#include "tests/support/temporary_folder.h"

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

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

    TEST(FileScanReadAllChecked, ReadsEveryPathAsReadCheckedDoesAndKeepsFailuresInPlace)
    {
        TemporaryFolder files;
        files.createFile("a/one.txt", "1", 1'700'000'000);
        files.createFile("a/two.txt", "22", 1'700'000'100);
        files.createFile("b/three.txt", "333", 1'700'000'200);
        files.createFolder("a/sub");
        std::filesystem::create_symlink(files / "b", files / "link");
        std::filesystem::create_symlink("nowhere", files / "a" / "dangling");
        files.createFile("plain", "x");
        // Files of one folder side by side and apart, through a linked folder, a folder that
        // is a file, a folder that is missing, a link itself, the folder by ".", and the root.
        std::vector<std::string> paths { "a/one.txt", "a/two.txt", "b/three.txt", "a/missing",
            "a/one.txt", "link/three.txt", "plain/x", "gone/x", "a/dangling", "a/sub", "a/.",
            "a/./two.txt" };
        std::vector<FileURL> urls;
        for (const auto& path : paths)
            urls.emplace_back((files / path).string());
        urls.emplace_back("/");
        auto reads = FileScan::readAllChecked(urls);
        ASSERT_EQ(reads.size(), urls.size());
        for (std::size_t index = 0; index < urls.size(); ++index) {
            FileFingerprint fingerprint;
            int error = 0;
            FileScan::ResourceValues values;
            try {
                values = FileScan::readChecked(urls[index], fingerprint);
            } catch (const FileSystemError& failure) {
                error = failure.code();
            }
            EXPECT_EQ(reads[index].error, error) << urls[index].path;
            if (error != 0)
                continue;
            EXPECT_EQ(reads[index].values, values) << urls[index].path;
            EXPECT_EQ(reads[index].fingerprint, fingerprint) << urls[index].path;
        }
        EXPECT_EQ(reads[3].error, ENOENT);
        EXPECT_EQ(reads[6].error, ENOTDIR);
        EXPECT_EQ(reads[7].error, ENOENT);
        EXPECT_EQ(reads[5].values.size, 3);
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
