#pragma once

#include <QWidget>

#include <cstdint>

class QLabel;
class QToolButton;

// A label that shows a number, beside a button that steps it down and one that steps it up,
// within a range. It shows a stored value exactly, also one outside the range: a value is
// changed only by a step, and a step from outside the range lands inside it. The button
// that would leave the range is disabled, so at the top an increment does nothing.
namespace sorvik {

class Stepper : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Stepper)

public:
    /// `labelFormat` holds "%1" where the number goes.
    Stepper(const QString& labelFormat, std::int64_t minimum, std::int64_t maximum,
        QWidget* parent = nullptr);

    std::int64_t value() const { return m_value; }
    /// Shows `value` as it is.
    void setValue(std::int64_t value);

    /// One step: +1 up, -1 down. Nothing when that button is disabled.
    void step(int direction);

    QToolButton* downButton() const { return m_down; }
    QToolButton* upButton() const { return m_up; }

signals:
    /// The user stepped to `value`.
    void stepped(std::int64_t value);

private:
    void showValue();

    QString m_labelFormat;
    std::int64_t m_minimum;
    std::int64_t m_maximum;
    std::int64_t m_value = 0;
    QLabel* m_label;
    QToolButton* m_down;
    QToolButton* m_up;
};

} // namespace sorvik
