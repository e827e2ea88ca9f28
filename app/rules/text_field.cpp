#include "app/rules/text_field.h"

#include "app/rules/field_undo.h"
#include "app/rules/rule_editor.h"
#include "app/style/ui_style.h"

#include <QFocusEvent>
#include <QSignalBlocker>

#include <climits>
#include <utility>

namespace sorvik {

TextField::TextField(const QString& label, QWidget* parent)
    : QLineEdit(parent)
    , m_run(nextTypingRun())
{
    setPlaceholderText(label);
    setAccessibleName(label);
    setToolTip(label);
    // A line edit cuts what it is given at 32,767 characters by default, and the cut text
    // would be stored at the first keystroke.
    setMaxLength(INT_MAX);
    leaveEmptyUndoToTheWindow(*this);
    connect(this, &QLineEdit::textEdited, this, [this](const QString& text) {
        auto typedText = toUtf8(text);
        m_stored = storedForm(typedText);
        emit typed(typedText);
    });
}

void TextField::showStoredText(const std::string& text)
{
    if (text == m_stored)
        return;
    m_stored = text;
    auto shown = toUtf8(this->text());
    if (storedForm(shown) == text && (shown == text || hasFocus()))
        return;
    // Setting an equal text would still move the cursor and clear the field's undo.
    QSignalBlocker blocker(this);
    setText(toQString(text));
    m_run = nextTypingRun();
}

void TextField::setStoredForm(std::function<std::string(const std::string&)> storedForm)
{
    m_storedForm = std::move(storedForm);
}

void TextField::focusInEvent(QFocusEvent* event)
{
    m_run = nextTypingRun();
    QLineEdit::focusInEvent(event);
}

void TextField::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    if (toUtf8(text()) != m_stored) {
        QSignalBlocker blocker(this);
        setText(toQString(m_stored));
    }
}

std::string TextField::storedForm(const std::string& text) const
{
    return m_storedForm ? m_storedForm(text) : text;
}

} // namespace sorvik
