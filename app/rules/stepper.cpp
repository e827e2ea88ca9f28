#include "app/rules/stepper.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

#include <algorithm>

namespace sorvik {

Stepper::Stepper(
    const QString& labelFormat, std::int64_t minimum, std::int64_t maximum, QWidget* parent)
    : QWidget(parent)
    , m_labelFormat(labelFormat)
    , m_minimum(minimum)
    , m_maximum(maximum)
    , m_label(new QLabel(this))
    , m_down(new QToolButton(this))
    , m_up(new QToolButton(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    m_label->setTextFormat(Qt::PlainText);
    layout->addWidget(m_label);
    layout->addSpacing(4);
    // The names of the two actions of a stepper, as screen readers know them.
    m_down->setObjectName(QStringLiteral("stepDown"));
    m_down->setArrowType(Qt::DownArrow);
    m_down->setAccessibleName(QStringLiteral("Decrement"));
    m_up->setObjectName(QStringLiteral("stepUp"));
    m_up->setArrowType(Qt::UpArrow);
    m_up->setAccessibleName(QStringLiteral("Increment"));
    for (auto* button : { m_down, m_up }) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::StrongFocus);
        layout->addWidget(button);
    }
    layout->addStretch(1);
    connect(m_down, &QToolButton::clicked, this, [this] { step(-1); });
    connect(m_up, &QToolButton::clicked, this, [this] { step(1); });
    showValue();
}

void Stepper::setValue(std::int64_t value)
{
    m_value = value;
    showValue();
}

void Stepper::step(int direction)
{
    if (direction > 0 && m_value >= m_maximum)
        return;
    if (direction < 0 && m_value <= m_minimum)
        return;
    // Never beyond the range, so neither step can overflow.
    m_value = direction > 0 ? std::max(m_value + 1, m_minimum) : std::min(m_value - 1, m_maximum);
    showValue();
    emit stepped(m_value);
}

void Stepper::showValue()
{
    auto text = m_labelFormat.arg(static_cast<qlonglong>(m_value));
    m_label->setText(text);
    setAccessibleName(text);
    m_down->setEnabled(m_value > m_minimum);
    m_up->setEnabled(m_value < m_maximum);
}

} // namespace sorvik
