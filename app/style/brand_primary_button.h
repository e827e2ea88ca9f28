#pragma once

#include <QPushButton>

// The application's primary button: its label in 13 px semibold `brandInk` on a rounded
// `brandMint` fill (radius 8), padded 18 by 11. The fill is drawn at 0.78 opacity while
// pressed and fully otherwise; a disabled button shows the fill at 0.35 whether pressed or
// not, and the whole button at 0.6. While the button has keyboard focus a 2 px ring in
// `brandAccent` runs 3 px outside the fill, so the widget keeps a margin of `ringMargin`
// around the fill for it. Mint and ink stay the same in light and dark.
namespace sorvik {

class BrandPrimaryButton : public QPushButton {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BrandPrimaryButton)

public:
    /// The space kept around the fill for the focus ring.
    static constexpr int ringMargin = 5;
    static constexpr int cornerRadius = 8;
    static constexpr int horizontalPadding = 18;
    static constexpr int verticalPadding = 11;
    /// How far outside the fill the focus ring runs (the middle of its stroke).
    static constexpr int ringOffset = 3;
    static constexpr int ringWidth = 2;

    explicit BrandPrimaryButton(const QString& text, QWidget* parent = nullptr);
    explicit BrandPrimaryButton(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    /// The rectangle of the mint fill inside the widget.
    QRect fillRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;
};

} // namespace sorvik
