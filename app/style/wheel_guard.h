#pragma once

class QWidget;

// A picker or a date field under the pointer of a user scrolling a form would change its value
// with every notch of the wheel, and the form would not move. Such a control takes the wheel
// only while it has the keyboard focus, which a click or Tab gives it (never the wheel itself);
// otherwise the wheel event goes on to the widgets around it, and the scroll area that holds
// them scrolls.
namespace sorvik {

/// Makes `control` take wheel events only while it has the keyboard focus.
void takeWheelOnlyWhenFocused(QWidget& control);

} // namespace sorvik
