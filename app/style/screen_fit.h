#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// Every window of the program opens whole on one screen. Its minimum and the size it opens at
// are what it asks for where the screen's available room allows, and that room where it does
// not (a full-HD laptop at 200 % has 960 by 540 points, a panel and a title bar less); what
// then no longer fits in the window scrolls there. A window opens over the window it belongs
// to, on that window's screen; one that belongs to none (the main window) opens on the screen
// under the pointer. The sizes are fitted again when a window goes to another screen or its
// screen's room changes (a panel, a new resolution), and a window that grows while shown (a
// sheet whose list grows) is kept on its screen. A message box whose text is taller than the
// room shows it in a scrolling area.
namespace sorvik {

/// What a window is given on one screen, its frame left out.
struct FittedSizes {
    QSize minimum;
    QSize maximum;
    QSize size;
};

/// The sizes of a window that asks for `minimum` and `maximum` and opens at `preferred`, on a
/// screen whose available geometry is `available`, with `frame` (title bar and borders) around
/// it: each as asked where the framed window fits, otherwise the room the screen has. A
/// minimum the room cannot hold (in width or in height) falls to `least`, the size at which
/// the window's content still shows whole, or to the room where even that does not fit: the
/// window can still be made smaller than its screen.
FittedSizes fitSizes(QSize minimum, QSize least, QSize maximum, QSize preferred,
    const QRect& available, const QMargins& frame);

/// The top left of `frame` moved the least for the whole of it to lie in `available`; a frame
/// larger than `available` keeps its top left, where its title bar is, on it.
QPoint fitFramePosition(const QRect& frame, const QRect& available);

/// From now on, fits every window of the application (main and dialog windows, not menus or
/// tips) to its screen whenever the program shows it. Later calls change nothing.
void fitWindowsToScreens();

/// `window` asks for `minimum` and opens at `preferred`, as far as its screen allows; until it
/// is shown it has them as asked. A window that asks for nothing keeps the sizes it has when
/// first shown (its layout's, or fixed ones) as far as the screen allows.
void setFittedSizes(QWidget& window, QSize minimum, QSize preferred);

/// `window`, which has no parent, opens over `anchor` and on its screen.
void setFitAnchor(QWidget& window, QWidget& anchor);

/// Fits a shown `window` to its screen again, after its content changed in a way that resizes
/// it (a message box's new text).
void refitToScreen(QWidget& window);

} // namespace sorvik
