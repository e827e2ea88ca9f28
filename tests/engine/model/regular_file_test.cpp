#include "engine/model/regular_file.h"

#include "tests/support/temporary_folder.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    TEST(RegularFile, OpensOnlyRegularFiles)
    {
        testing::TemporaryFolder folder;
        auto file = folder.createFile("a.txt", "hello");
        auto fifo = folder / "pipe";
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        auto link = folder / "link";
        std::filesystem::create_symlink(file, link);

        auto opened = RegularFile::open(file);
        ASSERT_TRUE(opened);
        EXPECT_EQ(opened->size(), 5);
        EXPECT_EQ(opened->readPrefix(3), "hel");
        EXPECT_EQ(opened->readPrefix(100), "hello");
        EXPECT_TRUE(RegularFile::open(link));

        EXPECT_FALSE(RegularFile::open(fifo)); // returns at once instead of waiting for a writer
        EXPECT_FALSE(RegularFile::open("/dev/null"));
        EXPECT_FALSE(RegularFile::open(folder.path()));
        EXPECT_FALSE(RegularFile::open(folder / "missing"));
        EXPECT_FALSE(isRegularFile(fifo));
        EXPECT_TRUE(isRegularFile(link));
    }

    TEST(RegularFile, TellsWhyNothingWasOpened)
    {
        testing::TemporaryFolder folder;
        auto fifo = folder / "pipe";
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        std::error_code error;

        EXPECT_FALSE(RegularFile::open(folder / "missing", error));
        EXPECT_EQ(error, std::errc::no_such_file_or_directory);
        EXPECT_FALSE(RegularFile::open(folder.path(), error));
        EXPECT_EQ(error, std::errc::is_a_directory);
        EXPECT_FALSE(RegularFile::open(fifo, error));
        EXPECT_EQ(error, notRegularFileError());
        EXPECT_EQ(error.message(), "Not a regular file");

        EXPECT_TRUE(RegularFile::open(folder.createFile("a.txt", "x"), error));
        EXPECT_FALSE(error);
    }

    TEST(RegularFile, LinksCanBeRefused)
    {
        testing::TemporaryFolder folder;
        auto file = folder.createFile("a.txt", "hello");
        std::filesystem::create_symlink(file, folder / "link");
        std::error_code error;
        EXPECT_FALSE(RegularFile::open(folder / "link", error, RegularFile::Links::refuse));
        EXPECT_EQ(error, std::errc::too_many_symbolic_link_levels);
        auto opened = RegularFile::open(file, error, RegularFile::Links::refuse);
        ASSERT_TRUE(opened);
        EXPECT_EQ(opened->readAll(error), "hello");
        EXPECT_FALSE(error);
    }

    TEST(RegularFile, TellsWhenReadingFails)
    {
        testing::TemporaryFolder folder;
        std::error_code error;
        auto file = RegularFile::open(folder.createFile("a.txt", "hello"), error);
        ASSERT_TRUE(file);
        EXPECT_EQ(file->readPrefix(3, error), "hel");
        EXPECT_FALSE(error);
        EXPECT_EQ(file->readPrefix(100, error), "hello");
        EXPECT_FALSE(error);

        // The memory of this process is a regular file whose first page cannot be read.
        auto memory = RegularFile::open("/proc/self/mem");
        ASSERT_TRUE(memory);
        EXPECT_EQ(memory->readPrefix(100, error), "");
        EXPECT_EQ(error, std::errc::io_error);
        EXPECT_EQ(memory->readPrefix(100), ""); // the unchecked read just ends
    }

    TEST(RegularFile, ReadsUpToTheLimitWhateverTheSizeSays)
    {
        testing::TemporaryFolder folder;
        std::string content(10'000, 'x');
        content[9'999] = 'y';
        auto file = folder.createFile("big.txt", content);
        auto opened = RegularFile::open(file);
        ASSERT_TRUE(opened);
        EXPECT_EQ(opened->readPrefix(100'000), content);
        EXPECT_EQ(opened->readPrefix(5'000), content.substr(0, 5'000));
        EXPECT_EQ(opened->readPrefix(10'000), content);

        // A file whose size reads as 0 while it has content.
        auto status = RegularFile::open("/proc/self/status");
        ASSERT_TRUE(status);
        EXPECT_EQ(status->size(), 0);
        EXPECT_NE(status->readPrefix(1 << 20).find("Name:"), std::string::npos);
    }

} // namespace
} // namespace sorvik
