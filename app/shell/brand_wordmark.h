#pragma once

#include <QPixmap>
#include <QWidget>

namespace sorvik {

/// The name of the program set beside its symbol, as the window's toolbar shows it in its
/// middle: 112 by 24, the name in the palette's text colour, so it reads in light and dark.
/// Made larger (the Updates tab's 132 by 28), symbol, gap and name grow with its height, and
/// may start at its left edge instead.
class BrandWordmark : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BrandWordmark)

public:
    static constexpr int wordmarkWidth = 112;
    static constexpr int wordmarkHeight = 24;
    static constexpr const char* nameText = "sorvik";

    explicit BrandWordmark(QWidget* parent = nullptr);
    /// The wordmark at `size`, its content placed by `alignment` (left or centred).
    BrandWordmark(QSize size, Qt::Alignment alignment, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Drawn again only for a screen of another pixel ratio.
    QPixmap m_symbol;
    Qt::Alignment m_alignment = Qt::AlignHCenter;
};

} // namespace sorvik
