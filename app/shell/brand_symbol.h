#pragma once

#include <QPixmap>
#include <QSize>

namespace sorvik {

/// The brand symbol (a name tag whose new name is marked) drawn at `size` device-independent
/// pixels for a screen of `devicePixelRatio`.
QPixmap brandSymbol(QSize size, qreal devicePixelRatio);

} // namespace sorvik
