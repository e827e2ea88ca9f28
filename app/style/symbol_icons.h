#pragma once

#include <QColor>
#include <QIcon>

#include <string_view>

// The system symbol names of the design ("folder", "lock.fill", "slider.horizontal.3", …),
// also stored in presets, drawn on this desktop. One fixed table maps each name to a
// freedesktop icon-theme name where the theme has a fitting icon, and to a drawing of our
// own (resources/symbols) that stands in when the theme has none and wherever the design
// colours a symbol. A name outside the table, such as a hand-edited preset's, gets a
// generic symbol: a stored name never becomes a file path.
namespace sorvik {

/// The symbol as the desktop's icon theme draws it, else our own drawing in the palette's
/// text colour (the selected and disabled text colours in those modes).
QIcon symbolIcon(std::string_view name);
/// Our own drawing of the symbol in one colour (disabled: at half its opacity; selected: in
/// the selected text colour, so that it reads on the selection).
QIcon tintedSymbolIcon(std::string_view name, const QColor& color);

/// Whether the name is one of the table's (an unknown name still gets a generic icon).
bool isKnownSymbol(std::string_view name);
/// The freedesktop icon name tried first for the symbol; empty when the theme has none.
std::string_view symbolThemeName(std::string_view name);
/// The Qt resource of our own drawing of the symbol (the generic one for unknown names).
QString symbolResource(std::string_view name);

} // namespace sorvik
