#include "app/style/symbol_icons.h"

#include <QApplication>
#include <QImage>
#include <QPalette>
#include <QSet>
#include <QSvgRenderer>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    // Every symbol name the window, the rule editor and the starter presets use.
    const std::vector<std::string> designSymbols = {
        "arrow.down",
        "arrow.down.circle",
        "arrow.up",
        "calendar",
        "camera",
        "checkmark.circle.fill",
        "doc",
        "doc.text",
        "ellipsis.circle",
        "exclamationmark.triangle.fill",
        "folder",
        "folder.badge.gearshape",
        "folder.badge.questionmark",
        "globe",
        "lock.fill",
        "lock.shield",
        "minus",
        "minus.circle",
        "music.note",
        "number",
        "pencil",
        "photo",
        "plus",
        "slider.horizontal.3",
        "sparkles",
        "textformat",
        "wand.and.stars",
    };

    QImage render(const QIcon& icon, QIcon::Mode mode = QIcon::Normal)
    {
        return icon.pixmap(QSize(32, 32), 1.0, mode)
            .toImage()
            .convertToFormat(QImage::Format_ARGB32);
    }

    int opaquePixels(const QImage& image)
    {
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                count += qAlpha(image.pixel(x, y)) == 255;
        }
        return count;
    }

    // Whether every fully opaque pixel has exactly the colour.
    bool opaquePixelsAre(const QImage& image, QRgb color)
    {
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                auto pixel = image.pixel(x, y);
                if (qAlpha(pixel) == 255 && (pixel & 0xFFFFFF) != (color & 0xFFFFFF))
                    return false;
            }
        }
        return true;
    }

    TEST(SymbolIcons, EveryDesignSymbolHasADrawingOfItsOwn)
    {
        QSet<QString> resources;
        QSet<QByteArray> drawings;
        for (const auto& name : designSymbols) {
            SCOPED_TRACE(name);
            EXPECT_TRUE(isKnownSymbol(name));
            auto resource = symbolResource(name);
            EXPECT_NE(resource, symbolResource("no.such.symbol"));
            EXPECT_TRUE(QSvgRenderer(resource).isValid());
            auto image = render(tintedSymbolIcon(name, Qt::black));
            EXPECT_GT(opaquePixels(image), 20);
            resources.insert(resource);
            drawings.insert(
                QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()));
            EXPECT_FALSE(symbolIcon(name).isNull());
        }
        EXPECT_EQ(resources.size(), int(designSymbols.size()));
        EXPECT_EQ(drawings.size(), int(designSymbols.size()));
    }

    TEST(SymbolIcons, AnUnknownNameGetsTheGenericSymbolAndNeverAPath)
    {
        auto generic = render(tintedSymbolIcon("no.such.symbol", Qt::black));
        EXPECT_GT(opaquePixels(generic), 20);
        const std::string names[] = { "", "Folder", "folder ", "../../../etc/passwd",
            ":/symbols/folder.svg", "folder.svg", "/usr/share/icons/hicolor/folder.svg",
            std::string("folder\0x", 8) };
        for (const auto& name : names) {
            EXPECT_FALSE(isKnownSymbol(name)) << name;
            EXPECT_EQ(symbolResource(name), QStringLiteral(":/symbols/generic.svg")) << name;
            EXPECT_TRUE(symbolThemeName(name).empty()) << name;
            EXPECT_EQ(render(tintedSymbolIcon(name, Qt::black)), generic) << name;
        }
    }

    TEST(SymbolIcons, ThemeNamesAreFreedesktopNamesWhereOneFits)
    {
        EXPECT_EQ(symbolThemeName("folder"), "folder");
        EXPECT_EQ(symbolThemeName("textformat"), "insert-text");
        EXPECT_EQ(symbolThemeName("calendar"), "x-office-calendar");
        EXPECT_EQ(symbolThemeName("plus"), "list-add");
        EXPECT_TRUE(symbolThemeName("sparkles").empty());
        EXPECT_TRUE(symbolThemeName("slider.horizontal.3").empty());
    }

    TEST(SymbolIcons, TintedSymbolsAreDrawnInTheirColour)
    {
        const QColor orange(0xD4, 0x6A, 0x00);
        auto image = render(tintedSymbolIcon("exclamationmark.triangle.fill", orange));
        EXPECT_TRUE(opaquePixelsAre(image, orange.rgb()));
        EXPECT_GT(opaquePixels(image), 100);
        // The exclamation mark is cut out of the triangle.
        EXPECT_LT(qAlpha(image.pixel(16, 15)), 255);

        auto disabled = render(tintedSymbolIcon("plus", orange), QIcon::Disabled);
        EXPECT_EQ(opaquePixels(disabled), 0);

        QColor faint(0, 0, 0, 66);
        auto quaternary = render(tintedSymbolIcon("minus", faint));
        int maximum = 0;
        for (int x = 0; x < quaternary.width(); ++x)
            maximum = std::max(maximum, qAlpha(quaternary.pixel(x, 16)));
        EXPECT_NEAR(maximum, 66, 2);
    }

    TEST(SymbolIcons, ATintedSymbolOnASelectedItemTakesTheSelectedTextColour)
    {
        auto saved = QApplication::palette();
        auto palette = saved;
        palette.setColor(QPalette::Active, QPalette::HighlightedText, QColor(250, 240, 230));
        QApplication::setPalette(palette);
        auto icon = tintedSymbolIcon("checkmark.circle.fill", QColor(0x1F, 0x8A, 0x3B));
        EXPECT_TRUE(opaquePixelsAre(render(icon), QColor(0x1F, 0x8A, 0x3B).rgb()));
        auto selected = render(icon, QIcon::Selected);
        EXPECT_TRUE(opaquePixelsAre(selected, QColor(250, 240, 230).rgb()));
        EXPECT_GT(opaquePixels(selected), 100);
        QApplication::setPalette(saved);
    }

    TEST(SymbolIcons, OurDrawingsFollowThePaletteTextColour)
    {
        auto saved = QApplication::palette();
        QPalette palette;
        palette.setColor(QPalette::Active, QPalette::WindowText, QColor(10, 20, 30));
        palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(150, 150, 150));
        palette.setColor(QPalette::Active, QPalette::HighlightedText, QColor(250, 240, 230));
        QApplication::setPalette(palette);
        // The theme has no sparkles, so our own drawing stands in.
        auto icon = symbolIcon("sparkles");
        EXPECT_TRUE(opaquePixelsAre(render(icon), QColor(10, 20, 30).rgb()));
        EXPECT_TRUE(opaquePixelsAre(render(icon, QIcon::Disabled), QColor(150, 150, 150).rgb()));
        EXPECT_TRUE(opaquePixelsAre(render(icon, QIcon::Selected), QColor(250, 240, 230).rgb()));
        QApplication::setPalette(saved);
    }

    TEST(SymbolIcons, DrawSharplyAtEveryScale)
    {
        auto icon = tintedSymbolIcon("folder", Qt::black);
        auto pixmap = icon.pixmap(QSize(16, 16), 2.0);
        EXPECT_EQ(pixmap.size(), QSize(32, 32));
        EXPECT_DOUBLE_EQ(pixmap.devicePixelRatio(), 2.0);
        auto wide = icon.pixmap(QSize(40, 20)).toImage();
        EXPECT_EQ(wide.size(), QSize(40, 20));
        // Square drawings are centred, not stretched.
        EXPECT_EQ(qAlpha(wide.pixel(2, 10)), 0);
    }

} // namespace
} // namespace sorvik
