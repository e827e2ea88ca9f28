#pragma once

#include <QColor>
#include <QPalette>

class QWidget;

// sorvik's own palette, used instead of the desktop's accent colour for its surfaces and its
// primary button. Five colours follow the light or dark appearance, two are fixed. Qt 6.4
// tells no colour scheme, so the appearance is read off the application palette (its window
// colour darker than its text colour is dark) each time a colour is resolved, and the
// widgets bound here are recoloured whenever the application palette changes.
namespace sorvik {

enum class Appearance { light, dark };

/// Dark when the palette's window colour is darker than its text colour.
Appearance appearanceOf(const QPalette& palette);
/// The appearance of the application palette.
Appearance currentAppearance();

enum class BrandColor {
    /// Tint of the main window; focus ring of the primary button; accents.
    brandAccent,
    /// Background of the main window's columns and of the empty drop zone.
    brandCanvas,
    /// Surface of a rule card.
    brandCard,
    /// Background of the rule stack column.
    brandSidebar,
    /// Border of a rule card.
    brandStroke,
    /// Label of the primary button; the same in both appearances.
    brandInk,
    /// Fill of the primary button; the same in both appearances.
    brandMint,
};

namespace BrandColors {
    /// The colour in an appearance; opaque sRGB, made once and shared.
    const QColor& color(BrandColor name, Appearance appearance);
    /// The colour in the application's current appearance.
    const QColor& color(BrandColor name);
    /// A text colour that reads on the colour in the appearance: ink on light colours, white
    /// on dark ones.
    QColor contrastingText(BrandColor name, Appearance appearance);
} // namespace BrandColors

/// Fills the widget's background with the brand colour, recoloured when the appearance
/// changes.
void setBrandBackground(QWidget& widget, BrandColor name);
/// Tints the widget and its children with `brandAccent`: the palette's Highlight role (Qt
/// has no accent role), with a text colour that reads on it as HighlightedText.
void applyBrandTint(QWidget& widget);
/// Tints the whole application as `applyBrandTint` tints a widget, so that every window,
/// sheet and dialog marks selections in the one accent, also after the appearance changes.
/// Calling it again does nothing more.
void applyBrandTintToApplication();
/// Gives the widget the desktop's window surface as its Window colour (the application
/// palette's, as it changes): a bar or capsule that paints or fills its Window colour then
/// stands apart from the brand-coloured area it lies on instead of taking that area's colour.
void setWindowSurface(QWidget& widget);

} // namespace sorvik
