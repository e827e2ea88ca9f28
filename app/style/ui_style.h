#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>

#include <functional>
#include <string>
#include <string_view>

class QLabel;
class QObject;
class QWidget;

// How every window of sorvik sizes, colours and labels things. Use these, never raw numbers
// or QString conversions of your own:
//
// - Geometry. A point of the design is one device-independent pixel: margins, spacings and
//   frames are written as they are designed (padding 16 is 16).
// - Fonts. A named text style ("body", "caption", "title-2", the rule column's 14 and 10) is
//   `styleFont(TextStyle::…)`, scaled from the application font, so a user's larger desktop font
//   makes every style larger alike. An explicit size with its weight ("13 points, semibold")
//   is `pixelFont(13, QFont::DemiBold)`. Never `setPointSize`: a Qt point is 1/72 inch.
// - Colours. Text and symbols in the primary, secondary, tertiary and quaternary styles, and
//   the orange and green of statuses, are `toneColor(Tone::…)` or `setTone(widget, …)`. The
//   brand palette is in brand_colors.h; "tint" is the palette's Highlight role there. Colours
//   are resolved from the application palette when they are used and again whenever it
//   changes (`followApplicationPalette`), so light and dark both work: never keep a QColor of
//   a palette in a member.
// - Symbols. A system symbol name of the design ("folder", "lock.fill", a preset's symbol) is
//   `symbolIcon(name)`, or `tintedSymbolIcon(name, colour)` where the design colours it
//   (symbol_icons.h). Names stay data: an unknown one gets a generic icon.
// - Text is text. Data shown to the user (file, token, preset and rule names, summaries,
//   reasons, messages) goes into a label through `plainLabel`/`setPlainText`, into a tooltip
//   through `plainToolTip`, and into an action or button text through `escapeMnemonics`. Qt
//   would otherwise read a name holding "<img src=…>" as HTML and open that file, or eat the
//   "&" of "Find & Replace" as a mnemonic. List and table items are plain already.
// - Bytes and text. A stored UTF-8 text becomes a QString through `toQString` and comes back
//   through `toUtf8`; both keep a leading U+FEFF. File names are bytes: a QString made from a
//   file name is for display only and never turned back into a path.
namespace sorvik {

/// The named text styles of the design.
enum class TextStyle {
    body,
    callout,
    caption,
    headline,
    title2,
    title3,
    monospacedBody,
    /// The rule column's title line.
    size14,
    /// The rule column's subtitle line.
    size10,
};

/// The style's font, sized relative to the application font (body is the application font's
/// own size) and in the style's weight.
QFont styleFont(TextStyle style);
/// The style's font in the given weight.
QFont styleFont(TextStyle style, QFont::Weight weight);
/// The style's size in pixels for the current application font.
int pixelSize(TextStyle style);
/// The application font's family at exactly `pixels` pixels.
QFont pixelFont(int pixels, QFont::Weight weight = QFont::Normal);

/// The foreground styles of text and symbols.
enum class Tone { primary, secondary, tertiary, quaternary, orange, green, red };

/// The tone's colour for a palette. The grey tones are the palette's `role` colour at lower
/// opacity; orange, green and red are status colours with a light and a dark value.
QColor toneColor(Tone tone, const QPalette& palette, QPalette::ColorRole role = QPalette::Text);
/// The tone's colour for the application palette.
QColor toneColor(Tone tone);
/// Draws the widget's text (WindowText and Text) in the tone from now on, also after the
/// application palette changes. A later call replaces the tone.
void setTone(QWidget& widget, Tone tone);

/// Whether the palette is a dark one: its window colour darker than its text colour.
bool isDarkPalette(const QPalette& palette);

/// Calls `apply` now and again after every change of the application palette, for as long
/// as `owner` lives.
void followApplicationPalette(QObject& owner, std::function<void()> apply);

/// Shows `text` exactly as typed: never read as HTML, never with mnemonics (a label with a
/// buddy reads "&" as its mnemonic again, so a label showing data has none).
void setPlainText(QLabel& label, const QString& text);
/// A new label showing `text` as typed.
QLabel* plainLabel(const QString& text, QWidget* parent = nullptr);
/// A tooltip that shows `text` as typed; empty for an empty text (no tooltip).
QString plainToolTip(const QString& text);
/// `text` for an action, menu or button, whose "&" would otherwise mark a mnemonic.
QString escapeMnemonics(const QString& text);

/// UTF-8 text as a QString; a leading U+FEFF is kept, and bytes that are not UTF-8 show as
/// U+FFFD (for display only).
QString toQString(std::string_view utf8);
/// A QString as UTF-8; a leading U+FEFF is kept.
std::string toUtf8(const QString& text);

} // namespace sorvik
