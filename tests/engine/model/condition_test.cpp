#include "engine/model/condition.h"

#include "engine/model/json.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace sorvik {
namespace {

    FileItem file(const std::string& name, std::int64_t size = 0, double modified = 0)
    {
        return FileItem(FileURL("/photos/" + name), true, Date { 0 }, Date { modified }, size, 0);
    }

    FileItem folder(const std::string& name)
    {
        FileItem item = file(name);
        item.url = FileURL("/photos/" + name, true);
        item.isDirectory = true;
        return item;
    }

    struct MatchCase {
        const char* label;
        Condition condition;
        FileItem item;
        bool matches;
    };

    void expectMatches(const std::vector<MatchCase>& cases)
    {
        for (const auto& test : cases)
            EXPECT_EQ(test.condition.matches(test.item), test.matches) << test.label;
    }

    TEST(Condition, ExtensionListIgnoresCaseDotsAndSpaces)
    {
        auto list = Condition::ext({ "JPG", " .png" });
        expectMatches({
            { "lower-case file", list, file("photo.jpg"), true },
            { "upper-case file", list, file("a.PNG"), true },
            { "other extension", list, file("a.gif"), false },
            { "folder with an extension", list, folder("x.jpg"), false },
            { "no extension", list, file("README"), false },
            { "entry that trims to nothing", Condition::ext({ " . " }), file("README"), true },
            { "empty entry and a folder", Condition::ext({ "" }), folder("x.jpg"), true },
            { "empty entry and an extension", Condition::ext({ "" }), file("a.txt"), false },
            { "empty list", Condition::ext({}), file("a.txt"), false },
            { "non-ASCII entry in another case", Condition::ext({ "\xC3\x89T\xC3\x89" }),
                file("a.\xC3\xA9t\xC3\xA9"), true },
            { "decomposed extension", Condition::ext({ "\xC3\xA9" }), file("a.e\xCC\x81"), true },
            { "name that is not UTF-8", list, file("\xFF\xFE.jpg"), true },
        });
    }

    TEST(Condition, NameSearchIsCaseInsensitiveUnlessAsked)
    {
        expectMatches({
            { "ignoring case", Condition::name("IMG", false), file("img_001.jpg"), true },
            { "respecting case", Condition::name("IMG", true), file("img_001.jpg"), false },
            { "same case", Condition::name("img", true), file("img_001.jpg"), true },
            { "extension is part of the name", Condition::name("jpg", true), file("photo.jpg"),
                true },
            { "empty text occurs nowhere", Condition::name("", false), file("photo.jpg"), false },
            { "not in the folder path", Condition::name("photos", false), file("a.jpg"), false },
            { "folder name", Condition::name("trip", false), folder("Trip 2024"), true },
            { "decomposed name, composed text", Condition::name("Caf\xC3\xA9", true),
                file("Cafe\xCC\x81.txt"), true },
            { "non-ASCII ignoring case", Condition::name("\xC3\x84RGER", false),
                file("\xC3\xA4rger.txt"), true },
            { "name that is not UTF-8", Condition::name("jpg", false), file("\xFF.jpg"), true },
        });
    }

    TEST(Condition, NameRegexMatchesAnywhereAndNeverFails)
    {
        expectMatches({
            { "anywhere in the name", Condition::nameRegex("\\d{3}"), file("img_001.jpg"), true },
            { "respects case", Condition::nameRegex("IMG"), file("img_001.jpg"), false },
            { "unless the pattern says otherwise", Condition::nameRegex("(?i)IMG"),
                file("img_001.jpg"), true },
            { "anchored on the whole name", Condition::nameRegex("^img.*\\.jpg$"),
                file("img_001.jpg"), true },
            { "unbalanced bracket", Condition::nameRegex("[abc"), file("a[abc"), false },
            { "unbalanced parenthesis", Condition::nameRegex("(a"), file("(a"), false },
            { "empty pattern matches", Condition::nameRegex(""), file("a.txt"), true },
        });
    }

