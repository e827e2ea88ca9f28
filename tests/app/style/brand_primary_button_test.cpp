#include "app/style/brand_primary_button.h"

#include "app/style/brand_colors.h"

#include <QApplication>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    constexpr QRgb white = 0xFFFFFFFF;

    // The colour of `color` at `opacity` over white.
    QColor overWhite(const QColor& color, double opacity)
    {
        auto blend
            = [opacity](int channel) { return int(std::lround(255 + (channel - 255) * opacity)); };
        return QColor(blend(color.red()), blend(color.green()), blend(color.blue()));
    }

    testing::AssertionResult near(const QColor& actual, const QColor& expected)
    {
        int distance = std::abs(actual.red() - expected.red())
            + std::abs(actual.green() - expected.green())
            + std::abs(actual.blue() - expected.blue());
        if (distance <= 6)
            return testing::AssertionSuccess();
        return testing::AssertionFailure()
            << actual.name().toStdString() << " is not " << expected.name().toStdString();
    }

    class BrandPrimaryButtonTest : public ::testing::Test {
    protected:
        BrandPrimaryButtonTest()
            : button(QString::fromUtf8("Choose Files or Folder\u2026"))
        {
            QPalette palette = button.palette();
            palette.setColor(QPalette::Window, Qt::white);
            button.setPalette(palette);
            button.resize(button.sizeHint());
        }

        QColor pixel(int x, int y) { return button.grab().toImage().pixelColor(x, y); }
        // A point of the fill away from the label and the corners.
        QColor fillPixel()
        {
            return pixel(BrandPrimaryButton::ringMargin + 3, button.height() / 2);
        }
        QColor ringPixel()
        {
            return pixel(BrandPrimaryButton::ringMargin - BrandPrimaryButton::ringOffset,
                button.height() / 2);
        }

        BrandPrimaryButton button;
    };

    TEST_F(BrandPrimaryButtonTest, PadsItsSemiboldLabelAndKeepsRoomForTheRing)
    {
        EXPECT_EQ(button.font().pixelSize(), 13);
        EXPECT_EQ(button.font().weight(), QFont::DemiBold);
        auto label = button.fontMetrics().size(Qt::TextShowMnemonic, button.text());
        EXPECT_EQ(
            button.sizeHint(), QSize(label.width() + 2 * (18 + 5), label.height() + 2 * (11 + 5)));
        EXPECT_EQ(button.fillRect(), button.rect().adjusted(5, 5, -5, -5));
    }

    TEST_F(BrandPrimaryButtonTest, FillsWithMintAtTheOpacityOfItsState)
    {
        const QColor mint(127, 230, 195);
        EXPECT_TRUE(near(fillPixel(), mint));
        button.setDown(true);
        EXPECT_TRUE(near(fillPixel(), overWhite(mint, 0.78)));
        button.setDown(false);

        button.setEnabled(false);
        EXPECT_TRUE(near(fillPixel(), overWhite(mint, 0.35 * 0.6)));
        button.setDown(true);
        EXPECT_TRUE(near(fillPixel(), overWhite(mint, 0.35 * 0.6)));
    }

    TEST_F(BrandPrimaryButtonTest, DrawsItsLabelInInk)
    {
        auto image = button.grab().toImage();
        int inkPixels = 0;
        auto fill = button.fillRect();
        for (int y = fill.top(); y <= fill.bottom(); ++y) {
            for (int x = fill.left(); x <= fill.right(); ++x) {
                if (near(image.pixelColor(x, y), QColor(20, 23, 26)))
                    ++inkPixels;
            }
        }
        EXPECT_GT(inkPixels, 20);
    }

    TEST_F(BrandPrimaryButtonTest, ShowsTheFocusRingThreePixelsOutsideTheFillOnlyWhenFocused)
    {
        EXPECT_EQ(ringPixel().rgba(), white);
        button.show();
        button.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&button));
        button.setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(button.hasFocus());
        const QColor accent(20, 125, 92);
        EXPECT_TRUE(near(ringPixel(), accent));
        // The ring is 2 px wide, and the fill starts 2 px further in.
        EXPECT_TRUE(near(pixel(1, button.height() / 2), accent));
        EXPECT_EQ(pixel(3, button.height() / 2).rgba(), white);
        EXPECT_EQ(pixel(4, button.height() / 2).rgba(), white);
        EXPECT_TRUE(near(fillPixel(), QColor(127, 230, 195)));
        // Outside the ring there is nothing.
        EXPECT_EQ(pixel(0, 0).rgba(), white);
    }

    TEST_F(BrandPrimaryButtonTest, IsClickedOnItsFillOnly)
    {
        button.show();
        QSignalSpy clicks(&button, &QPushButton::clicked);
        QTest::mouseClick(&button, Qt::LeftButton, {}, button.fillRect().center());
        EXPECT_EQ(clicks.count(), 1);
        QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(1, 1));
        EXPECT_EQ(clicks.count(), 1);
    }

    TEST_F(BrandPrimaryButtonTest, KeepsMintAndInkInTheDarkAppearance)
    {
        auto saved = QApplication::palette();
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(20, 20, 20));
        dark.setColor(QPalette::WindowText, Qt::white);
        QApplication::setPalette(dark);
        EXPECT_TRUE(near(fillPixel(), QColor(127, 230, 195)));
        QApplication::setPalette(saved);
    }

} // namespace
} // namespace sorvik
