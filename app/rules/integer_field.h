#pragma once

#include <QLineEdit>
#include <QValidator>

#include <cstdint>
#include <optional>
#include <utility>

// A field for one signed 64-bit number, in the integer format of the field's locale (grouped
// as "2,000,000" in English, "2.000.000" in German), with no range and no stepper. It shows
// the stored value exactly, whatever its size, and writes only when an edit is committed:
// Return, or leaving the field. A number typed is written even when it is the number shown,
// since what is shown may stand for no value at all (a bound shown as 0 when there is none).
// Text that is no number in the end (nothing, "-", letters pasted, a number beyond 64 bits)
// goes back to the stored value and writes nothing, and so does a field left untouched.
namespace sorvik {

/// Accepts the numbers of the locale's integer format that fit in 64 bits; digits, group
/// separators and signs on the way to one are intermediate, anything else is refused.
class Int64Validator : public QValidator {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Int64Validator)

public:
    explicit Int64Validator(QObject* parent = nullptr);

    /// The number that `text` is in `locale`, when it is one that fits.
    static std::optional<std::int64_t> parse(const QString& text, const QLocale& locale);

    State validate(QString& input, int& position) const override;
    /// Puts back the text of the value set with `setFallback`.
    void fixup(QString& input) const override;
    void setFallback(const QString& text) { m_fallback = text; }
    /// Whether `fixup` put the fallback back since the last call.
    bool takeFixedUp() { return std::exchange(m_fixedUp, false); }

private:
    QString m_fallback;
    mutable bool m_fixedUp = false;
};

class IntegerField : public QLineEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(IntegerField)

public:
    explicit IntegerField(const QString& label, QWidget* parent = nullptr);

    /// The stored value the field stands for.
    std::int64_t value() const { return m_value; }
    /// Shows `value` when it is not the stored value already; a number being typed stays
    /// while the stored value is the same.
    void setValue(std::int64_t value);

signals:
    /// The user typed a number and committed it; it is the stored value now.
    void valueCommitted(std::int64_t value);

protected:
    void changeEvent(QEvent* event) override;

private:
    void commit();
    void showValue();

    Int64Validator* m_validator;
    std::int64_t m_value = 0;
    // The user typed since the text was last shown or committed.
    bool m_typed = false;
};

} // namespace sorvik
