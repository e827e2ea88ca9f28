#include "app/rules/field_undo.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace sorvik {

namespace {

    class EmptyUndoFilter : public QObject {
    public:
        explicit EmptyUndoFilter(QLineEdit& field)
            : QObject(&field)
            , m_field(field)
        {
        }

        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (watched != &m_field || event->type() != QEvent::ShortcutOverride)
                return false;
            const auto& key = static_cast<const QKeyEvent&>(*event);
            bool undo = key.matches(QKeySequence::Undo) && !m_field.isUndoAvailable();
            bool redo = key.matches(QKeySequence::Redo) && !m_field.isRedoAvailable();
            // Left unaccepted and kept from the field, the keys go to the window's shortcuts.
            if (undo || redo) {
                event->ignore();
                return true;
            }
            return false;
        }

    private:
        QLineEdit& m_field;
    };

} // namespace

void leaveEmptyUndoToTheWindow(QLineEdit& field)
{
    field.installEventFilter(new EmptyUndoFilter(field));
}

} // namespace sorvik
