#include "app/store/preview_planner.h"

#include "tests/app/store/store_test_support.h"

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::aiRule;
    using testing::FakeServices;
    using testing::insertRule;
    using testing::patternRule;
    using testing::replaceRule;

    std::shared_ptr<const std::vector<FileItem>> itemsNamed(
        std::initializer_list<std::string_view> names, std::size_t includedCount = SIZE_MAX)
    {
        auto items = std::make_shared<std::vector<FileItem>>();
        std::int64_t order = 0;
        for (auto name : names) {
            FileItem item(FileURL("/nowhere/sorvik-planner/" + std::string(name)), true, Date {},
                Date {}, 0, order);
            item.included = std::size_t(order) < includedCount;
            ++order;
            items->push_back(item);
        }
        return items;
    }

    PreviewRequest requestFor(std::shared_ptr<const std::vector<FileItem>> items,
        std::vector<Rule> rules, bool onlinePlaces = true)
    {
        return PreviewPlanner::request(
            1, std::move(items), SortKey::added, true, false, std::move(rules), onlinePlaces);
    }

    TEST(PreviewPlanner, RuleTextJoinsTheEnabledInsertPatternAndOrganizeTexts)
    {
        Rule organize(RuleKind(OrganizeConfig { "{date.created:yyyy}" }));
        Rule list(RuleKind(ListConfig { "{exif.date}", false }));
        std::vector<Rule> rules { insertRule("A"), patternRule("{name}", false),
            replaceRule("{exif.date}", "x"), list, patternRule("B"), organize };
        EXPECT_EQ(PreviewPlanner::ruleText(rules), "A B {date.created:yyyy}");
        EXPECT_EQ(PreviewPlanner::ruleText({}), "");
    }

    TEST(PreviewPlanner, MetadataAndPlacesFollowTheRuleText)
    {
        struct Case {
            std::vector<Rule> rules;
            bool onlinePlaces;
            bool needsMetadata;
            bool lookUpPlaces;
        };
        const Case cases[] = {
            { { patternRule("{name}") }, true, false, false },
            { { patternRule("{gps.city}") }, false, true, false },
            { { patternRule("{gps.city}") }, true, true, true },
            { { patternRule("{gps.country|x}") }, true, true, true },
            { { patternRule("{gps.city}", false) }, true, false, false },
            // Plain text is no token; it only turns place lookup on for a request that
            // needs metadata anyway.
            { { insertRule("gps.city") }, true, false, true },
            { { insertRule("gps.city"), patternRule("{exif.date}") }, true, true, true },
            { { replaceRule("{gps.city}", "") }, true, false, false },
        };
        for (const auto& test : cases) {
            auto request = requestFor(itemsNamed({ "a.jpg" }), test.rules, test.onlinePlaces);
            EXPECT_EQ(request.needsMetadata, test.needsMetadata)
                << PreviewPlanner::ruleText(test.rules);
            EXPECT_EQ(request.needsMetadata && request.lookUpPlaces,
                test.needsMetadata && test.lookUpPlaces)
                << PreviewPlanner::ruleText(test.rules);
        }
    }

    TEST(PreviewPlanner, OnlyListsAbove2000ItemsWaitFirst)
    {
        EXPECT_FALSE(PreviewPlanner::waitsFirst(0));
        EXPECT_FALSE(PreviewPlanner::waitsFirst(2000));
        EXPECT_TRUE(PreviewPlanner::waitsFirst(2001));
    }

    TEST(PreviewPlanner, ProgressTextEndsWithAnEllipsis)
    {
        EXPECT_EQ(PreviewPlanner::aiProgressText(3, 5), "AI naming 3/5\xE2\x80\xA6");
    }

    TEST(PreviewPlanner, AIAnswerGoesUnderSharedAndRuleKeys)
    {
        auto ruleID = *Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
        MetadataDictionary entry { { "exif.date", "2024" }, { "ai.type", "old" } };
        PreviewPlanner::addAIAnswer(entry, ruleID, { { "ai.title", "Trip" }, { "ai.error", "" } });
        EXPECT_EQ(entry,
            (MetadataDictionary { { "exif.date", "2024" }, { "ai.type", "old" },
                { "ai.title", "Trip" }, { "ai.error", "" },
                { "ai.E621E1F8-C36C-495A-93FC-0C247A3E6E5F.title", "Trip" },
                { "ai.E621E1F8-C36C-495A-93FC-0C247A3E6E5F.error", "" } }));
    }

    TEST(PreviewPlanner, NeitherServiceIsAskedWithoutMetadataTokensOrAIRules)
    {
        FakeServices services;
        auto result = PreviewPlanner::plan(
            requestFor(itemsNamed({ "a.txt", "b.txt" }), { replaceRule("a", "c") }), &services, {},
            {});
        ASSERT_TRUE(result);
        EXPECT_TRUE(services.metadataCalls().empty());
        EXPECT_TRUE(services.aiCalls().empty());
        EXPECT_TRUE(result->metadata.empty());
        ASSERT_EQ(result->rows.size(), 2u);
        EXPECT_EQ(result->rows[0].newName, "c.txt");
    }

    TEST(PreviewPlanner, MetadataIsAskedForEveryListedItemInPreviewOrder)
    {
        FakeServices services;
        auto items = itemsNamed({ "b.jpg", "a.jpg", "c.jpg" }, 1);
        services.metadataAnswer = [](const std::vector<FileItem>& asked) {
            MetadataMap answer;
            for (const auto& item : asked)
                answer[item.id] = { { "exif.date", "2024-05-06T10:00:00Z" } };
            return answer;
        };
        auto request = PreviewPlanner::request(
            1, items, SortKey::name, true, false, { patternRule("{gps.city|x}_{name}") }, false);
        auto result = PreviewPlanner::plan(request, &services, {}, {});
        ASSERT_TRUE(result);
        auto calls = services.metadataCalls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(
            calls[0].ids, (std::vector<Uuid> { (*items)[1].id, (*items)[0].id, (*items)[2].id }));
        EXPECT_FALSE(calls[0].lookUpPlaces);
        EXPECT_EQ(result->metadata.size(), 3u);
    }

    TEST(PreviewPlanner, AIStageAsksEachIncludedItemOnceWithProgressOverAllItems)
    {
        FakeServices services;
        auto items = itemsNamed({ "a.pdf", "b.pdf", "c.pdf", "d.pdf", "e.pdf" }, 3);
        std::vector<std::string> progress;
        auto rule = aiRule(AIMode::documents, 4, false);
        auto result = PreviewPlanner::plan(requestFor(items, { rule }), &services, {},
            [&](std::string text) { progress.push_back(std::move(text)); });
        ASSERT_TRUE(result);
        auto calls = services.aiCalls();
        ASSERT_EQ(calls.size(), 3u);
        for (std::size_t index = 0; index < 3; ++index) {
            EXPECT_EQ(calls[index].id, (*items)[index].id);
            EXPECT_EQ(calls[index].mode, AIMode::documents);
            EXPECT_EQ(calls[index].maxWords, 4);
            EXPECT_FALSE(calls[index].includeDate);
        }
        EXPECT_EQ(progress,
            (std::vector<std::string> { "AI naming 1/5\xE2\x80\xA6", "AI naming 2/5\xE2\x80\xA6",
                "AI naming 3/5\xE2\x80\xA6" }));
        EXPECT_EQ(result->metadata.at((*items)[0].id).at("ai.title"), "a");
        EXPECT_FALSE(result->metadata.contains((*items)[3].id));
    }

    TEST(PreviewPlanner, TwoAIRulesAskTwiceAndTheSecondAnswerWinsTheSharedKeys)
    {
        FakeServices services;
        services.aiAnswer = [](const FileItem&, AIMode mode) -> MetadataDictionary {
            if (mode == AIMode::documents)
                return { { "ai.title", "First" }, { "ai.party", "Acme" } };
            return { { "ai.title", "Second" }, { "ai.type", "Photo" } };
        };
        auto items = itemsNamed({ "a.pdf", "b.pdf" });
        auto first = aiRule(AIMode::documents);
        auto second = aiRule(AIMode::photos);
        auto result = PreviewPlanner::plan(requestFor(items, { first, second }), &services, {}, {});
        ASSERT_TRUE(result);
        EXPECT_EQ(services.aiCalls().size(), 4u);
        const auto& entry = result->metadata.at((*items)[1].id);
        EXPECT_EQ(entry.at("ai.title"), "Second");
        EXPECT_EQ(entry.at("ai.party"), "Acme");
        EXPECT_EQ(entry.at("ai.type"), "Photo");
        EXPECT_EQ(entry.at("ai." + first.id.text() + ".title"), "First");
        EXPECT_EQ(entry.at("ai." + first.id.text() + ".party"), "Acme");
        EXPECT_FALSE(entry.contains("ai." + first.id.text() + ".type"));
        EXPECT_EQ(entry.at("ai." + second.id.text() + ".title"), "Second");
    }

    TEST(PreviewPlanner, AIRuleWithoutIncludedItemsMakesNoCallAndNoProgress)
    {
        FakeServices services;
        int progressCalls = 0;
        auto disabled = aiRule();
        disabled.isEnabled = false;
        auto result
            = PreviewPlanner::plan(requestFor(itemsNamed({ "a.pdf", "b.pdf" }, 0), { aiRule() }),
                &services, {}, [&](std::string) { ++progressCalls; });
        ASSERT_TRUE(result);
        result = PreviewPlanner::plan(requestFor(itemsNamed({ "a.pdf" }), { disabled }), &services,
            {}, [&](std::string) { ++progressCalls; });
        ASSERT_TRUE(result);
        EXPECT_TRUE(services.aiCalls().empty());
        EXPECT_EQ(progressCalls, 0);
    }

    TEST(PreviewPlanner, CancelledPlanningReturnsNothingAndStopsAskingTheAIService)
    {
        FakeServices services;
        std::stop_source stop;
        auto result = PreviewPlanner::plan(requestFor(itemsNamed({ "a", "b", "c" }), { aiRule() }),
            &services, stop.get_token(), [&](std::string text) {
                if (text.starts_with("AI naming 2/"))
                    stop.request_stop();
            });
        EXPECT_FALSE(result);
        EXPECT_EQ(services.aiCalls().size(), 2u);
    }

    TEST(PreviewPlanner, CancellationDuringTheLargeListWaitEndsBeforeAnyWork)
    {
        std::vector<std::string> names;
        auto items = std::make_shared<std::vector<FileItem>>();
        for (int index = 0; index < 2001; ++index)
            items->emplace_back(
                FileURL("/nowhere/" + std::to_string(index)), true, Date {}, Date {}, 0, index);
        FakeServices services;
        std::stop_source stop;
        stop.request_stop();
        auto result = PreviewPlanner::plan(
            requestFor(items, { patternRule("{exif.date}") }), &services, stop.get_token(), {});
        EXPECT_FALSE(result);
        EXPECT_TRUE(services.metadataCalls().empty());
    }

    TEST(PreviewPlanner, WithoutServicesThePipelineStillRuns)
    {
        auto result = PreviewPlanner::plan(
            requestFor(itemsNamed({ "a.txt" }), { patternRule("{exif.date|none}"), aiRule() }),
            nullptr, {}, {});
        ASSERT_TRUE(result);
        ASSERT_EQ(result->rows.size(), 1u);
        EXPECT_TRUE(result->metadata.empty());
    }

} // namespace
} // namespace sorvik
