#include "app/rules/integer_field.h"

#include <QLocale>
#include <QSignalSpy>
#include <QTest>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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
            ParseCase { QLocale::Swedish, QLocale::Sweden, "-12", -12, QValidator::Acceptable }),
        [](const ::testing::TestParamInfo<ParseCase>& test) {
            // The locale, the text spelled out, and the place, which keeps equal texts apart.
            std::string name = QLocale::languageToCode(test.param.language).toStdString() + "_";
            for (char character : std::string_view(test.param.text)) {
                if ((character >= '0' && character <= '9')
                    || (character >= 'a' && character <= 'z'))
                    name += character;
                else if (character == '-')
                    name += "minus";
                else if (character == ',')
                    name += "comma";
                else if (character == '.')
                    name += "dot";
                else if (character == ' ')
                    name += "space";
                else
                    name += "x";
            }
            return name + "_" + std::to_string(test.index);
        });

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

    TEST(IntegerField, ANumberTypedIsCommittedEvenWhenItIsTheOneShown)
    {
        IntegerField field("Larger than bytes");
        field.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        field.show();
        QApplication::setActiveWindow(&field);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&field));
        QSignalSpy committed(&field, &IntegerField::valueCommitted);

        // Return in a field the user did not type in, and text that is no number, commit
        // nothing.
        QTest::keyClick(&field, Qt::Key_Return);
        field.selectAll();
        QTest::keyClick(&field, Qt::Key_Backspace);
        QTest::keyClick(&field, Qt::Key_Return);
        EXPECT_EQ(field.text(), "0");
        QTest::keyClick(&field, Qt::Key_Return);
        EXPECT_EQ(committed.count(), 0);

        // The 0 shown may stand for no value: a 0 typed is a value.
        field.selectAll();
        QTest::keyClicks(&field, "0");
        QTest::keyClick(&field, Qt::Key_Return);
        ASSERT_EQ(committed.count(), 1);
        EXPECT_EQ(committed[0][0].value<std::int64_t>(), 0);
        QTest::keyClick(&field, Qt::Key_Return);
        EXPECT_EQ(committed.count(), 1);

        field.selectAll();
        QTest::keyClicks(&field, "1,500");
        QTest::keyClick(&field, Qt::Key_Return);
        ASSERT_EQ(committed.count(), 2);
        EXPECT_EQ(committed[1][0].value<std::int64_t>(), 1500);
        EXPECT_EQ(field.value(), 1500);
    }

} // namespace
} // namespace sorvik
