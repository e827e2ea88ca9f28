#include "app/style/fitting_scroll_area.h"

#include <QLayout>
#include <QScrollBar>

namespace sorvik {

FittingScrollArea::FittingScrollArea(QWidget* page, QWidget* parent)
    : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::NoFocus);
    setWidgetResizable(true);
    // The page paints its own background, if any; the area adds none.
    viewport()->setAutoFillBackground(false);
    setWidget(page);
}

QSize FittingScrollArea::pageMinimumSize() const
{
    auto* page = widget();
    if (!page)
        return {};
    // As a layout would give it: its own minimum where it sets one, else its layout's.
    return QLayout::closestAcceptableSize(page, QSize(0, 0));
}

QSize FittingScrollArea::sizeHint() const
{
    auto* page = widget();
    if (!page)
        return QScrollArea::sizeHint();
    auto whole
        = QLayout::closestAcceptableSize(page, page->sizeHint()).expandedTo(pageMinimumSize());
    return whole + QSize(verticalScrollBar()->sizeHint().width(), 0);
}

QSize FittingScrollArea::shortfall(const QWidget& window)
{
    QSize most(0, 0);
    for (const auto* area : window.findChildren<FittingScrollArea*>())
        most = most.expandedTo(area->pageMinimumSize() - area->minimumSizeHint());
    return most;
}

} // namespace sorvik
