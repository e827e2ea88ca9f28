#include "app/store/list_file.h"

#include "app/store/file_error.h"
#include "tests/support/temporary_folder.h"

#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace sorvik {
namespace {

    using testing::TemporaryFolder;

    struct Failure {
        FileError::Code code;
        std::string text;
    };

    Failure failureOf(const std::filesystem::path& path)
    {
        try {
            ListFile::read(FileURL(path.string()));
        } catch (const FileError& error) {
            return { error.code(), error.what() };
        }
        ADD_FAILURE() << path << " was read";
        return { FileError::Code::fileReadUnknown, {} };
    }

    TEST(ListFile, ReadsTheTextAsStoredUpToOneByteBelowTwoMillion)
    {
        TemporaryFolder folder;
        std::string text = "\xEF\xBB\xBF"
                           "a\xC2\xA0"
                           "b,c\r\nd\u2028e\n";
        auto file = folder.createFile("list.csv", text);
        EXPECT_EQ(ListFile::read(FileURL(file.string())), text);

        std::string largest(ListFile::sizeLimit - 1, 'x');
        EXPECT_EQ(
            ListFile::read(FileURL(folder.createFile("largest.csv", largest).string())), largest);
        auto tooLarge = failureOf(folder.createFile("large.csv", largest + "x"));
        EXPECT_EQ(tooLarge.code, FileError::Code::fileReadTooLarge);
        EXPECT_EQ(tooLarge.text,
            "The file \u201Clarge.csv\u201D couldn\u2019t be opened because it is too large.");
    }

    TEST(ListFile, BytesThatAreNotUtf8AreAnEncodingFailureOfTheirOwn)
    {
        TemporaryFolder folder;
        // Latin-1 "café", and a lone continuation byte.
        for (std::string bytes : { std::string("caf\xE9\n"), std::string("a,\x80\n") }) {
            auto failure = failureOf(folder.createFile("names.csv", bytes));
            EXPECT_EQ(failure.code, FileError::Code::fileReadInapplicableStringEncoding);
            EXPECT_EQ(failure.text,
                "The file \u201Cnames.csv\u201D couldn\u2019t be opened using text encoding "
                "Unicode (UTF-8).");
        }
    }

    TEST(ListFile, OnlyARegularFileIsRead)
    {
        TemporaryFolder folder;
        auto fifo = folder / "pipe.csv";
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        // Neither waits for a writer nor reads a device's endless bytes.
        EXPECT_EQ(failureOf(fifo).code, FileError::Code::fileReadUnknown);
        EXPECT_EQ(failureOf("/dev/zero").code, FileError::Code::fileReadUnknown);
        EXPECT_EQ(failureOf(folder / "absent.csv").code, FileError::Code::fileNoSuchFile);
    }

} // namespace
} // namespace sorvik
