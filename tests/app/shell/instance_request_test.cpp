#include "app/shell/instance_request.h"

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    namespace Frame = InstanceRequestFrame;

    std::string bodyOf(const std::string& frame)
    {
        EXPECT_EQ(Frame::bodyLength(frame), frame.size() - Frame::headerSize);
        return frame.substr(Frame::headerSize);
    }

    TEST(InstanceRequestFrame, EveryKindAndPathComesBackAsItLeft)
    {
        std::vector<InstanceRequest> requests {
            { InstanceRequest::Kind::show, {} },
            { InstanceRequest::Kind::openDocuments,
                { FileURL("/photos/a.jpg"), FileURL("/p/Preset.TWPRESET"),
                    FileURL("/folder", true) } },
            // Bytes that are not UTF-8, a line break, a space: paths are bytes.
            { InstanceRequest::Kind::addFiles,
                { FileURL("/x/bytes\xFF\xFE.txt"), FileURL("/x/line\nbreak"),
                    FileURL("/x/caf\xC3\xA9 1.jpg") } },
        };
        for (const auto& request : requests) {
            auto decoded = Frame::decode(bodyOf(Frame::encode(request)));
            ASSERT_TRUE(decoded);
            EXPECT_EQ(*decoded, request);
        }
    }

    TEST(InstanceRequestFrame, AnythingElseIsNoRequest)
    {
        auto good = bodyOf(
            Frame::encode({ InstanceRequest::Kind::addFiles, { FileURL("/a"), FileURL("/bc") } }));
        ASSERT_TRUE(Frame::decode(good));

        auto changed = [&](std::size_t index, char value) {
            auto body = good;
            body[index] = value;
            return body;
        };
        // "sorvik-request" is 14 bytes, then the version, the kind, the count (4 bytes), then
        // the first file's flag, length (4 bytes) and path.
        std::vector<std::pair<std::string, std::string>> cases {
            { "empty", "" },
            { "another format", changed(0, 'S') },
            { "another version", changed(14, 2) },
            { "kind 0", changed(15, 0) },
            { "kind 4", changed(15, 4) },
            { "more files than bytes", changed(19, 9) },
            { "a folder flag of 2", changed(20, 2) },
            { "a relative path", changed(25, 'a') },
            { "a NUL in a path", changed(25, '\0') },
            { "cut short", good.substr(0, good.size() - 1) },
            { "bytes left over", good + "x" },
        };
        for (const auto& [label, body] : cases)
            EXPECT_FALSE(Frame::decode(body)) << label;
    }

    TEST(InstanceRequestFrame, TheLengthIsBigEndian)
    {
        EXPECT_EQ(Frame::bodyLength(std::string("\x00\x00\x01\x02", 4)), 258u);
        EXPECT_EQ(Frame::bodyLength("\xFF\xFF\xFF\xFF"), 0xFFFFFFFFu);
    }

} // namespace
} // namespace sorvik
