#include "app/style/ui_style.h"

#include "tests/support/temporary_folder.h"

#include <QAction>
#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QTextDocument>

#include <memory>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    // Restores the application's font and palette after a test changes them.
    class UiStyle : public ::testing::Test {
    protected:
        void SetUp() override
        {
            m_font = QApplication::font();
            m_palette = QApplication::palette();
        }
        void TearDown() override
        {
            QApplication::setFont(m_font);
            QApplication::setPalette(m_palette);
        }

        static QPalette darkPalette()
        {
            QPalette palette;
            for (auto role : { QPalette::Window, QPalette::Base, QPalette::Button })
                palette.setColor(role, QColor(28, 28, 30));
            for (auto role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
                palette.setColor(role, QColor(235, 235, 240));
            return palette;
        }

    private:
        QFont m_font;
        QPalette m_palette;
    };

    int redPixels(const QImage& image)
    {
        int count = 0;
        auto converted = image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < converted.height(); ++y) {
            for (int x = 0; x < converted.width(); ++x) {
                QColor color = converted.pixelColor(x, y);
                if (color.red() > 200 && color.green() < 60 && color.blue() < 60)
                    ++count;
            }
        }
        return count;
    }

    TEST_F(UiStyle, TextStylesScaleWithTheApplicationFont)
    {
        struct Case {
            TextStyle style;
            int atThirteen;
            int atSixteen;
            QFont::Weight weight;
        };
        const Case cases[] = {
            { TextStyle::body, 13, 16, QFont::Normal },
            { TextStyle::callout, 12, 15, QFont::Normal },
            { TextStyle::caption, 10, 12, QFont::Normal },
            { TextStyle::headline, 13, 16, QFont::DemiBold },
            { TextStyle::title2, 17, 21, QFont::Normal },
            { TextStyle::title3, 15, 18, QFont::Normal },
            { TextStyle::monospacedBody, 13, 16, QFont::Normal },
            { TextStyle::size14, 14, 17, QFont::Normal },
            { TextStyle::size10, 10, 12, QFont::Normal },
        };
        for (int body : { 13, 16 }) {
            QFont application = QApplication::font();
            application.setPixelSize(body);
            QApplication::setFont(application);
            for (const auto& entry : cases) {
                int expected = body == 13 ? entry.atThirteen : entry.atSixteen;
                EXPECT_EQ(pixelSize(entry.style), expected) << int(entry.style) << " at " << body;
                auto font = styleFont(entry.style);
                EXPECT_EQ(font.pixelSize(), expected);
                EXPECT_EQ(font.weight(), entry.weight);
                EXPECT_EQ(styleFont(entry.style, QFont::Bold).weight(), QFont::Bold);
            }
        }
        // The monospaced style is the system's fixed font, whichever font a machine has for it
        // (fontconfig may find one that Qt does not report as fixed-pitch).
        auto fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        auto monospaced = styleFont(TextStyle::monospacedBody);
        EXPECT_EQ(monospaced.families(), fixed.families());
        EXPECT_EQ(monospaced.styleHint(), fixed.styleHint());
    }

    TEST_F(UiStyle, ExplicitSizesArePixels)
    {
        auto font = pixelFont(13, QFont::DemiBold);
        EXPECT_EQ(font.pixelSize(), 13);
        EXPECT_EQ(font.weight(), QFont::DemiBold);
        EXPECT_EQ(pixelFont(28).pixelSize(), 28);
        EXPECT_EQ(pixelFont(0).pixelSize(), 1);
    }

    TEST_F(UiStyle, GreyTonesFadeTheTextColourAndStatusTonesFollowTheAppearance)
    {
        QPalette light;
        light.setColor(QPalette::Window, Qt::white);
        light.setColor(QPalette::Text, Qt::black);
        light.setColor(QPalette::WindowText, Qt::black);
        EXPECT_FALSE(isDarkPalette(light));
        EXPECT_TRUE(isDarkPalette(darkPalette()));

        EXPECT_EQ(toneColor(Tone::primary, light), QColor(Qt::black));
        double previous = 1.0;
        for (auto tone : { Tone::secondary, Tone::tertiary, Tone::quaternary }) {
            auto color = toneColor(tone, light);
            EXPECT_EQ(color.rgb(), QColor(Qt::black).rgb());
            EXPECT_LT(color.alphaF(), previous);
            EXPECT_GT(color.alphaF(), 0.1);
            previous = color.alphaF();
        }
        for (auto tone : { Tone::orange, Tone::green, Tone::red }) {
            EXPECT_EQ(toneColor(tone, light).alpha(), 255);
            EXPECT_NE(toneColor(tone, light), toneColor(tone, darkPalette()));
            // Brighter on dark surfaces.
            EXPECT_GT(
                toneColor(tone, darkPalette()).lightnessF(), toneColor(tone, light).lightnessF());
        }
    }

    TEST_F(UiStyle, ToneFollowsTheApplicationPalette)
    {
        QLabel label("Applied from top to bottom");
        setTone(label, Tone::secondary);
        auto lightText = QApplication::palette().color(QPalette::WindowText);
        EXPECT_EQ(label.palette().color(QPalette::WindowText).rgb(), lightText.rgb());
        EXPECT_LT(label.palette().color(QPalette::WindowText).alpha(), 255);

        QApplication::setPalette(darkPalette());
        EXPECT_EQ(label.palette().color(QPalette::WindowText).rgb(), QColor(235, 235, 240).rgb());
        setTone(label, Tone::orange);
        EXPECT_EQ(label.palette().color(QPalette::WindowText), toneColor(Tone::orange));
    }

    TEST_F(UiStyle, FollowersStopWithTheirOwner)
    {
        int calls = 0;
        {
            QObject owner;
            followApplicationPalette(owner, [&calls] { ++calls; });
            EXPECT_EQ(calls, 1);
            QApplication::setPalette(darkPalette());
            EXPECT_EQ(calls, 2);
        }
        QApplication::setPalette(QPalette(Qt::red));
        EXPECT_EQ(calls, 2);
    }

    TEST_F(UiStyle, DataInALabelIsShownAsTypedAndOpensNothing)
    {
        testing::TemporaryFolder folder;
        auto path = folder / "red.png";
        QImage red(48, 48, QImage::Format_RGB32);
        red.fill(Qt::red);
        ASSERT_TRUE(red.save(QString::fromStdString(path.string())));
        auto name = QStringLiteral("<img src=\"%1\"> &amp; <b>bold</b>")
                        .arg(QString::fromStdString(path.string()));

        std::unique_ptr<QLabel> label(plainLabel(name));
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        EXPECT_EQ(label->text(), name);
        label->resize(label->sizeHint());
        EXPECT_EQ(redPixels(label->grab().toImage()), 0);
        // Wider than the image would be: the whole markup is drawn as characters.
        EXPECT_GE(label->sizeHint().width(), label->fontMetrics().horizontalAdvance(name));

        // What the helper prevents: read as rich text, the label loads and draws the file.
        QLabel rich;
        rich.setTextFormat(Qt::AutoText);
        rich.setText(name);
        rich.resize(rich.sizeHint());
        EXPECT_GT(redPixels(rich.grab().toImage()), 0);

        QLabel reused;
        reused.setTextFormat(Qt::RichText);
        setPlainText(reused, name);
        EXPECT_EQ(reused.textFormat(), Qt::PlainText);
    }

    TEST_F(UiStyle, ToolTipsShowTheirTextAsTyped)
    {
        const QString texts[] = {
            QStringLiteral("<img src=\"/tmp/fifo\">"),
            QStringLiteral("Duplicate name"),
            QStringLiteral("a & b < c"),
            QStringLiteral("Move failed\nAll staged files were restored."),
        };
        for (const auto& text : texts) {
            auto toolTip = plainToolTip(text);
            QTextDocument document;
            document.setHtml(toolTip);
            auto shown = document.toPlainText();
            shown.replace(QChar::LineSeparator, QLatin1Char('\n'));
            EXPECT_EQ(shown, text) << text.toStdString();
        }
        EXPECT_TRUE(plainToolTip({}).isEmpty());
    }

    TEST_F(UiStyle, AmpersandsInActionAndButtonTextsStayAmpersands)
    {
        QAction escaped(escapeMnemonics("Find & Replace"));
        EXPECT_EQ(escaped.iconText(), "Find & Replace");
        QAction both(escapeMnemonics("Lowercase & dashes && more"));
        EXPECT_EQ(both.iconText(), "Lowercase & dashes && more");
        // Unescaped, Qt takes the "&" for a mnemonic and drops it.
        QAction raw("Find & Replace");
        EXPECT_NE(raw.iconText(), "Find & Replace");
    }

    TEST_F(UiStyle, Utf8ConversionKeepsALeadingByteOrderMark)
    {
        std::string withMark = "\xEF\xBB\xBF"
                               "name";
        auto text = toQString(withMark);
        ASSERT_EQ(text.size(), 5);
        EXPECT_EQ(text.at(0), QChar(0xFEFF));
        EXPECT_EQ(toUtf8(text), withMark);

        const std::string texts[]
            = { "", "plain", "caf\xC3\xA9", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD",
                  "\xEF\xBB\xBF\xEF\xBB\xBF"
                  "twice",
                  "a\xEF\xBB\xBF"
                  "b" };
        for (const auto& utf8 : texts)
            EXPECT_EQ(toUtf8(toQString(utf8)), utf8);

        auto broken = toQString("bad\xFF"
                                "name");
        EXPECT_EQ(broken, QString::fromUtf8("bad\xEF\xBF\xBDname"));
    }

} // namespace
} // namespace sorvik
