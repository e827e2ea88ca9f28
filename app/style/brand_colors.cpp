#include "app/style/brand_colors.h"

#include "app/style/ui_style.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWidget>

#include <array>
#include <cstddef>

namespace sorvik {

namespace {

    struct BrandValues {
        QColor light;
        QColor dark;
    };

    const std::array<BrandValues, 7>& brandValues()
    {
        static const std::array<BrandValues, 7> values { {
            { QColor(20, 125, 92), QColor(127, 230, 195) },
            { QColor(246, 244, 236), QColor(17, 21, 23) },
            { QColor(255, 254, 250), QColor(27, 34, 37) },
            { QColor(238, 237, 229), QColor(21, 27, 30) },
            { QColor(216, 218, 208), QColor(53, 66, 71) },
            { QColor(20, 23, 26), QColor(20, 23, 26) },
            { QColor(127, 230, 195), QColor(127, 230, 195) },
        } };
        return values;
    }

    void setRoleInAllGroups(QPalette& palette, QPalette::ColorRole role, const QColor& color)
    {
        for (auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled })
            palette.setColor(group, role, color);
    }

    void setPaletteIfChanged(QWidget& widget, const QPalette& palette)
    {
        if (palette != widget.palette())
            widget.setPalette(palette);
    }

    /// Marks the application as tinted, so that the tint follows the palette only once.
    constexpr const char* tintedProperty = "sorvikBrandTinted";

    void tint(QPalette& palette, Appearance appearance)
    {
        for (auto group : { QPalette::Active, QPalette::Inactive }) {
            palette.setColor(group, QPalette::Highlight,
                BrandColors::color(BrandColor::brandAccent, appearance));
            palette.setColor(group, QPalette::HighlightedText,
                BrandColors::contrastingText(BrandColor::brandAccent, appearance));
        }
    }

} // namespace

Appearance appearanceOf(const QPalette& palette)
{
    return isDarkPalette(palette) ? Appearance::dark : Appearance::light;
}

Appearance currentAppearance() { return appearanceOf(QGuiApplication::palette()); }

const QColor& BrandColors::color(BrandColor name, Appearance appearance)
{
    const auto& values = brandValues()[static_cast<std::size_t>(name)];
    return appearance == Appearance::dark ? values.dark : values.light;
}

const QColor& BrandColors::color(BrandColor name) { return color(name, currentAppearance()); }

QColor BrandColors::contrastingText(BrandColor name, Appearance appearance)
{
    if (color(name, appearance).lightnessF() > 0.5)
        return color(BrandColor::brandInk, appearance);
    return Qt::white;
}

void setBrandBackground(QWidget& widget, BrandColor name)
{
    widget.setAutoFillBackground(true);
    followApplicationPalette(widget, [&widget, name] {
        auto palette = widget.palette();
        setRoleInAllGroups(palette, QPalette::Window, BrandColors::color(name));
        setPaletteIfChanged(widget, palette);
    });
}

void applyBrandTint(QWidget& widget)
{
    followApplicationPalette(widget, [&widget] {
        auto palette = widget.palette();
        tint(palette, currentAppearance());
        setPaletteIfChanged(widget, palette);
    });
}

void applyBrandTintToApplication()
{
    auto* application = QCoreApplication::instance();
    if (!application || application->property(tintedProperty).toBool())
        return;
    application->setProperty(tintedProperty, true);
    auto retint = [] {
        auto palette = QApplication::palette();
        tint(palette, appearanceOf(palette));
        if (palette != QApplication::palette())
            QApplication::setPalette(palette);
    };
    retint();
    // Not while the application is still announcing the change that calls for it: the
    // widgets take the new palette after that announcement, and would miss the tint. Setting
    // the palette announces a change again; that pass finds nothing to do.
    followApplicationPalette(*application, [application, retint] {
        QMetaObject::invokeMethod(application, retint, Qt::QueuedConnection);
    });
}

void setWindowSurface(QWidget& widget)
{
    followApplicationPalette(widget, [&widget] {
        auto application = QApplication::palette();
        auto palette = widget.palette();
        for (auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled })
            palette.setColor(group, QPalette::Window, application.color(group, QPalette::Window));
        setPaletteIfChanged(widget, palette);
    });
}

} // namespace sorvik
