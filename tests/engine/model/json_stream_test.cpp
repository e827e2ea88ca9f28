#include "engine/model/json_stream.h"

#include "engine/model/json.h"

#include <cmath>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using Token = json::StreamReader::Token;
    using namespace std::string_literals;

    /// A reader that gets its text one byte at a time, so that every token crosses a refill.
    json::StreamReader dribbling(const std::string& text)
    {
        auto position = std::make_shared<std::size_t>(0);
        return json::StreamReader(
            [text, position](char* buffer, std::size_t) -> std::size_t {
                if (*position == text.size())
                    return 0;
                buffer[0] = text[(*position)++];
                return 1;
            },
            16);
    }

    /// The value that the tokens from `first` on make, built as nlohmann would hold it.
    nlohmann::json build(json::StreamReader& reader, Token first)
    {
        switch (first) {
        case Token::beginObject: {
            auto object = nlohmann::json::object();
            while (reader.next() == Token::key) {
                std::string key(reader.text());
                object[key] = build(reader, reader.next());
            }
            return object;
        }
        case Token::beginArray: {
            auto array = nlohmann::json::array();
            for (auto token = reader.next(); token != Token::endArray; token = reader.next())
                array.push_back(build(reader, token));
            return array;
        }
        case Token::string:
            return std::string(reader.text());
        case Token::boolean:
            return reader.boolean();
        case Token::null:
            return nullptr;
        case Token::number:
            if (auto value = reader.int64(); value && *value < 0)
                return *value;
            if (auto value = reader.uint64())
                return *value;
            return reader.number();
        default:
            ADD_FAILURE() << "unexpected token";
            return nullptr;
        }
    }

    std::optional<nlohmann::json> readWhole(json::StreamReader reader)
    {
        try {
            auto value = build(reader, reader.next());
            if (reader.next() != Token::end)
                ADD_FAILURE() << "no end";
            return value;
        } catch (const json::DecodeError&) {
            return std::nullopt;
        }
    }

    std::optional<nlohmann::json> parsedByNlohmann(const std::string& text)
    {
        try {
            return json::parse(text);
        } catch (const json::DecodeError&) {
            return std::nullopt;
        }
    }

    TEST(JsonStreamReader, AcceptsExactlyWhatTheDocumentParserAccepts)
    {
        const std::string documents[] = {
            "[]",
            " { } ",
            "{\"a\":[1,-2,3.5,-0,0.25e-3,1E+2,18446744073709551615,-9223372036854775808],"
            "\"b\":{\"c\":null,\"d\":true,\"e\":false}}",
            "\"\\\"\\\\\\/\\b\\f\\n\\r\\t\\u00e9\\u20AC\\ud83d\\ude00 caf\xC3\xA9 "
            "\xF0\x9F\x93\xB7\"",
            "\xEF\xBB\xBF[1]",
            "[\"\\u0000\"]",
            "{\"a\":1,\"a\":2}",
            "123456789012345678901234567890",
            "1.7976931348623157e308",
            "[[[[[[[[[[[]]]]]]]]]]]",
            // Refused by both:
            "",
            "   ",
            "[",
            "[1,]",
            "{\"a\":1,}",
            "{\"a\" 1}",
            "{1:2}",
            "[1 2]",
            "[01]",
            "[1.]",
            "[.5]",
            "[-]",
            "[1e]",
            "[+1]",
            "[tru]",
            "[nul]",
            "[True]",
            "[] []",
            "[] x",
            "\"unterminated",
            "\"tab\tinside\"",
            "\"bad \\x escape\"",
            "\"\\u12\"",
            "\"\\ud83d\"",
            "\"\\ude00\"",
            "\"\\ud83d\\u0041\"",
            "\"\xFF\"",
            "\"\xC3\"",
            "\"\xC0\xAF\"",
            "\"\xED\xA0\x80\"",
            "\"\xF4\x90\x80\x80\"",
            "[1]]",
            "{\"a\":1}}",
            "nul",
            "[\"a\",\"b\"",
        };
        for (const auto& text : documents) {
            auto expected = parsedByNlohmann(text);
            EXPECT_EQ(readWhole(json::StreamReader::overText(text)), expected) << text;
            EXPECT_EQ(readWhole(dribbling(text)), expected) << text;
        }
    }

    TEST(JsonStreamReader, NumbersKeepTheirKindAndValue)
    {
        auto reader = json::StreamReader::overText(
            "[1, -1, 1.0, 18446744073709551616, 9223372036854775808, 737123456.1234567]");
        EXPECT_EQ(reader.next(), Token::beginArray);
        EXPECT_EQ(reader.next(), Token::number);
        EXPECT_EQ(reader.int64(), 1);
        EXPECT_EQ(reader.uint64(), 1u);
        EXPECT_EQ(reader.next(), Token::number);
        EXPECT_EQ(reader.int64(), -1);
        EXPECT_EQ(reader.uint64(), std::nullopt);
        EXPECT_EQ(reader.next(), Token::number);
        EXPECT_FALSE(reader.isInteger());
        EXPECT_EQ(reader.int64(), std::nullopt);
        EXPECT_EQ(reader.number(), 1.0);
        EXPECT_EQ(reader.next(), Token::number);
        EXPECT_TRUE(reader.isInteger());
        EXPECT_EQ(reader.uint64(), std::nullopt) << "too large";
        EXPECT_EQ(reader.next(), Token::number);
        EXPECT_EQ(reader.int64(), std::nullopt);
        EXPECT_EQ(reader.uint64(), 9223372036854775808u);
        EXPECT_EQ(reader.next(), Token::number);
        EXPECT_EQ(reader.number(), 737123456.1234567);
        EXPECT_EQ(reader.text(), "737123456.1234567");
        EXPECT_EQ(reader.next(), Token::endArray);
        EXPECT_EQ(reader.next(), Token::end);
    }

    TEST(JsonStreamReader, SkipPassesOverAWholeValue)
    {
        auto reader = json::StreamReader::overText(R"({"x":[1,{"y":[[],{}]},"z"],"k":7})");
        EXPECT_EQ(reader.next(), Token::beginObject);
        EXPECT_EQ(reader.next(), Token::key);
        reader.skip(reader.next());
        EXPECT_EQ(reader.next(), Token::key);
        EXPECT_EQ(reader.text(), "k");
        EXPECT_EQ(reader.next(), Token::number);
        EXPECT_EQ(reader.next(), Token::endObject);
        EXPECT_EQ(reader.next(), Token::end);
    }

    TEST(JsonStreamReader, ASourceThatFailsEndsTheReading)
    {
        json::StreamReader reader([](char*, std::size_t) -> std::size_t { throw Error("gone"); });
        EXPECT_THROW(reader.next(), Error);
    }

    TEST(JsonWriting, StringsAreWrittenAsTheStoredFilesWriteThem)
    {
        const std::string texts[]
            = { "plain", "a/b", "quote\" back\\ slash", "\b\f\n\r\t\x01\x1F\x7F",
                  "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xB7", ""s, "nul\0byte"s };
        for (const auto& text : texts) {
            std::string out;
            json::appendString(out, text);
            // As nlohmann writes it, with "/" escaped.
            std::string expected;
            for (char character : nlohmann::json(text).dump()) {
                if (character == '/')
                    expected += '\\';
                expected += character;
            }
            EXPECT_EQ(out, expected) << text;
            EXPECT_EQ(json::parse(out), nlohmann::json(text)) << text;
        }
        std::string out;
        EXPECT_THROW(json::appendString(out, "\xFF"), Error);
        EXPECT_THROW(json::appendString(out, "\xC3("), Error);
        EXPECT_THROW(json::appendString(out, "\xED\xA0\x80"), Error);
    }

    TEST(JsonWriting, NumbersReadBackExactly)
    {
        const double values[] = { 0.0, 1.0, -1.0, 0.1, 737123456.123456789, -63114076800.0, 1e300,
            5e-324, std::numeric_limits<double>::max(), 978307200.000001 };
        for (double value : values) {
            std::string out;
            json::appendNumber(out, value);
            EXPECT_EQ(json::parse(out).get<double>(), value) << out;
            EXPECT_NE(out.find_first_of(".e"), std::string::npos) << out;
        }
        std::string out;
        EXPECT_THROW(json::appendNumber(out, std::nan("")), Error);
        EXPECT_THROW(json::appendNumber(out, HUGE_VAL), Error);
        out.clear();
        json::appendInteger(out, std::numeric_limits<std::int64_t>::min());
        out += ' ';
        json::appendInteger(out, std::numeric_limits<std::uint64_t>::max());
        EXPECT_EQ(out, "-9223372036854775808 18446744073709551615");
    }

} // namespace
} // namespace sorvik
