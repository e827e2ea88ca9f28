#include "engine/model/csv_parser.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using Records = std::vector<CSVParser::Record>;

    struct Case {
        const char* label;
        std::string text;
        std::optional<Records> expected; // nothing: the text is malformed
    };

    std::string describe(const Records& records)
    {
        std::string out;
        for (const auto& record : records) {
            out += "[";
            for (const auto& field : record)
                out += "<" + field + ">";
            out += "]";
        }
        return out;
    }

    void check(const std::vector<Case>& cases)
    {
        for (const auto& test : cases) {
            if (!test.expected) {
                EXPECT_THROW(CSVParser::parse(test.text), CSVParser::ParseError) << test.label;
                continue;
            }
            try {
                Records records = CSVParser::parse(test.text);
                EXPECT_EQ(records, *test.expected) << test.label << ": got " << describe(records)
                                                   << ", expected " << describe(*test.expected);
            } catch (const Error& error) {
                ADD_FAILURE() << test.label << ": " << error.what();
            }
        }
    }

    TEST(CSVParser, EmptyInputsGiveNoRecords)
    {
        check({
            { "empty text", "", Records {} },
            { "line breaks only", "\n\r\n\r\n\n", Records {} },
            { "delimiters and empty quotes", ",\n\"\",\"\"\n,,\n\"\"", Records {} },
            { "byte-order mark only", "\xEF\xBB\xBF", Records {} },
        });
    }

    TEST(CSVParser, ColumnsAndDelimiters)
    {
        check({
            { "one column", "a\nb\nc", Records { { "a" }, { "b" }, { "c" } } },
            { "two columns", "old.jpg,new.jpg\nx,y\n",
                Records { { "old.jpg", "new.jpg" }, { "x", "y" } } },
            { "semicolons win when there are more", "a;b\nc;d",
                Records { { "a", "b" }, { "c", "d" } } },
            { "a tie gives the comma", "a;b,c", Records { { "a;b", "c" } } },
            { "the first line decides for the whole text", "a,b\nc;d",
                Records { { "a", "b" }, { "c;d" } } },
            { "quoted delimiters count too", "\"a;b;c\",d", std::nullopt },
            { "more semicolons make a three-field record", "x;y;z,w", std::nullopt },
            { "second field empty", "name,\nother,", Records { { "name", "" }, { "other", "" } } },
            { "first field empty", ",new", Records { { "", "new" } } },
            { "a lone delimiter is dropped", "a\n,\nb", Records { { "a" }, { "b" } } },
            { "fields are not trimmed", " a , b ", Records { { " a ", " b " } } },
            { "byte-order mark is dropped", "\xEF\xBB\xBF\"a\",b", Records { { "a", "b" } } },
            { "a mark later on is text",
                "a,\xEF\xBB\xBF"
                "b",
                Records { { "a",
                    "\xEF\xBB\xBF"
                    "b" } } },
        });
    }

    TEST(CSVParser, LineBreaksOfEveryKindEndRecords)
    {
        check({
            { "LF", "a\nb", Records { { "a" }, { "b" } } },
            { "CR", "a\rb", Records { { "a" }, { "b" } } },
            { "CR LF", "a\r\nb", Records { { "a" }, { "b" } } },
            { "mixed with blank lines", "a\r\n\r\n\nb\r\rc\n",
                Records { { "a" }, { "b" }, { "c" } } },
            { "CR LF ends the first line for the count", "a;b\r\nc,d;e",
                Records { { "a", "b" }, { "c,d", "e" } } },
        });
    }

    TEST(CSVParser, QuotedFields)
    {
        check({
            { "delimiter inside quotes", "\"a,b\",c", Records { { "a,b", "c" } } },
            { "line break inside quotes", "\"a\nb\",c\r\n\"x\r\ny\"",
                Records { { "a\nb", "c" }, { "x\r\ny" } } },
            { "doubled quotes", "\"\"\"word\"\"\"", Records { { "\"word\"" } } },
            { "empty quoted field keeps its column", "\"\",b", Records { { "", "b" } } },
            { "quote inside an unquoted field is text", "ab\"c,d", Records { { "ab\"c", "d" } } },
            { "space before a quote makes it text", "a, \"b\"", Records { { "a", " \"b\"" } } },
            { "quote after text is text", "a\"", Records { { "a\"" } } },
            { "space after a closing quote", "\"a\" ,b", std::nullopt },
            { "text after a closing quote", "\"a\"b", std::nullopt },
            { "three quotes leave the field open", "\"\"\"", std::nullopt },
            { "four quotes are one quote", "\"\"\"\"", Records { { "\"" } } },
            { "text after an empty quoted field", "\"\"x", std::nullopt },
            { "unterminated quote", "a,\"b", std::nullopt },
            { "unterminated quote over lines", "\"a\nb\nc", std::nullopt },
            { "a lone quote", "\"", std::nullopt },
        });
    }

    TEST(CSVParser, ThreeFieldsFailTheWholeText)
    {
        check({
            { "one bad record among good ones", "a,b\nc,d,e\nf,g", std::nullopt },
            { "trailing delimiter after two fields", "a,b,", std::nullopt },
            { "only delimiters is dropped", "a,b\n,,,\nc", Records { { "a", "b" }, { "c" } } },
            { "empty quoted fields only", "\"\",\"\",\"\"", Records {} },
        });
    }

    TEST(CSVParser, WorksOnCharactersNotBytes)
    {
        check({
            { "non-ASCII fields", "caf\xC3\xA9,\xE6\x97\xA5\xE6\x9C\xAC",
                Records { { "caf\xC3\xA9", "\xE6\x97\xA5\xE6\x9C\xAC" } } },
            { "a combining mark makes a quote ordinary text",
                "\"\xCC\x81"
                "a\",b",
                Records { { "\"\xCC\x81"
                            "a\"",
                    "b" } } },
            { "a combining mark makes a delimiter ordinary text",
                "a,\xCC\x81"
                "b",
                Records { { "a,\xCC\x81"
                            "b" } } },
            { "the Greek question mark is a semicolon",
                "a\xCD\xBE"
                "b\nc\xCD\xBE"
                "d",
                Records { { "a", "b" }, { "c", "d" } } },
            { "emoji with joiners", "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB,x",
                Records { { "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB", "x" } } },
        });
    }

    TEST(CSVParser, RejectsTextThatIsNotUtf8)
    {
        check({
            { "stray byte", "a,\xFF", std::nullopt },
            { "truncated sequence", "a\xC3", std::nullopt },
        });
    }

    TEST(CSVParser, ErrorTextIsTheUserFacingOne)
    {
        try {
            CSVParser::parse("\"open");
            ADD_FAILURE() << "parsed an open quote";
        } catch (const CSVParser::ParseError& error) {
            EXPECT_STREQ(error.what(), "Invalid CSV. Use one or two columns and balanced quotes.");
        }
    }

} // namespace
} // namespace sorvik
