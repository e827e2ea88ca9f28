#include "app/rules/integer_field.h"

#include <QLocale>

#include <cstdint>
#include <optional>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    struct ParseCase {
        QLocale::Language language;
        QLocale::Country country;
        const char* text;
        std::optional<std::int64_t> number;
        QValidator::State state;
    };

    class Int64Parsing : public ::testing::TestWithParam<ParseCase> { };

    TEST_P(Int64Parsing, TakesTheLocalesIntegersThatFitAndWhatLeadsToThem)
    {
        const auto& [language, country, text, number, state] = GetParam();
        QLocale locale(language, country);
        auto input = QString::fromUtf8(text);
        EXPECT_EQ(Int64Validator::parse(input, locale), number);
        Int64Validator validator;
        validator.setLocale(locale);
        int position = 0;
        EXPECT_EQ(validator.validate(input, position), state);
    }

    constexpr auto english = QLocale::English;
    constexpr auto us = QLocale::UnitedStates;

    INSTANTIATE_TEST_SUITE_P(Cases, Int64Parsing,
        ::testing::Values(ParseCase { english, us, "0", 0, QValidator::Acceptable },
            ParseCase { english, us, "-5", -5, QValidator::Acceptable },
            ParseCase { english, us, " -5", -5, QValidator::Acceptable },
            ParseCase { english, us, "2,000,000", 2'000'000, QValidator::Acceptable },
            ParseCase { english, us, "2000000", 2'000'000, QValidator::Acceptable },
            ParseCase {
                english, us, "9,223,372,036,854,775,807", INT64_MAX, QValidator::Acceptable },
            ParseCase { english, us, "-9223372036854775808", INT64_MIN, QValidator::Acceptable },
            // On the way to a number, or more than 64 bits: put back when the field is left.
            ParseCase { english, us, "", std::nullopt, QValidator::Intermediate },
            ParseCase { english, us, "-", std::nullopt, QValidator::Intermediate },
            ParseCase { english, us, "1,0000", std::nullopt, QValidator::Intermediate },
            ParseCase {
                english, us, "9223372036854775808", std::nullopt, QValidator::Intermediate },
            ParseCase { english, us, "12a", std::nullopt, QValidator::Invalid },
            ParseCase { english, us, "1.5", std::nullopt, QValidator::Invalid },
            ParseCase {
                QLocale::German, QLocale::Germany, "-1.234", -1234, QValidator::Acceptable },
            ParseCase { QLocale::Swedish, QLocale::Sweden,
                "\u2212"
                "12",
                -12, QValidator::Acceptable },
            ParseCase { QLocale::Swedish, QLocale::Sweden, "-12", -12, QValidator::Acceptable }));

    TEST(IntegerField, ShowsItsValueInTheLocalesFormatAndOnlyAChangeOfItReplacesTyping)
    {
        IntegerField field("Start");
        field.setLocale(QLocale(QLocale::Swedish, QLocale::Sweden));
        field.setValue(-2'000'000);
        EXPECT_EQ(field.text(),
            QString::fromUtf8("\u2212"
                              "2\u00A0"
                              "000\u00A0"
                              "000"));
        field.setText("5");
        field.setValue(-2'000'000);
        EXPECT_EQ(field.text(), "5");
        field.setValue(3);
        EXPECT_EQ(field.text(), "3");
    }

} // namespace
} // namespace sorvik
