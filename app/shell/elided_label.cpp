#include "app/shell/elided_label.h"

#include "app/style/ui_style.h"

#include <utility>

namespace sorvik {

ElidedLabel::ElidedLabel(QString text, QWidget* parent)
    : QLabel(parent)
    , m_whole(std::move(text))
{
    setTextFormat(Qt::PlainText);
    setToolTip(plainToolTip(m_whole));
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setText(m_whole);
}

void ElidedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    setText(fontMetrics().elidedText(m_whole, Qt::ElideMiddle, width()));
}

} // namespace sorvik
