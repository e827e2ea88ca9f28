#include "engine/pipeline/prepared_rules.h"

#include "engine/pipeline/rename_pipeline.h"

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    // 2024-06-10 06:13:20 UTC and 2023-01-02 03:04:05 UTC.
    const Date modifiedDate = Date::fromUnixSeconds(1718000000.0);
    const Date createdDate = Date::fromUnixSeconds(1672628645.0);
    const Date runDate = Date::fromUnixSeconds(1700000000.0); // 2023-11-14

    FileItem fileNamed(const std::string& name, bool isDirectory = false)
    {
        FileItem item(
            FileURL("/home/ana/" + name, isDirectory), true, createdDate, modifiedDate, 2048, 0);
        item.isDirectory = isDirectory;
        return item;
    }

    struct Case {
        const char* label;
        std::string name;
        RuleKind kind;
        std::string expected;
        std::int64_t index = 0;
        std::int64_t folderIndex = 0;
        MetadataDictionary metadata = {};
        bool isDirectory = false;
    };

    std::string applied(const std::vector<Rule>& rules, const std::string& name,
        std::int64_t index = 0, std::int64_t folderIndex = 0, MetadataDictionary metadata = {},
        bool isDirectory = false)
    {
        RenameContext context(fileNamed(name, isDirectory), index, runDate, std::move(metadata));
        context.folderIndex = folderIndex;
        return RenamePipeline::applyRules(rules, context);
    }

    void runCases(const std::vector<Case>& cases)
    {
        for (const Case& entry : cases) {
            std::vector<Rule> rules { Rule(entry.kind) };
            EXPECT_EQ(applied(rules, entry.name, entry.index, entry.folderIndex, entry.metadata,
                          entry.isDirectory),
                entry.expected)
                << entry.label;
        }
    }

    ReplaceConfig replace(std::string find, std::string replacement, bool regex = false,
        bool caseSensitive = false, ReplaceScope scope = ReplaceScope::name,
        Occurrence occurrence = Occurrence::all)
    {
        return { std::move(find), std::move(replacement), regex, caseSensitive, scope, occurrence };
    }

    TEST(ApplyRules, Replace)
    {
        runCases({
            { "literal, ignoring case", "IMG_0001.JPG", replace("img_", "Photo "),
                "Photo 0001.JPG" },
            { "literal, case-sensitive", "IMG_0001.JPG", replace("img_", "Photo ", false, true),
                "IMG_0001.JPG" },
            { "dots are literal", "a.b.c.txt", replace(".", "_"), "a_b_c.txt" },
            { "groups", "IMG_0001.JPG", replace("(\\w+)_(\\d+)", "$2-$1", true), "0001-IMG.JPG" },
            { "template without regex", "banana.txt", replace("an", "<$0>"), "b<an><an>a.txt" },
            { "escaped dollar", "a1.txt", replace("1", "\\$1"), "a$1.txt" },
            { "first only", "a-b-c.txt",
                replace("-", "_", false, false, ReplaceScope::name, Occurrence::first),
                "a_b-c.txt" },
            { "last only", "a-b-c.txt",
                replace("-", "_", false, false, ReplaceScope::name, Occurrence::last),
                "a-b_c.txt" },
            { "extension only", "jpeg.JPEG",
                replace("jpeg", "jpg", false, false, ReplaceScope::ext), "jpeg.jpg" },
            { "both", "jpeg.JPEG", replace("jpeg", "jpg", false, false, ReplaceScope::both),
                "jpg.jpg" },
            { "pattern that does not compile", "abc.txt", replace("(", "x", true), "abc.txt" },
            { "empty find", "abc.txt", replace("", "x"), "abc.txt" },
            { "accented letter", "CAFÉ.txt", replace("é", "e"), "CAFe.txt" },
            { "no extension", "notes", replace("o", "0"), "n0tes" },
            { "folder keeps its dot", "Trip.2024", replace(".", " "), "Trip 2024", 0, 0, {}, true },
        });
    }

    TEST(ApplyRules, Remove)
    {
        runCases({
            { "first and last", "abcdef.txt", RemoveConfig { 2, 1, 0, 0, "", "" }, "cde.txt" },
            { "range", "abcdef.txt", RemoveConfig { 0, 0, 1, 3, "", "" }, "adef.txt" },
            { "reversed range", "abcdef.txt", RemoveConfig { 0, 0, 3, 1, "", "" }, "abcdef.txt" },
            { "range past the end", "abc.txt", RemoveConfig { 0, 0, -5, 99, "", "" }, ".txt" },
            { "before", "abxcd.txt", RemoveConfig { 0, 0, 0, 0, "x", "" }, "xcd.txt" },
            { "after", "abxcd.txt", RemoveConfig { 0, 0, 0, 0, "", "x" }, "abx.txt" },
            { "absent marker", "abcd.txt", RemoveConfig { 0, 0, 0, 0, "x", "y" }, "abcd.txt" },
            { "too many", "abcd.txt", RemoveConfig { 10, 0, 0, 0, "", "" }, ".txt" },
            { "negative counts", "abcd.txt", RemoveConfig { -3, -1, 0, 0, "", "" }, "abcd.txt" },
            { "combining mark counts with its letter", "e\u0301abc.txt",
                RemoveConfig { 1, 0, 0, 0, "", "" }, "abc.txt" },
            { "emoji with modifier is one character", "ab\U0001F44D\U0001F3FD.txt",
                RemoveConfig { 0, 1, 0, 0, "", "" }, "ab.txt" },
            { "marker inside a character is no match", "ce\u0301x.txt",
                RemoveConfig { 0, 0, 0, 0, "", "e" }, "ce\u0301x.txt" },
        });
    }

    TEST(ApplyRules, CleanUp)
    {
        runCases({
            { "emoji", "party\U0001F389.png",
                CleanConfig { false, false, false, false, true, true }, "party.png" },
            { "keycap", "1\uFE0F\u20E3 go.txt",
                CleanConfig { false, false, false, false, true, true }, "go.txt" },
            { "text-style symbol stays", "a\u00A9b.txt",
                CleanConfig { false, false, false, false, true, false }, "a\u00A9b.txt" },
            { "accents", "Café Ünïcode.txt",
                CleanConfig { false, true, false, false, false, false }, "Cafe Unicode.txt" },
            { "digits", "2024 Trip 01.txt", CleanConfig { false, false, true, false, false, false },
                "Trip.txt" },
            { "brackets", "Report (final) [old].pdf",
                CleanConfig { false, false, false, true, false, false }, "Report.pdf" },
            { "weird", "a&b#c.txt", CleanConfig { true, false, false, false, false, false },
                "abc.txt" },
            { "tidy", "a__b--c..d.txt", CleanConfig {}, "a_b-c.d.txt" },
            { "extension untouched", "2024 (x).J P G",
                CleanConfig { true, true, true, true, true, true }, ".J P G" },
            { "hidden file is tidied", ".profile", CleanConfig {}, "profile" },
        });
    }

    TEST(ApplyRules, ChangeCase)
    {
        runCases({
            { "lower", "HELLO World.TXT", CaseConfig { CaseStyle::lower, false },
                "hello world.TXT" },
            { "upper keeps marks", "e\u0301cole.txt", CaseConfig { CaseStyle::upper, false },
                "E\u0301COLE.txt" },
            { "sentence", "HELLO wORLD.txt", CaseConfig { CaseStyle::sentence, false },
                "Hello world.txt" },
            { "title", "ça va.txt", CaseConfig { CaseStyle::title, false }, "Ça Va.txt" },
            { "snake", "my file (1).txt", CaseConfig { CaseStyle::snake, false }, "my_file_1.txt" },
            { "pascal", "hello world-file.txt", CaseConfig { CaseStyle::upper, true },
                "HelloWorldFile.txt" },
            { "pascal without words", "--- ___.txt", CaseConfig { CaseStyle::keep, true }, ".txt" },
            { "folder", "My Trip.2024", CaseConfig { CaseStyle::upper, false }, "MY TRIP.2024", 0,
                0, {}, true },
        });
    }

    TEST(ApplyRules, Spaces)
    {
        runCases({
            { "underscore", "my file name.txt", SpaceConfig { SpaceMode::underscore },
                "my_file_name.txt" },
            { "dash", "my file.txt", SpaceConfig { SpaceMode::dash }, "my-file.txt" },
            { "dot", "my file.txt", SpaceConfig { SpaceMode::dot }, "my.file.txt" },
            { "remove", "my file.txt", SpaceConfig { SpaceMode::remove }, "myfile.txt" },
            { "tabs stay", "my\tfile.txt", SpaceConfig { SpaceMode::dash }, "my\tfile.txt" },
            { "extension untouched", "a b.t x t", SpaceConfig { SpaceMode::remove }, "ab.t x t" },
        });
    }

    TEST(ApplyRules, Insert)
    {
        runCases({
            { "prefix with counter", "a.txt",
                InsertConfig { "{#:3}_", InsertPosition::prefix, 0, "" }, "003_a.txt", 2 },
            { "suffix with extension token", "a.txt",
                InsertConfig { "-{ext}", InsertPosition::suffix, 0, "" }, "a-txt.txt" },
            { "index beyond the end", "abc.txt",
                InsertConfig { "!", InsertPosition::index, 99, "" }, "abc!.txt" },
            { "negative index", "abc.txt", InsertConfig { "!", InsertPosition::index, -4, "" },
                "!abc.txt" },
            { "index counts characters", "e\u0301x.txt",
                InsertConfig { "!", InsertPosition::index, 1, "" }, "e\u0301!x.txt" },
            { "after marker", "IMG0001.jpg",
                InsertConfig { "_", InsertPosition::afterText, 0, "IMG" }, "IMG_0001.jpg" },
            { "absent marker", "IMG0001.jpg",
                InsertConfig { "_", InsertPosition::afterText, 0, "DSC" }, "IMG0001.jpg" },
            { "empty marker", "IMG0001.jpg", InsertConfig { "_", InsertPosition::afterText, 0, "" },
                "IMG0001.jpg" },
            { "unknown token kept", "a.txt",
                InsertConfig { "{foo}", InsertPosition::suffix, 0, "" }, "a{foo}.txt" },
        });
    }

    NumberingConfig numbering(NumberStyle style, std::int64_t start = 1, std::int64_t step = 1,
        std::int64_t padding = 3, NumberPlacement placement = NumberPlacement::suffix,
        std::string baseText = "", bool perFolder = false)
    {
        return { placement, start, step, padding, "_", std::move(baseText), perFolder, style };
    }

    TEST(ApplyRules, Numbering)
    {
        constexpr auto largest = std::numeric_limits<std::int64_t>::max();
        constexpr auto smallest = std::numeric_limits<std::int64_t>::min();
        runCases({
            { "decimal", "report.PDF", numbering(NumberStyle::decimal), "report_005.PDF", 4 },
            { "alpha", "report.PDF", numbering(NumberStyle::alpha), "report_E.PDF", 4 },
            { "roman", "report.PDF", numbering(NumberStyle::roman), "report_V.PDF", 4 },
            { "no padding", "report.PDF", numbering(NumberStyle::decimal, 1, 1, 0), "report_5.PDF",
                4 },
            { "alpha below one", "a.txt", numbering(NumberStyle::alpha, 0), "a_A.txt" },
            { "alpha 27", "a.txt", numbering(NumberStyle::alpha, 27), "a_AA.txt" },
            { "alpha 52", "a.txt", numbering(NumberStyle::alpha, 52), "a_AZ.txt" },
            { "alpha 53", "a.txt", numbering(NumberStyle::alpha, 53), "a_BA.txt" },
            { "alpha 702", "a.txt", numbering(NumberStyle::alpha, 702), "a_ZZ.txt" },
            { "alpha 703", "a.txt", numbering(NumberStyle::alpha, 703), "a_AAA.txt" },
            { "roman 3999", "a.txt", numbering(NumberStyle::roman, 3999), "a_MMMCMXCIX.txt" },
            { "roman 4000", "a.txt", numbering(NumberStyle::roman, 4000), "a_4000.txt" },
            { "roman 0", "a.txt", numbering(NumberStyle::roman, 0, 1, 5), "a_0.txt" },
            { "negative", "a.txt", numbering(NumberStyle::decimal, -7), "a_-007.txt" },
            { "prefix", "a.txt", numbering(NumberStyle::decimal, 1, 1, 2, NumberPlacement::prefix),
                "01_a.txt" },
            { "replace without text", "a.txt",
                numbering(NumberStyle::decimal, 1, 1, 3, NumberPlacement::replace), "001.txt" },
            { "replace with text", "a.txt",
                numbering(NumberStyle::decimal, 1, 1, 3, NumberPlacement::replace, "Img"),
                "Img_001.txt" },
            { "per folder", "a.txt",
                numbering(NumberStyle::decimal, 1, 1, 1, NumberPlacement::suffix, "", true),
                "a_3.txt", 9, 2 },
            { "step", "a.txt", numbering(NumberStyle::decimal, 10, 5), "a_025.txt", 3 },
            { "padding capped", "a.txt", numbering(NumberStyle::decimal, 1, 1, largest),
                "a_" + std::string(254, '0') + "1.txt" },
            { "smallest number", "a.txt", numbering(NumberStyle::decimal, smallest, 1, 0),
                "a_-9223372036854775808.txt" },
            { "sum overflows", "a.txt", numbering(NumberStyle::decimal, largest), "a.txt", 1 },
            { "product overflows", "a.txt", numbering(NumberStyle::roman, 1, largest), "a.txt", 2 },
            { "alpha of the largest number", "a.txt", numbering(NumberStyle::alpha, largest),
                "a_CRPXNLSKVLJFHG.txt" },
        });
    }

    TEST(ApplyRules, Date)
    {
        runCases({
            { "modified, default format", "a.txt",
                DateConfig { DateSource::modified, "", Placement::prefix, "_" },
                "2024-06-10_a.txt" },
            { "created, suffix", "a.txt",
                DateConfig { DateSource::created, "yyyyMMdd", Placement::suffix, "-" },
                "a-20230102.txt" },
            { "today is the run's moment", "a.txt",
                DateConfig { DateSource::today, "yyyy", Placement::prefix, " " }, "2023 a.txt" },
            { "none", "a.txt", DateConfig { DateSource::none, "yyyy", Placement::prefix, "_" },
                "a.txt" },
            { "colons become dashes", "a.txt",
                DateConfig { DateSource::modified, "HH:mm", Placement::suffix, "_" },
                "a_06-13.txt" },
            { "a bar starts the fallback", "a.txt",
                DateConfig { DateSource::modified, "yyyy|x", Placement::prefix, "_" },
                "2024_a.txt" },
            { "a brace ends the token", "a.txt",
                DateConfig { DateSource::modified, "yyyy}MM", Placement::prefix, "_" },
                "2024MM}_a.txt" },
        });
    }

    TEST(ApplyRules, PatternLimitAndExtension)
    {
        runCases({
            { "pattern", "IMG 1.jpg", PatternConfig { "{name}_{#:4}" }, "IMG 1_0001.jpg" },
            { "empty pattern", "a.jpg", PatternConfig { "" }, ".jpg" },
            { "limit", "abcdef.txt", LimitConfig { 3, false }, "abc.txt" },
            { "limit from the end", "abcdef.txt", LimitConfig { 3, true }, "def.txt" },
            { "limit counts characters", "e\u0301e\u0301e\u0301.txt", LimitConfig { 2, false },
                "e\u0301e\u0301.txt" },
            { "negative limit", "abc.txt", LimitConfig { -1, false }, ".txt" },
            { "lower", "a.JPG", ExtConfig { ExtMode::lower, "" }, "a.jpg" },
            { "upper", "a.jpg", ExtConfig { ExtMode::upper, "" }, "a.JPG" },
            { "keep", "a.JpG", ExtConfig { ExtMode::keep, "" }, "a.JpG" },
            { "change trims dots and spaces", "a.png", ExtConfig { ExtMode::change, " .JPG. " },
                "a.JPG" },
            { "change to dots only", "a.png", ExtConfig { ExtMode::change, "..." }, "a" },
            { "remove", "a.png", ExtConfig { ExtMode::remove, "" }, "a" },
            { "folder gets a changed one", "Trip.2024", ExtConfig { ExtMode::change, "x" },
                "Trip.2024.x", 0, 0, {}, true },
            { "hidden file", ".profile", ExtConfig { ExtMode::change, "txt" }, ".profile.txt" },
            { "organize leaves the name", "a.txt", OrganizeConfig { "x/{name}" }, "a.txt" },
        });
    }

    TEST(ApplyRules, List)
    {
        runCases({
            { "by order", "a.txt", ListConfig { "one\ntwo\nthree", false }, "two.txt", 1 },
            { "by order, past the end", "a.txt", ListConfig { "one\ntwo\nthree", false }, "a.txt",
                3 },
            { "by order, last field", "a.txt", ListConfig { "old,new", false }, "new.txt" },
            { "by name, full name", "IMG_1.jpg", ListConfig { "img_1.JPG,Beach", true },
                "Beach.jpg" },
            { "by name, without extension", "IMG_1.jpg", ListConfig { "x,y\nimg_1,Beach", true },
                "Beach.jpg" },
            { "extension not doubled", "IMG_1.jpg", ListConfig { "img_1,Beach.JPG", true },
                "Beach.jpg" },
            { "first matching row wins", "IMG_1.jpg",
                ListConfig { "img_1,First\nIMG_1.jpg,Second", true }, "First.jpg" },
            { "one-field rows never match by name", "IMG_1.jpg", ListConfig { "IMG_1", true },
                "IMG_1.jpg" },
            { "canonically equal names match", "Caf\u00E9.txt",
                ListConfig { "Cafe\u0301,Menu", true }, "Menu.txt" },
            { "no match", "other.jpg", ListConfig { "img_1,Beach", true }, "other.jpg" },
            { "invalid CSV", "a.txt", ListConfig { "\"open", false }, "a.txt" },
            { "the working name is not looked at", "IMG_1.jpg", ListConfig { "img_1,Beach", true },
                "Beach.jpg" },
        });
    }

    TEST(ApplyRules, AIRename)
    {
        Rule ai(AIConfig { AIMode::documents, 6, false });
        std::string own = "ai." + ai.id.text() + ".";
        EXPECT_EQ(applied({ ai }, "scan.pdf", 0, 0,
                      { { "ai.title", "Invoice March" }, { "ai.type", "Invoice" },
                          { "ai.party", "" }, { "ai.date", "2024-03-01" } }),
            "Invoice_Invoice March.pdf");
        EXPECT_EQ(applied({ ai }, "scan.pdf", 0, 0, { { "ai.type", "Invoice" } }), "scan.pdf");

        Rule smart(AIConfig { AIMode::smart, 6, true });
        std::string smartOwn = "ai." + smart.id.text() + ".";
        MetadataDictionary metadata { { "ai.title", "Shared" }, { smartOwn + "title", "Own" },
            { "ai.date", "2024-03-01" }, { "ai.type", "Photo" } };
        EXPECT_EQ(applied({ smart }, "IMG.jpg", 0, 0, metadata), "2024-03-01_Own.jpg");
        // Another rule's own keys are not this rule's.
        EXPECT_EQ(applied({ ai }, "scan.pdf", 0, 0, { { smartOwn + "title", "Own" } }), "scan.pdf");
        Rule photos(AIConfig { AIMode::photos, 6, false });
        EXPECT_EQ(applied({ photos }, "IMG.jpg", 0, 0, metadata), "Shared.jpg");
    }

    TEST(ApplyRules, RulesSeeEachOther)
    {
        std::vector<Rule> rules { Rule(replace("_", " ")), Rule(CaseConfig {}),
            Rule(SpaceConfig { SpaceMode::dash }), Rule(ExtConfig {}) };
        EXPECT_EQ(applied(rules, "My_Holiday_Photo.JPG"), "my-holiday-photo.jpg");
    }

    TEST(ApplyRules, DisabledAndConditionalRules)
    {
        Rule upper(CaseConfig { CaseStyle::upper, false });
        Rule disabled = upper;
        disabled.isEnabled = false;
        EXPECT_EQ(applied({ disabled }, "a.txt"), "a.txt");

        Rule noneOfNothing = upper;
        noneOfNothing.condition = ConditionGroup { false, {} };
        EXPECT_EQ(applied({ noneOfNothing }, "a.txt"), "a.txt");
        Rule allOfNothing = upper;
        allOfNothing.condition = ConditionGroup { true, {} };
        EXPECT_EQ(applied({ allOfNothing }, "a.txt"), "A.txt");

        Rule onlyImages = upper;
        onlyImages.condition = ConditionGroup { true, { Condition::ext({ "jpg" }) } };
        EXPECT_EQ(applied({ onlyImages }, "a.txt"), "a.txt");
        EXPECT_EQ(applied({ onlyImages }, "a.jpg"), "A.jpg");
    }

    TEST(ApplyRules, WorkingNameThroughTheTransform)
    {
        // The transform takes the working name as a last path component: text up to a "/"
        // in it drops out.
        std::vector<Rule> slashThenClean { Rule(replace("_", "/")), Rule(CleanConfig {}) };
        EXPECT_EQ(applied(slashThenClean, "x_y.txt"), "y.txt");
        // An empty working name stays empty through every rule that uses the transform.
        for (const RuleKind& kind :
            { RuleKind(CleanConfig {}), RuleKind(CaseConfig { CaseStyle::camel, false }),
                RuleKind(SpaceConfig { SpaceMode::underscore }) }) {
            std::vector<Rule> rules { Rule(RemoveConfig { 99, 0, 0, 0, "", "" }), Rule(kind) };
            EXPECT_EQ(applied(rules, "abc.txt"), ".txt") << kind.typeName();
            std::vector<Rule> trailingSlash {
                Rule(InsertConfig { "/", InsertPosition::suffix, 0, "" }), Rule(kind)
            };
            EXPECT_EQ(applied(trailingSlash, "abc.txt"), ".txt") << kind.typeName();
        }
        // A working name ending in a character that joins the one after it (U+0600 is a
        // prepended mark) keeps it whole.
        std::vector<Rule> prepended { Rule(
                                          InsertConfig { "\u0600", InsertPosition::suffix, 0, "" }),
            Rule(CaseConfig { CaseStyle::upper, false }) };
        EXPECT_EQ(applied(prepended, "a.txt"), "A\u0600.txt");
    }

    TEST(ApplyRules, NamesThatAreNotTextAreLeftAlone)
    {
        std::vector<Rule> rules { Rule(CaseConfig { CaseStyle::upper, false }),
            Rule(PatternConfig { "x" }), Rule(ExtConfig { ExtMode::upper, "" }) };
        EXPECT_EQ(applied(rules, "caf\xE9.txt"), "caf\xE9.txt");
    }

    TEST(PreparedRules, ListLookupAndAIKeys)
    {
        Rule list(ListConfig { "a,A\n\"b\",B\nc\nA.TXT,second", true });
        Rule ai(AIConfig {});
        PreparedRules prepared({ list, ai, Rule(ListConfig { "\"open", true }) });
        EXPECT_EQ(prepared.listRowMatching(0, fileNamed("a.txt")), 0u);
        EXPECT_EQ(prepared.listRowMatching(0, fileNamed("B")), 1u);
        EXPECT_EQ(prepared.listRowMatching(0, fileNamed("c.txt")), std::nullopt);
        EXPECT_EQ(prepared.listRowMatching(0, fileNamed("a", true)), 0u);
        EXPECT_EQ(prepared.listRowMatching(2, fileNamed("a.txt")), std::nullopt);
        EXPECT_FALSE(prepared.preparation(2).listRows);
        EXPECT_EQ(prepared.preparation(1).aiKeys[3], "ai." + ai.id.text() + ".party");
        EXPECT_TRUE(prepared.hasEnabledAIRule());
    }

} // namespace
} // namespace sorvik
