#pragma once

#include <QApplication>
#include <QWheelEvent>
#include <QWidget>
#include <qtestspontaneevent.h>

namespace sorvik::testing {

/// One notch of a mouse wheel turned towards the user (the list below comes up), or away
/// from the user with `down` false, with the pointer over the middle of `widget`. It arrives
/// as the window system's events do: at the innermost widget under the pointer, handed on to
/// its parents while none takes it, giving the focus to a control that takes it from the wheel.
inline void turnWheelOver(QWidget& widget, bool down = true)
{
    auto* window = widget.window();
    QPoint inWindow = widget.mapTo(window, widget.rect().center());
    QWidget* target = window->childAt(inWindow);
    if (!target)
        target = window;
    QPointF local = target->mapFrom(window, inWindow);
    QPointF global = window->mapToGlobal(QPointF(inWindow));
    QWheelEvent event(local, global, QPoint(), QPoint(0, down ? -120 : 120), Qt::NoButton,
        Qt::NoModifier, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&event);
    QApplication::instance()->notify(target, &event);
}

} // namespace sorvik::testing
