#pragma once

#include <QScrollArea>

// Holds a window's page: as large as the page asks while the window has the room for it, and
// scrolling once the window is smaller (its screen is), so that nothing of the page is cut off
// and the window need not be larger than the screen. It draws nothing of its own around the
// page and takes no focus: Tab goes through the page as it did.
namespace sorvik {

class FittingScrollArea : public QScrollArea {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FittingScrollArea)

public:
    /// Holds `page` (taken over).
    explicit FittingScrollArea(QWidget* page, QWidget* parent = nullptr);

    /// The page's own size, with room for a scroll bar beside it: the page needs no scrolling
    /// sideways because it scrolls up and down.
    QSize sizeHint() const override;
    /// The least room the page needs to show whole.
    QSize pageMinimumSize() const;

    /// How much larger than it asks for `window` must be for the pages of its areas to show
    /// whole (areas side by side are not added up: they hold pages of tabs, one shown at once).
    static QSize shortfall(const QWidget& window);
};

} // namespace sorvik