    TEST(Condition, RegexConditionsTakenInTurnEachUseTheirOwnPattern)
    {
        ConditionGroup both { true, { Condition::nameRegex("^a"), Condition::nameRegex("b$") } };
        ConditionGroup broken { false, { Condition::nameRegex("("), Condition::nameRegex("x") } };
        for (int round = 0; round < 2; ++round) {
            EXPECT_TRUE(both.matches(file("ab")));
            EXPECT_FALSE(both.matches(file("ba")));
            EXPECT_FALSE(both.matches(file("aa")));
            EXPECT_TRUE(broken.matches(file("x")));
            EXPECT_FALSE(broken.matches(file("(")));
        }
    }

    TEST(Condition, NameRegexThatRunsOutOfTimeDoesNotMatch)
    {
        // At the first position the left alternative backtracks exponentially; the engine gives
        // up before it reaches the "b" that the right alternative would match.
        std::string name = std::string(64, 'a') + "b.txt";
        EXPECT_FALSE(Condition::nameRegex("^(a+)+$|b").matches(file(name)));
        EXPECT_TRUE(Condition::nameRegex("b").matches(file(name)));
    }

    TEST(Condition, KindUsesTheExtensionListsAndNeverMatchesFoldersOtherwise)
    {
        struct Expectation {
            const char* name;
            bool isFolder;
            const char* kind;
        };
        const std::vector<Expectation> items = {
            { "photo.JPG", false, "image" },
            { "raw.cr3", false, "image" },
            { "clip.mov", false, "video" },
            { "song.MP3", false, "audio" },
            { "take.aiff", false, "audio" },
            { "notes.md", false, "document" },
            { "bundle.7z", false, "archive" },
            { "data.xyz", false, "other" },
            { "README", false, "other" },
            { "archive.tar.gz", false, "archive" },
            { "page.html", false, "other" },
            { "x.jpg", true, "folder" },
        };
        const std::vector<std::string> kinds
            = { "image", "video", "audio", "document", "archive", "other", "folder" };
        for (const auto& expectation : items) {
            FileItem item
                = expectation.isFolder ? folder(expectation.name) : file(expectation.name);
            for (const auto& kind : kinds) {
                EXPECT_EQ(Condition::kind(kind).matches(item), kind == expectation.kind)
                    << expectation.name << " as " << kind;
            }
            EXPECT_FALSE(Condition::kind("Image").matches(item)) << expectation.name;
            EXPECT_FALSE(Condition::kind("").matches(item)) << expectation.name;
        }
    }

    TEST(Condition, SizeBoundsAreStrictAndOptional)
    {
        auto between = Condition::size(100, 200);
        auto below = Condition::size(std::nullopt, 200);
        auto unbounded = Condition::size(std::nullopt, std::nullopt);
        expectMatches({
            { "just above the lower bound", between, file("a", 101), true },
            { "just below the upper bound", between, file("a", 199), true },
            { "on the lower bound", between, file("a", 100), false },
            { "on the upper bound", between, file("a", 200), false },
            { "empty file, upper bound only", below, file("a", 0), true },
            { "no bounds", unbounded, file("a", INT64_MAX), true },
            { "negative bound", Condition::size(-1, std::nullopt), file("a", 0), true },
            { "bounds that exclude everything", Condition::size(5, 5), file("a", 5), false },
        });
    }

    TEST(Condition, ModifiedBoundsAreStrictAndOptional)
    {
        auto after = Condition::modified(Date { 1000.5 }, std::nullopt);
        auto before = Condition::modified(std::nullopt, Date { 1000.5 });
        expectMatches({
            { "equal to after", after, file("a", 0, 1000.5), false },
            { "later than after", after, file("a", 0, 1000.50001), true },
            { "equal to before", before, file("a", 0, 1000.5), false },
            { "earlier than before", before, file("a", 0, 1000.4), true },
            { "no bounds", Condition::modified(std::nullopt, std::nullopt), file("a", 0, -5),
                true },
            { "inside both", Condition::modified(Date { 1 }, Date { 3 }), file("a", 0, 2), true },
            { "outside both", Condition::modified(Date { 1 }, Date { 3 }), file("a", 0, 3), false },
        });
    }

