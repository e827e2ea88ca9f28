#include "app/rules/integer_field.h"

#include "app/rules/field_undo.h"

#include <QEvent>
#include <QSignalBlocker>

namespace sorvik {

Int64Validator::Int64Validator(QObject* parent)
    : QValidator(parent)
{
}

std::optional<std::int64_t> Int64Validator::parse(const QString& text, const QLocale& locale)
{
    bool isNumber = false;
    auto value = locale.toLongLong(text, &isNumber);
    if (!isNumber)
        return std::nullopt;
    return static_cast<std::int64_t>(value);
}

QValidator::State Int64Validator::validate(QString& input, int& /*position*/) const
{
    if (parse(input, locale()))
        return Acceptable;
    // On the way to a number: "", "-", "1,0" before "1,000", or more digits than fit, which
    // leaving the field puts back.
    auto isPartOfNumber = [this](QChar character) {
        return character.isDigit() || character.isSpace() || character == u'-' || character == u'+'
            || locale().groupSeparator().contains(character)
            || locale().negativeSign().contains(character)
            || locale().positiveSign().contains(character);
    };
    for (auto character : input) {
        if (!isPartOfNumber(character))
            return Invalid;
    }
    return Intermediate;
}

void Int64Validator::fixup(QString& input) const
{
    input = m_fallback;
    m_fixedUp = true;
}

IntegerField::IntegerField(const QString& label, QWidget* parent)
    : QLineEdit(parent)
    , m_validator(new Int64Validator(this))
{
    setPlaceholderText(label);
    setAccessibleName(label);
    setToolTip(label);
    m_validator->setLocale(locale());
    setValidator(m_validator);
    leaveEmptyUndoToTheWindow(*this);
    showValue();
    connect(this, &QLineEdit::textEdited, this, [this] { m_typed = true; });
    connect(this, &QLineEdit::editingFinished, this, [this] { commit(); });
}

void IntegerField::setValue(std::int64_t value)
{
    if (value == m_value)
        return;
    m_value = value;
    showValue();
}

void IntegerField::changeEvent(QEvent* event)
{
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::LocaleChange) {
        m_validator->setLocale(locale());
        showValue();
    }
}

void IntegerField::commit()
{
    // Text that was no number has been put back by now: that is not a number typed.
    bool fixedUp = m_validator->takeFixedUp();
    bool typed = std::exchange(m_typed, false) && !fixedUp;
    auto entered = Int64Validator::parse(text(), locale());
    if (!typed || !entered) {
        showValue();
        return;
    }
    m_value = *entered;
    showValue();
    emit valueCommitted(m_value);
}

void IntegerField::showValue()
{
    auto shown = locale().toString(static_cast<qlonglong>(m_value));
    m_validator->setFallback(shown);
    if (text() == shown)
        return;
    QSignalBlocker blocker(this);
    setText(shown);
    m_typed = false;
}

} // namespace sorvik
