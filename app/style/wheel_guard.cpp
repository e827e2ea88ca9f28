#include "app/style/wheel_guard.h"

#include <QEvent>
#include <QWidget>

namespace sorvik {

namespace {

    class WheelGuard : public QObject {
    public:
        using QObject::QObject;

    protected:
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() != QEvent::Wheel)
                return QObject::eventFilter(watched, event);
            auto* control = qobject_cast<QWidget*>(watched);
            if (!control || control->hasFocus())
                return false;
            // Handled here and not accepted: the application hands the event on to the
            // control's parents, up to the scroll area.
            event->ignore();
            return true;
        }
    };

} // namespace

void takeWheelOnlyWhenFocused(QWidget& control)
{
    // The wheel must not give the focus either (pickers and date fields take it from the
    // wheel by default), or the first notch would let the control take the next ones.
    control.setFocusPolicy(Qt::StrongFocus);
    control.installEventFilter(new WheelGuard(&control));
}

} // namespace sorvik