    TEST(ConditionGroup, AllOrAnyOfItsConditions)
    {
        auto image = Condition::kind("image");
        auto large = Condition::size(1000, std::nullopt);
        FileItem smallPhoto = file("a.jpg", 10);
        FileItem largeText = file("a.txt", 5000);
        FileItem smallText = file("a.txt", 10);

        EXPECT_TRUE((ConditionGroup { true, {} }).matches(smallPhoto));
        EXPECT_FALSE((ConditionGroup { false, {} }).matches(smallPhoto));

        ConditionGroup all { true, { image, large } };
        ConditionGroup any { false, { image, large } };
        EXPECT_FALSE(all.matches(smallPhoto));
        EXPECT_TRUE(all.matches(file("a.jpg", 5000)));
        EXPECT_TRUE(any.matches(smallPhoto));
        EXPECT_TRUE(any.matches(largeText));
        EXPECT_FALSE(any.matches(smallText));
    }

    TEST(Condition, EqualityAndHashAreStructural)
    {
        std::hash<Condition> hash;
        EXPECT_NE(Condition::ext({ "jpg", "png" }), Condition::ext({ "png", "jpg" }));
        EXPECT_NE(Condition::name("a", true), Condition::name("a", false));
        EXPECT_NE(Condition::name("a", true), Condition::name("A", true));
        EXPECT_NE(Condition::name("a", false), Condition::nameRegex("a"));
        EXPECT_NE(Condition::size(1, std::nullopt), Condition::size(std::nullopt, 1));
        EXPECT_NE(Condition::size(0, std::nullopt), Condition::size(std::nullopt, std::nullopt));
        EXPECT_EQ(Condition::modified(Date { 2 }, std::nullopt),
            Condition::modified(Date { 2 }, std::nullopt));
        EXPECT_EQ(hash(Condition::ext({ "jpg", "png" })), hash(Condition::ext({ "jpg", "png" })));
        EXPECT_EQ(hash(Condition::modified(Date { 2 }, std::nullopt)),
            hash(Condition::modified(Date { 2 }, std::nullopt)));
        EXPECT_NE(hash(Condition::ext({ "jpg", "png" })), hash(Condition::ext({ "png", "jpg" })));

        ConditionGroup group { true, { Condition::kind("image"), Condition::name("x", false) } };
        ConditionGroup reordered { true,
            { Condition::name("x", false), Condition::kind("image") } };
        EXPECT_NE(group, reordered);
        EXPECT_NE(group, (ConditionGroup { false, group.conditions }));
        EXPECT_EQ(std::hash<ConditionGroup> {}(group),
            std::hash<ConditionGroup> {}(ConditionGroup(group)));
    }

    TEST(Condition, WritesTheOneKeyFormOfEachCase)
    {
        struct Case {
            Condition condition;
            const char* json;
        };
        const std::vector<Case> cases = {
            { Condition::ext({ "jpg", "png" }), R"({"ext":{"_0":["jpg","png"]}})" },
            { Condition::name("IMG", true), R"({"name":{"_0":"IMG","caseSensitive":true}})" },
            { Condition::nameRegex("^a$"), R"({"nameRegex":{"_0":"^a$"}})" },
            { Condition::kind("image"), R"({"kind":{"_0":"image"}})" },
            { Condition::size(500, std::nullopt), R"({"size":{"greaterThan":500}})" },
            { Condition::size(std::nullopt, std::nullopt), R"({"size":{}})" },
            { Condition::modified(Date { 1.25 }, Date { -3 }),
                R"({"modified":{"after":1.25,"before":-3.0}})" },
        };
        for (const auto& test : cases) {
            nlohmann::json written = test.condition;
            EXPECT_EQ(written, nlohmann::json::parse(test.json)) << test.json;
            EXPECT_EQ(json::parse(json::serialize(written)).get<Condition>(), test.condition)
                << test.json;
        }
    }

