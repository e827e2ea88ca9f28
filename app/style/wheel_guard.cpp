#include "app/style/wheel_guard.h"

#include <QEvent>
#include <QFocusEvent>
#include <QWidget>

namespace sorvik {

namespace {

    // The focus a program gives (a new rule's first field) is no choice of the user's: a
    // control holding it would still turn under a user who scrolls past it.
    class WheelGuard : public QObject {
    public:
        using QObject::QObject;

    protected:
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            switch (event->type()) {
            case QEvent::FocusIn:
                noteFocus(static_cast<QFocusEvent*>(event)->reason(), true);
                return false;
            case QEvent::FocusOut:
                noteFocus(static_cast<QFocusEvent*>(event)->reason(), false);
                return false;
            case QEvent::Wheel:
                break;
            default:
                return false;
            }
            auto* control = qobject_cast<QWidget*>(watched);
            if (!control || (control->hasFocus() && m_chosen))
                return false;
            // Handled here and not accepted: the application hands the event on to the
            // control's parents, up to the scroll area.
            event->ignore();
            return true;
        }

    private:
        void noteFocus(Qt::FocusReason reason, bool in)
        {
            switch (reason) {
            // The window, a popup or the menu bar took the focus for a while and gives it back:
            // it stays what it was.
            case Qt::ActiveWindowFocusReason:
            case Qt::PopupFocusReason:
            case Qt::MenuBarFocusReason:
                return;
            case Qt::MouseFocusReason:
            case Qt::TabFocusReason:
            case Qt::BacktabFocusReason:
            case Qt::ShortcutFocusReason:
                m_chosen = in;
                return;
            default:
                m_chosen = false;
                return;
            }
        }

        bool m_chosen = false;
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
