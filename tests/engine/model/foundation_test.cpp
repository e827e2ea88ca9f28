#include "engine/model/date.h"
#include "engine/model/file_url.h"
#include "engine/model/json.h"
#include "engine/model/uuid.h"

#include <cmath>
#include <limits>
#include <unordered_set>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    TEST(Uuid, RandomValuesAreVersionFourAndDistinct)
    {
        std::unordered_set<Uuid> seen;
        for (int index = 0; index < 1000; ++index) {
            Uuid uuid = Uuid::random();
            EXPECT_EQ(uuid.bytes[6] >> 4, 4);
            EXPECT_EQ(uuid.bytes[8] & 0xC0, 0x80);
            EXPECT_TRUE(seen.insert(uuid).second);
        }
    }

    TEST(Uuid, TextIsUpperCaseAndParsesEitherCase)
    {
        auto parsed = Uuid::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->text(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
        EXPECT_EQ(Uuid::parse(parsed->text()), parsed);
    }

    TEST(Uuid, RejectsMalformedText)
    {
        for (const char* text :
            { "", "E621E1F8C36C495A93FC0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5",
                "E621E1F8-C36C-495A-93FC-0C247A3E6E5FF", "G621E1F8-C36C-495A-93FC-0C247A3E6E5F",
                "E621E1F8-C36C-495A-93FC_0C247A3E6E5F", "E621E1F-8C36C-495A-93FC-0C247A3E6E5F" }) {
            EXPECT_FALSE(Uuid::parse(text)) << text;
        }
    }

    TEST(Date, FileTimesConvertExactlyAndRoundTripThroughJson)
    {
        struct Case {
            std::time_t seconds;
            long nanoseconds;
        };
        for (Case time : { Case { 0, 0 }, Case { 978307200, 0 }, Case { 1700000000, 123456789 },
                 Case { 1700000000, 999999999 }, Case { -86400, 500 } }) {
            Date date = Date::fromTimespec(time.seconds, time.nanoseconds);
            Date read = json::parse(json::serialize(nlohmann::json(date))).get<Date>();
            EXPECT_EQ(std::memcmp(&read.seconds, &date.seconds, sizeof(double)), 0);
        }
        EXPECT_EQ(Date::fromTimespec(978307200, 0).seconds, 0.0);
        EXPECT_EQ(Date::fromUnixSeconds(978307201.5).seconds, 1.5);
    }

    TEST(Date, DecodingIsStrict)
    {
        EXPECT_THROW(nlohmann::json("12").get<Date>(), json::DecodeError);
        EXPECT_THROW(nlohmann::json(true).get<Date>(), json::DecodeError);
        EXPECT_EQ(nlohmann::json(12).get<Date>().seconds, 12.0);
    }

    TEST(FileURL, TextPercentEncodesEverythingButTheKeptCharacters)
    {
        struct Case {
            FileURL url;
            const char* text;
        };
        const Case cases[] = {
            { FileURL("/tmp/a b.txt"), "file:///tmp/a%20b.txt" },
            { FileURL("/tmp/caf\xC3\xA9"), "file:///tmp/caf%C3%A9" },
            { FileURL("/tmp/x", true), "file:///tmp/x/" },
            { FileURL("/tmp/x/", true), "file:///tmp/x/" },
            { FileURL("/", true), "file:///" },
            { FileURL("/a/!$&'()*+,;=:@-._~"), "file:///a/!$&'()*+,;=:@-._~" },
            { FileURL("/a/%#?[]\"<>\\^`{|}"),
                "file:///a/%25%23%3F%5B%5D%22%3C%3E%5C%5E%60%7B%7C%7D" },
            { FileURL("/bytes/\xFF\x01"), "file:///bytes/%FF%01" },
        };
        for (const auto& entry : cases) {
            EXPECT_EQ(entry.url.text(), entry.text);
            auto parsed = FileURL::parse(entry.text);
            ASSERT_TRUE(parsed) << entry.text;
            EXPECT_EQ(*parsed, entry.url) << entry.text;
        }
    }

    TEST(FileURL, ParsingAcceptsAnyValidEscapeAndRefusesTheRest)
    {
        EXPECT_EQ(FileURL::parse("file:///a/%c3%a9")->path, "/a/\xC3\xA9");
        EXPECT_EQ(FileURL::parse("file://localhost/a")->path, "/a");
        EXPECT_EQ(FileURL::parse("FILE:///a")->path, "/a");
        for (const char* text : { "", "file://", "file:relative", "http:///a", "file:///a%2",
                 "file:///a%zz", "/a", "file://host/a" }) {
            EXPECT_FALSE(FileURL::parse(text)) << text;
        }
    }

    TEST(FileURL, ANulByteIsRefusedWithItsReason)
    {
        using namespace std::string_literals;
        for (std::string text : { "file:///a/b%00.jpg"s, "file:///a/%00"s, "file:///a/b\0.jpg"s }) {
            std::string failure;
            EXPECT_FALSE(FileURL::parse(text, &failure)) << text;
            EXPECT_EQ(failure, FileURL::nulByteText) << text;
        }
        std::string failure;
        EXPECT_FALSE(FileURL::parse("http:///a", &failure));
        EXPECT_EQ(failure, "") << "no more to say than not a local file URL";
        // A stored URL with a NUL fails its document, saying why.
        try {
            nlohmann::json("file:///a%00b").get<FileURL>();
            ADD_FAILURE() << "decoded";
        } catch (const json::DecodeError& error) {
            EXPECT_EQ(error.reason(), FileURL::nulByteText);
        }
    }

    TEST(FileURL, PathOperations)
    {
        FileURL file("/photos/2024/img.jpg");
        EXPECT_EQ(file.lastPathComponent(), "img.jpg");
        EXPECT_EQ(file.deletingLastPathComponent(), FileURL("/photos/2024", true));
        EXPECT_EQ(FileURL("/a").deletingLastPathComponent(), FileURL("/", true));
        EXPECT_EQ(FileURL("/", true).appending("a"), FileURL("/a"));
        EXPECT_EQ(FileURL("/a/./b//c/../d").standardized(), FileURL("/a/b/d"));
        EXPECT_EQ(FileURL("/..").standardized(), FileURL("/", false));
    }

    TEST(FileURL, StandardizedPathsAreRecognised)
    {
        const std::pair<const char*, bool> cases[] = { { "/", true }, { "/a/b.txt", true },
            { "/a/.b/..c", true }, { "", false }, { "a/b", false }, { "/a//b", false },
            { "/a/./b", false }, { "/a/..", false }, { "/.", false }, { "/a/b/.", false } };
        for (const auto& [path, isStandard] : cases) {
            FileURL url;
            url.path = path;
            EXPECT_EQ(url.isStandardized(), isStandard) << path;
            EXPECT_TRUE(url.standardized().isStandardized()) << path;
            if (isStandard) {
                EXPECT_EQ(url.standardized(), url) << path;
            }
        }
    }

    TEST(FileURL, JsonHoldsTheTextAndSlashesAreEscapedWhenStored)
    {
        nlohmann::json value = FileURL("/a b/c");
        EXPECT_EQ(value, "file:///a%20b/c");
        EXPECT_EQ(json::serialize(value), "\"file:\\/\\/\\/a%20b\\/c\"");
        EXPECT_EQ(json::parse(json::serialize(value)).get<FileURL>(), FileURL("/a b/c"));
        EXPECT_THROW(nlohmann::json("/a").get<FileURL>(), json::DecodeError);
    }

    TEST(Json, StrictAccessors)
    {
        auto object = json::parse(
            R"({"s": "x", "i": 5, "f": 5.0, "b": true, "n": null, "big": 18446744073709551615,
            "neg": -9223372036854775808, "list": [1, "two"]})");
        EXPECT_EQ(json::field<std::string>(object, "s"), "x");
        EXPECT_EQ(json::field<std::int64_t>(object, "i"), 5);
        EXPECT_EQ(
            json::field<std::int64_t>(object, "neg"), std::numeric_limits<std::int64_t>::min());
        EXPECT_EQ(json::field<double>(object, "i"), 5.0);
        EXPECT_TRUE(json::field<bool>(object, "b"));

        struct Failure {
            const char* key;
            const char* what;
        };
        auto expectFailure = [&](auto read, const char* expected) {
            try {
                read();
                ADD_FAILURE() << "no failure, expected " << expected;
            } catch (const json::DecodeError& error) {
                EXPECT_STREQ(error.what(), expected);
            }
        };
        expectFailure([&] { json::field<std::int64_t>(object, "f"); },
            "f: Expected an integer but found a number");
        expectFailure([&] { json::field<std::int64_t>(object, "b"); },
            "b: Expected an integer but found a boolean");
        expectFailure([&] { json::field<std::int64_t>(object, "big"); },
            "big: Number 18446744073709551615 does not fit in a 64-bit integer");
        EXPECT_EQ(json::field<std::uint64_t>(object, "big"), 18446744073709551615ULL);
        EXPECT_EQ(json::field<std::uint64_t>(object, "i"), 5U);
        expectFailure([&] { json::field<std::uint64_t>(object, "neg"); },
            "neg: Number -9223372036854775808 does not fit in an unsigned 64-bit integer");
        expectFailure([&] { json::field<std::uint64_t>(object, "f"); },
            "f: Expected an integer but found a number");
        expectFailure([&] { json::field<std::string>(object, "n"); }, "n: Unexpected null value");
        expectFailure(
            [&] { json::field<std::string>(object, "missing"); }, "Missing key \"missing\"");
        expectFailure(
            [&] { json::field<bool>(object, "s"); }, "s: Expected a boolean but found a string");
        expectFailure([&] { json::field<std::vector<std::int64_t>>(object, "list"); },
            "list[1]: Expected an integer but found a string");
        expectFailure([&] { json::field<std::string>(nlohmann::json::array(), "s"); },
            "Expected an object but found an array");

        EXPECT_FALSE(json::optionalField<std::string>(object, "n"));
        EXPECT_FALSE(json::optionalField<std::string>(object, "missing"));
        EXPECT_THROW(json::optionalField<std::string>(object, "i"), json::DecodeError);
        EXPECT_THROW(json::parse("{"), json::DecodeError);
    }

    TEST(Json, SerializeSortsKeysIndentsAndEscapesSlashes)
    {
        nlohmann::json value = { { "b", { 1, 2 } }, { "a", "x/y" },
            { "c", nlohmann::json::object() }, { "d", "\xC3\xA9" } };
        EXPECT_EQ(json::serialize(value),
            "{\n  \"a\" : \"x\\/y\",\n  \"b\" : [\n    1,\n    2\n  ],\n  \"c\" : {\n\n  },\n  "
            "\"d\" : \"\xC3\xA9\"\n}");
        EXPECT_THROW(json::serialize(nlohmann::json("\xFF")), Error);
    }

    TEST(Json, SerializeEscapesTextLikeNlohmannWithSlashes)
    {
        for (std::string text : { "plain", "x/y", "a\"b", "back\\slash", "tab\there", "\x01\x1F",
                 "\x7F", "caf\xC3\xA9", "", "\xF0\x9F\x93\xB7 photo" }) {
            std::string expected;
            for (char character : nlohmann::json(text).dump())
                expected += character == '/' ? std::string("\\/") : std::string(1, character);
            EXPECT_EQ(json::serialize(nlohmann::json(text)), expected) << text;
            nlohmann::json object = { { text, text } };
            EXPECT_EQ(json::serialize(object), "{\n  " + expected + " : " + expected + "\n}");
        }
        EXPECT_THROW(json::serialize(nlohmann::json { { "\xFF", 1 } }), Error);
    }

    TEST(Json, DoublesRoundTripExactly)
    {
        for (double number :
            { 0.1, 1.0 / 3.0, 1e-300, 7.38e8 + 0.123456789, -0.0, 123456789012345.678 }) {
            double read = json::parse(json::serialize(nlohmann::json(number))).get<double>();
            EXPECT_EQ(std::memcmp(&read, &number, sizeof(double)), 0) << number;
        }
    }

    TEST(Json, NumbersWithoutAJsonFormAreRefused)
    {
        for (double number :
            { std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                -std::numeric_limits<double>::infinity() }) {
            EXPECT_THROW(json::serialize(nlohmann::json { { "date", number } }), Error) << number;
        }
    }

} // namespace
} // namespace sorvik