    TEST(Condition, DecodesOrFailsAsAWhole)
    {
        struct Case {
            const char* json;
            std::optional<Condition> expected; // nothing: decoding fails
            const char* error = "";
        };
        const char* keyCount = "Invalid number of keys found, expected one.";
        const std::vector<Case> cases = {
            { R"({"ext":{"_0":["jpg"]}})", Condition::ext({ "jpg" }) },
            { R"({"ext":{"_0":[]},"extra":1})", Condition::ext({}) },
            { R"({"kind":{"_0":"image","_1":"ignored"}})", Condition::kind("image") },
            { R"({"size":{}})", Condition::size(std::nullopt, std::nullopt) },
            { R"({"size":{"greaterThan":null,"lessThan":7}})", Condition::size(std::nullopt, 7) },
            { R"({"modified":{"before":12.5}})", Condition::modified(std::nullopt, Date { 12.5 }) },
            { R"({"modified":{"after":3}})", Condition::modified(Date { 3 }, std::nullopt) },
            { R"({})", std::nullopt, keyCount },
            { R"({"unknown":{}})", std::nullopt, keyCount },
            { R"({"ext":{"_0":["jpg"]},"kind":{"_0":"image"}})", std::nullopt, keyCount },
            { R"({"Ext":{"_0":["jpg"]}})", std::nullopt, keyCount },
            { R"([])", std::nullopt, "Expected an object but found an array" },
            { R"({"name":{"_0":"IMG"}})", std::nullopt, "Missing key \"caseSensitive\"" },
            { R"({"name":{"caseSensitive":true}})", std::nullopt, "Missing key \"_0\"" },
            { R"({"name":{"_0":"IMG","caseSensitive":"yes"}})", std::nullopt,
                "Expected a boolean but found a string" },
            { R"({"ext":{"_0":"jpg"}})", std::nullopt, "Expected an array but found a string" },
            { R"({"ext":{"_0":["jpg",3]}})", std::nullopt,
                "Expected a string but found an integer" },
            { R"({"ext":null})", std::nullopt, "Unexpected null value" },
            { R"({"ext":{"_0":null}})", std::nullopt, "Unexpected null value" },
            { R"({"kind":"image"})", std::nullopt, "Expected an object but found a string" },
            { R"({"size":{"greaterThan":1.5}})", std::nullopt,
                "Expected an integer but found a number" },
            { R"({"size":{"lessThan":"10"}})", std::nullopt,
                "Expected an integer but found a string" },
            { R"({"modified":{"after":"2024-01-01"}})", std::nullopt,
                "Expected a number but found a string" },
        };
        for (const auto& test : cases) {
            auto document = nlohmann::json::parse(test.json);
            if (test.expected) {
                EXPECT_EQ(document.get<Condition>(), *test.expected) << test.json;
                continue;
            }
            try {
                (void)document.get<Condition>();
                ADD_FAILURE() << "decoded " << test.json;
            } catch (const json::DecodeError& error) {
                EXPECT_EQ(error.reason(), test.error) << test.json;
            }
        }
    }

    TEST(ConditionGroup, RoundTripsAndNamesTheFailingCondition)
    {
        ConditionGroup group { false,
            { Condition::ext({ "jpg" }), Condition::name("a/b", false),
                Condition::modified(Date { 1.0 / 3.0 }, std::nullopt) } };
        nlohmann::json written = group;
        EXPECT_EQ(written.size(), 2u);
        EXPECT_EQ(json::parse(json::serialize(written)).get<ConditionGroup>(), group);

        EXPECT_THROW(
            nlohmann::json::parse(R"({"matchAll":true})").get<ConditionGroup>(), json::DecodeError);
        EXPECT_THROW(
            nlohmann::json::parse(R"({"conditions":[]})").get<ConditionGroup>(), json::DecodeError);
        EXPECT_THROW(
            nlohmann::json::parse(R"({"matchAll":1,"conditions":[]})").get<ConditionGroup>(),
            json::DecodeError);
        try {
            (void)nlohmann::json::parse(
                R"({"matchAll":true,"conditions":[{"kind":{"_0":"x"}},{}]})")
                .get<ConditionGroup>();
            ADD_FAILURE() << "decoded a condition without a case";
        } catch (const json::DecodeError& error) {
            EXPECT_EQ(error.path(), "conditions[1]");
            EXPECT_STREQ(
                error.what(), "conditions[1]: Invalid number of keys found, expected one.");
        }
        try {
            (void)nlohmann::json::parse(
                R"({"matchAll":true,"conditions":[{"size":{"lessThan":true}}]})")
                .get<ConditionGroup>();
            ADD_FAILURE() << "decoded a boolean bound";
        } catch (const json::DecodeError& error) {
            EXPECT_EQ(error.path(), "conditions[0].size.lessThan");
        }
    }

} // namespace
} // namespace sorvik
