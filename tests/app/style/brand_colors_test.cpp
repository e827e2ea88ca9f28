#include "app/style/brand_colors.h"

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    QPalette darkPalette()
    {
        QPalette palette;
        palette.setColor(QPalette::Window, QColor(30, 30, 30));
        palette.setColor(QPalette::WindowText, QColor(240, 240, 240));
        return palette;
    }

    QPalette lightPalette()
    {
        QPalette palette;
        palette.setColor(QPalette::Window, QColor(239, 239, 239));
        palette.setColor(QPalette::WindowText, Qt::black);
        return palette;
    }

    class BrandColorsTest : public ::testing::Test {
    protected:
        void SetUp() override
        {
            m_saved = QApplication::palette();
            QApplication::setPalette(lightPalette());
        }
        void TearDown() override { QApplication::setPalette(m_saved); }

    private:
        QPalette m_saved;
    };

    TEST_F(BrandColorsTest, HoldsTheSevenColoursOfBothAppearances)
    {
        struct Case {
            BrandColor name;
            QRgb light;
            QRgb dark;
        };
        const Case cases[] = {
            { BrandColor::brandAccent, 0xFF147D5C, 0xFF7FE6C3 },
            { BrandColor::brandCanvas, 0xFFF6F4EC, 0xFF111517 },
            { BrandColor::brandCard, 0xFFFFFEFA, 0xFF1B2225 },
            { BrandColor::brandSidebar, 0xFFEEEDE5, 0xFF151B1E },
            { BrandColor::brandStroke, 0xFFD8DAD0, 0xFF354247 },
            { BrandColor::brandInk, 0xFF14171A, 0xFF14171A },
            { BrandColor::brandMint, 0xFF7FE6C3, 0xFF7FE6C3 },
        };
        for (const auto& entry : cases) {
            EXPECT_EQ(BrandColors::color(entry.name, Appearance::light).rgba(), entry.light);
            EXPECT_EQ(BrandColors::color(entry.name, Appearance::dark).rgba(), entry.dark);
            EXPECT_EQ(BrandColors::color(entry.name).rgba(), entry.light);
        }
        // Made once and shared.
        EXPECT_EQ(&BrandColors::color(BrandColor::brandCard, Appearance::dark),
            &BrandColors::color(BrandColor::brandCard, Appearance::dark));
    }

    TEST_F(BrandColorsTest, AppearanceIsReadOffTheApplicationPalette)
    {
        EXPECT_EQ(appearanceOf(lightPalette()), Appearance::light);
        EXPECT_EQ(appearanceOf(darkPalette()), Appearance::dark);
        EXPECT_EQ(currentAppearance(), Appearance::light);
        QApplication::setPalette(darkPalette());
        EXPECT_EQ(currentAppearance(), Appearance::dark);
        EXPECT_EQ(BrandColors::color(BrandColor::brandCanvas).rgba(), 0xFF111517);
        EXPECT_EQ(BrandColors::color(BrandColor::brandMint).rgba(), 0xFF7FE6C3);
    }

    TEST_F(BrandColorsTest, SurfacesRecolourWhenTheAppearanceChanges)
    {
        QWidget column;
        QWidget child(&column);
        setBrandBackground(column, BrandColor::brandSidebar);
        EXPECT_TRUE(column.autoFillBackground());
        EXPECT_EQ(column.palette().color(QPalette::Window).rgba(), 0xFFEEEDE5);

        QApplication::setPalette(darkPalette());
        EXPECT_EQ(column.palette().color(QPalette::Window).rgba(), 0xFF151B1E);
        EXPECT_EQ(column.palette().color(QPalette::Inactive, QPalette::Window).rgba(), 0xFF151B1E);
        // The rest of the palette still comes from the application.
        EXPECT_EQ(column.palette().color(QPalette::WindowText), QColor(240, 240, 240));
        EXPECT_EQ(child.palette().color(QPalette::Window).rgba(), 0xFF151B1E);

        QApplication::setPalette(lightPalette());
        EXPECT_EQ(column.palette().color(QPalette::Window).rgba(), 0xFFEEEDE5);
    }

    TEST_F(BrandColorsTest, TintIsTheHighlightRoleWithReadableText)
    {
        QWidget window;
        QWidget list(&window);
        applyBrandTint(window);
        EXPECT_EQ(window.palette().color(QPalette::Highlight).rgba(), 0xFF147D5C);
        EXPECT_EQ(window.palette().color(QPalette::HighlightedText), QColor(Qt::white));
        EXPECT_EQ(list.palette().color(QPalette::Highlight).rgba(), 0xFF147D5C);

        QApplication::setPalette(darkPalette());
        EXPECT_EQ(window.palette().color(QPalette::Highlight).rgba(), 0xFF7FE6C3);
        EXPECT_EQ(window.palette().color(QPalette::HighlightedText).rgba(), 0xFF14171A);
        EXPECT_EQ(list.palette().color(QPalette::Inactive, QPalette::Highlight).rgba(), 0xFF7FE6C3);
    }

} // namespace
} // namespace sorvik
