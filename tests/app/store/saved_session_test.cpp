#include "app/store/saved_session.h"

#include "app/store/json_files.h"
#include "engine/model/json.h"
#include "tests/support/temporary_folder.h"

#include <fstream>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::IsolatedHome;
    using testing::readFile;

    void writeText(const std::filesystem::path& path, std::string_view text)
    {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

    std::vector<Rule> everyKindOfRule()
    {
        std::vector<Rule> rules;
        for (auto& kind : RuleKind::defaults())
            rules.emplace_back(std::move(kind));
        rules[1].isEnabled = false;
        return rules;
    }

    TEST(SavedSession, EmptyRuleStackIsWrittenAsAnEmptyListInKeyOrder)
    {
        IsolatedHome home;
        JSONFiles::save(SavedSession { 1, {}, SortKey::name, false }, SavedSession::fileName);
        EXPECT_EQ(readFile(JSONFiles::applicationFolder() / "last-session.json"),
            "{\n"
            "  \"ascending\" : false,\n"
            "  \"rules\" : [\n"
            "\n"
            "  ],\n"
            "  \"schemaVersion\" : 1,\n"
            "  \"sort\" : \"Name\"\n"
            "}");
        auto loaded = JSONFiles::load<SavedSession>(SavedSession::fileName);
        ASSERT_TRUE(loaded);
        EXPECT_TRUE(loaded->rules.empty());
        EXPECT_EQ(*loaded, (SavedSession { 1, {}, SortKey::name, false }));
    }

    TEST(SavedSession, RulesAndEverySortKeyRoundTrip)
    {
        IsolatedHome home;
        for (SortKey key : allCases<SortKey>()) {
            SavedSession session { 1, everyKindOfRule(), key, true };
            JSONFiles::save(session, SavedSession::fileName);
            EXPECT_EQ(JSONFiles::load<SavedSession>(SavedSession::fileName), session)
                << rawValue(key);
        }
    }

    TEST(SavedSession, DecodingIsStrict)
    {
        const std::string valid
            = R"({"ascending":true,"rules":[],"schemaVersion":1,"sort":"Date modified"})";
        ASSERT_NO_THROW(json::decode<SavedSession>(json::parse(valid)));
        for (const char* broken : {
                 R"({"rules":[],"schemaVersion":1,"sort":"Name"})",
                 R"({"ascending":true,"schemaVersion":1,"sort":"Name"})",
                 R"({"ascending":true,"rules":[],"sort":"Name"})",
                 R"({"ascending":true,"rules":[],"schemaVersion":1})",
                 R"({"ascending":null,"rules":[],"schemaVersion":1,"sort":"Name"})",
                 R"({"ascending":1,"rules":[],"schemaVersion":1,"sort":"Name"})",
                 R"({"ascending":true,"rules":{},"schemaVersion":1,"sort":"Name"})",
                 R"({"ascending":true,"rules":[],"schemaVersion":"1","sort":"Name"})",
                 R"({"ascending":true,"rules":[],"schemaVersion":1.5,"sort":"Name"})",
                 R"({"ascending":true,"rules":[],"schemaVersion":1,"sort":"name"})",
                 R"({"ascending":true,"rules":[],"schemaVersion":1,"sort":"Size "})",
                 R"({"ascending":true,"rules":[{"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F",)"
                 R"("isEnabled":true,"kind":{"type":"shuffle","config":{}}}],)"
                 R"("schemaVersion":1,"sort":"Name"})",
                 R"([])",
             }) {
            EXPECT_THROW(json::decode<SavedSession>(json::parse(broken)), json::DecodeError)
                << broken;
        }
    }

    TEST(SavedSession, SessionFileWithoutDirectionFailsAsAWhole)
    {
        IsolatedHome home;
        writeText(JSONFiles::applicationFolder() / "last-session.json",
            R"({"rules":[],"schemaVersion":1,"sort":"Name"})");
        EXPECT_THROW(JSONFiles::load<SavedSession>(SavedSession::fileName), json::DecodeError);
    }

    TEST(SavedPresets, PresetsRoundTripInListOrderWithKeysSorted)
    {
        IsolatedHome home;
        Preset trip("Trip", "camera", "3478F6", everyKindOfRule());
        Preset empty("", "doc", "zz", {});
        empty.isBuiltIn = true;
        SavedPresets presets { 1, { trip, empty } };
        JSONFiles::save(presets, SavedPresets::fileName);

        auto text = readFile(JSONFiles::applicationFolder() / "presets.json");
        EXPECT_TRUE(text.starts_with("{\n  \"presets\" : [\n")) << text.substr(0, 40);
        EXPECT_LT(text.rfind("\"presets\""), text.rfind("\"schemaVersion\" : 1\n}"));
        EXPECT_EQ(JSONFiles::load<SavedPresets>(SavedPresets::fileName), presets);

        JSONFiles::save(SavedPresets {}, SavedPresets::fileName);
        EXPECT_EQ(readFile(JSONFiles::applicationFolder() / "presets.json"),
            "{\n  \"presets\" : [\n\n  ],\n  \"schemaVersion\" : 1\n}");
    }

    TEST(SavedPresets, ExtraKeysAreIgnoredAndOtherVersionsStillRead)
    {
        auto read = json::decode<SavedPresets>(
            json::parse(R"({"presets":[],"schemaVersion":2,"comment":"from a later version"})"));
        EXPECT_EQ(read.schemaVersion, 2);
        EXPECT_TRUE(read.presets.empty());

        for (const char* broken : { R"({"schemaVersion":1})", R"({"presets":[]})",
                 R"({"presets":null,"schemaVersion":1})", R"({"presets":[{}],"schemaVersion":1})",
                 R"({"presets":[],"schemaVersion":true})" }) {
            EXPECT_THROW(json::decode<SavedPresets>(json::parse(broken)), json::DecodeError)
                << broken;
        }
    }

    TEST(SavedPresets, LegacyPresetListIsReadUntilSaved)
    {
        IsolatedHome home;
        writeText(JSONFiles::legacyFolder() / "presets.json",
            R"({"presets":[{"colorHex":"3478F6","id":"e621e1f8-c36c-495a-93fc-0c247a3e6e5f",)"
            R"("isBuiltIn":false,"name":"Old","rules":[],"schemaVersion":1,"symbol":"doc"}],)"
            R"("schemaVersion":1})");
        auto loaded = JSONFiles::load<SavedPresets>(SavedPresets::fileName);
        ASSERT_TRUE(loaded);
        ASSERT_EQ(loaded->presets.size(), 1U);
        EXPECT_EQ(loaded->presets[0].name, "Old");
        EXPECT_EQ(loaded->presets[0].id.text(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    }

    TEST(RuleIDs, RepeatedIdsGetNewOnesAndUniqueOnesStay)
    {
        auto rules = everyKindOfRule();
        auto unique = rules;
        EXPECT_FALSE(makeRuleIDsUnique(unique));
        EXPECT_EQ(unique, rules);

        // A B A A C: the first A keeps its id, each later A gets one of its own.
        std::vector<Rule> repeated { rules[0], rules[1], rules[0], rules[0], rules[2] };
        auto made = repeated;
        EXPECT_TRUE(makeRuleIDsUnique(made));
        ASSERT_EQ(made.size(), 5u);
        EXPECT_EQ(made[0], rules[0]);
        EXPECT_EQ(made[1], rules[1]);
        EXPECT_EQ(made[4], rules[2]);
        for (std::size_t index : { 2u, 3u }) {
            EXPECT_NE(made[index].id, rules[0].id);
            auto sameID = made[index];
            sameID.id = rules[0].id;
            EXPECT_EQ(sameID, rules[0]);
        }
        EXPECT_NE(made[2].id, made[3].id);

        std::vector<Rule> none;
        EXPECT_FALSE(makeRuleIDsUnique(none));
    }

} // namespace
} // namespace sorvik
