#include "app/shell/uri_list.h"

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    std::vector<std::string> paths(std::string_view payload)
    {
        std::vector<std::string> result;
        for (const auto& url : UriList::fileURLs(payload))
            result.push_back(url.path);
        return result;
    }

    TEST(UriList, ReadsLocalFilesByTheirBytes)
    {
        struct Case {
            std::string_view payload;
            std::vector<std::string> paths;
        };
        const Case cases[] = {
            { "file:///home/a.txt\r\nfile:///home/b%20c.txt\r\n",
                { "/home/a.txt", "/home/b c.txt" } },
            // Bytes that are not UTF-8 stay the same bytes.
            { "file:///home/caf%E9.txt\r\n", { "/home/caf\xE9.txt" } },
            { "file:///home/%FF\n", { "/home/\xFF" } },
            { "file://localhost/srv/x\r\n", { "/srv/x" } },
            // A bare LF, no final line end, a comment and empty lines.
            { "# from a file manager\r\n\r\nfile:///a\nfile:///b", { "/a", "/b" } },
            // Other schemes and hosts, text that is no URL, and a NUL byte are passed over.
            { "https://example.org/a.txt\r\nfile://otherhost/a\r\n/plain/path\r\nfile:///x%00y\r\n"
              "file:///kept\r\n",
                { "/kept" } },
            { "", {} },
            { "\r\n", {} },
        };
        for (const auto& test : cases)
            EXPECT_EQ(paths(test.payload), test.paths) << test.payload;
    }

    TEST(UriList, AFolderWithItsSlashIsAFolder)
    {
        auto urls = UriList::fileURLs("file:///home/photos/\r\nfile:///home/photos\r\n");
        ASSERT_EQ(urls.size(), 2u);
        EXPECT_TRUE(urls[0].isDirectory);
        EXPECT_EQ(urls[0].path, "/home/photos");
        EXPECT_FALSE(urls[1].isDirectory);
    }

} // namespace
} // namespace sorvik
