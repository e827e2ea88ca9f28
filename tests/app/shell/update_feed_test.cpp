#include "app/shell/update_feed.h"

#include "engine/model/error.h"
#include "tests/app/shell/update_test_support.h"

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    TEST(UpdateFeed, APublicKeyIsExactlyThirtyTwoBytesOfBase64)
    {
        testing::SigningKey key;
        auto text = key.publicKeyBase64();
        auto decoded = UpdateFeed::decodePublicKey(text);
        ASSERT_TRUE(decoded);
        EXPECT_TRUE(std::equal(decoded->begin(), decoded->end(), key.publicKey.begin()));
        EXPECT_TRUE(UpdateFeed::decodePublicKey(" \n" + text + "\n"));

        unsigned char bytes[33] = {};
        for (std::string bad : {
                 std::string(),
                 std::string("   "),
                 std::string("not base64 at all!"),
                 testing::base64(bytes, 31),
                 testing::base64(bytes, 33),
                 text.substr(0, text.size() - 2),
                 text + "AAAA",
             })
            EXPECT_FALSE(UpdateFeed::decodePublicKey(bad)) << bad;
    }

    TEST(UpdateFeed, OnlyTheKeysSignatureOverTheExactBytesHolds)
    {
        testing::SigningKey key;
        testing::SigningKey other;
        auto publicKey = *UpdateFeed::decodePublicKey(key.publicKeyBase64());
        std::string feed = R"({"version": "0.2.0", "downloadPage": "https://example.com/"})";
        EXPECT_TRUE(UpdateFeed::isSignedBy(feed, key.sign(feed), publicKey));
        EXPECT_TRUE(UpdateFeed::isSignedBy(feed, key.sign(feed) + "\n", publicKey));
        EXPECT_FALSE(UpdateFeed::isSignedBy(feed, other.sign(feed), publicKey));
        EXPECT_FALSE(UpdateFeed::isSignedBy(feed + " ", key.sign(feed), publicKey));
        EXPECT_FALSE(UpdateFeed::isSignedBy(feed, "", publicKey));
        EXPECT_FALSE(UpdateFeed::isSignedBy(feed, "AAAA", publicKey));
    }

    TEST(UpdateFeed, AFeedNamesAVersionAndAnHttpsPage)
    {
        auto release = UpdateFeed::parse(R"({"version": "1.2", "downloadPage":
            "https://sorvik.example/get", "releaseNotes": "Faster.", "other": 1})");
        EXPECT_EQ(
            release, (UpdateFeed::Release { "1.2", "https://sorvik.example/get", "Faster." }));
        EXPECT_EQ(UpdateFeed::parse(R"({"version": "2", "downloadPage": "HTTPS://x.example"})")
                      .releaseNotes,
            "");

        for (const char* bad : {
                 "",
                 "not json",
                 "[]",
                 R"({"downloadPage": "https://x.example"})",
                 R"({"version": "1.0"})",
                 R"({"version": 1, "downloadPage": "https://x.example"})",
                 R"({"version": "1.0", "downloadPage": "http://x.example"})",
                 R"({"version": "1.0", "downloadPage": "file:///etc/passwd"})",
                 R"({"version": "1.0", "downloadPage": "https://"})",
                 R"({"version": "1.0-beta", "downloadPage": "https://x.example"})",
                 R"({"version": "1.0", "downloadPage": "https://x.example", "releaseNotes": 3})",
                 R"({"version": "1.0", "downloadPage": "https://x.example", "releaseNotes": null})",
             })
            EXPECT_THROW(UpdateFeed::parse(bad), Error) << bad;
    }

    TEST(UpdateFeed, VersionsCompareNumberByNumber)
    {
        struct Case {
            const char* offered;
            const char* current;
            bool newer;
        };
        const Case cases[] = {
            { "0.2.0", "0.1.0", true },
            { "0.1.0", "0.1.0", false },
            { "0.1", "0.1.0", false },
            { "0.1.0.1", "0.1.0", true },
            { "0.10.0", "0.9.0", true },
            { "0.9.9", "0.10.0", false },
            { "1", "0.99.99.99", true },
            { "0.0.9", "0.1.0", false },
            { "x", "0.1.0", false },
            { "1.0", "", false },
            { "1..0", "0.1", false },
            { "1.0.0.0.0", "0.1", false },
            { "1234567890", "0.1", false },
        };
        for (const auto& each : cases)
            EXPECT_EQ(UpdateFeed::isNewer(each.offered, each.current), each.newer)
                << each.offered << " over " << each.current;
    }

    TEST(UpdateFeed, OnlySecureAddressesAreFetched)
    {
        for (const char* secure : { "https://updates.example/feed.json", "HTTPS://x.example",
                 "http://127.0.0.1:8080/feed", "http://localhost/feed", "http://[::1]:9/feed" })
            EXPECT_TRUE(UpdateFeed::isSecureAddress(secure)) << secure;
        for (const char* insecure :
            { "", "https://", "http://updates.example/feed", "http://127.0.0.1.example.com/feed",
                "http://localhost.example/feed", "ftp://x.example/feed", "file:///feed.json" })
            EXPECT_FALSE(UpdateFeed::isSecureAddress(insecure)) << insecure;
    }

} // namespace
} // namespace sorvik
