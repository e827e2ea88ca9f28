#include "app/automation/watch_folder.h"

#include "engine/model/json.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    WatchFolder sample()
    {
        WatchFolder folder;
        folder.id = *Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
        folder.folder = FileURL("/home/me/Photo Inbox", true);
        folder.bookmark = { 'S', 'V', 0, 0xFF, 7 };
        folder.presetID = *Uuid::parse("0A0B0C0D-0000-4000-8000-000000000001");
        folder.includeSubfolders = true;
        folder.fileTypes = "jpg, png";
        folder.settleSeconds = 0;
        folder.isEnabled = false;
        return folder;
    }

    TEST(WatchFolder, IsStoredWithEveryKeyInSortedOrder)
    {
        json::Json document = std::vector<WatchFolder> { sample() };
        EXPECT_EQ(json::serialize(document),
            "[\n"
            "  {\n"
            "    \"bookmark\" : \"U1YA\\/wc=\",\n"
            "    \"fileTypes\" : \"jpg, png\",\n"
            "    \"folder\" : \"file:\\/\\/\\/home\\/me\\/Photo%20Inbox\\/\",\n"
            "    \"id\" : \"E621E1F8-C36C-495A-93FC-0C247A3E6E5F\",\n"
            "    \"includeSubfolders\" : true,\n"
            "    \"isEnabled\" : false,\n"
            "    \"presetID\" : \"0A0B0C0D-0000-4000-8000-000000000001\",\n"
            "    \"settleSeconds\" : 0\n"
            "  }\n"
            "]");
        EXPECT_EQ(json::decode<std::vector<WatchFolder>>(document), std::vector { sample() });
    }

    TEST(WatchFolder, AMissingKeyOrAWrongValueFailsTheWholeList)
    {
        json::Json good = sample();
        for (const auto& key : { "bookmark", "fileTypes", "folder", "id", "includeSubfolders",
                 "isEnabled", "presetID", "settleSeconds" }) {
            SCOPED_TRACE(key);
            auto broken = good;
            broken.erase(key);
            json::Json list = { good, broken };
            EXPECT_THROW(json::decode<std::vector<WatchFolder>>(list), json::DecodeError);
        }
        auto badBase64 = good;
        badBase64["bookmark"] = "not base64!";
        EXPECT_THROW(json::decode<WatchFolder>(badBase64), json::DecodeError);
        auto fraction = good;
        fraction["settleSeconds"] = 2.5;
        EXPECT_THROW(json::decode<WatchFolder>(fraction), json::DecodeError);
    }

    TEST(WatchFolder, ANewFolderHasTheDefaults)
    {
        WatchFolder folder;
        EXPECT_FALSE(folder.id.isNull());
        EXPECT_FALSE(folder.includeSubfolders);
        EXPECT_EQ(folder.fileTypes, "");
        EXPECT_EQ(folder.settleSeconds, 3);
        EXPECT_TRUE(folder.isEnabled);
    }

    TEST(WatchFolder, WantedExtensions)
    {
        using Set = std::unordered_set<std::string>;
        struct Case {
            std::string fileTypes;
            Set wanted;
        };
        const std::vector<Case> cases {
            { "", {} },
            { ",,", {} },
            { " JPG, png ,", { "jpg", "png" } },
            { "jpg, ,png", { "jpg", "", "png" } },
            { "jpg,\n", { "jpg", "\n" } },
            { "\tjpg\u00A0,\u2003png", { "jpg", "png" } },
            { "\u00C9T\u00C9", { "\u00E9t\u00E9" } },
            { "e\u0301", { "\u00E9" } },
            { ".jpg", { ".jpg" } },
        };
        for (const auto& each : cases) {
            SCOPED_TRACE(each.fileTypes);
            EXPECT_EQ(wantedExtensions(each.fileTypes), each.wanted);
        }
    }

    TEST(WatchFolder, NamesPassByTheirLastExtensionInAnyCaseAndForm)
    {
        auto jpg = wantedExtensions("jpg,\u00E9t\u00E9");
        EXPECT_TRUE(hasWantedExtension("a.JPG", jpg));
        EXPECT_TRUE(hasWantedExtension("b.tar.jpg", jpg));
        EXPECT_TRUE(hasWantedExtension("c.e\u0301te\u0301", jpg));
        EXPECT_FALSE(hasWantedExtension("d.jpeg", jpg));
        EXPECT_FALSE(hasWantedExtension(".jpg", jpg)) << "a hidden name has no extension";
        EXPECT_FALSE(hasWantedExtension("plain", jpg));
        EXPECT_TRUE(hasWantedExtension("plain", wantedExtensions("jpg, ")));
        EXPECT_TRUE(hasWantedExtension("anything.at.all", {}));
    }

} // namespace
} // namespace sorvik
