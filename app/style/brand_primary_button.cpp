#include "app/style/brand_primary_button.h"

#include "app/style/brand_colors.h"
#include "app/style/ui_style.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyle>

#include <algorithm>

namespace sorvik {

namespace {

    constexpr int iconSpacing = 6;
    constexpr double pressedFillOpacity = 0.78;
    constexpr double disabledFillOpacity = 0.35;
    constexpr double disabledOpacity = 0.6;

} // namespace

BrandPrimaryButton::BrandPrimaryButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{
    setFont(pixelFont(13, QFont::DemiBold));
}

BrandPrimaryButton::BrandPrimaryButton(QWidget* parent)
    : BrandPrimaryButton(QString(), parent)
{
}

QSize BrandPrimaryButton::sizeHint() const
{
    auto label = fontMetrics().size(Qt::TextShowMnemonic, text());
    int width = label.width();
    int height = label.height();
    if (!icon().isNull()) {
        width += iconSize().width() + (text().isEmpty() ? 0 : iconSpacing);
        height = std::max(height, iconSize().height());
    }
    return { width + 2 * (horizontalPadding + ringMargin),
        height + 2 * (verticalPadding + ringMargin) };
}

QSize BrandPrimaryButton::minimumSizeHint() const { return sizeHint(); }

QRect BrandPrimaryButton::fillRect() const
{
    return rect().adjusted(ringMargin, ringMargin, -ringMargin, -ringMargin);
}

void BrandPrimaryButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(isEnabled() ? 1.0 : disabledOpacity);

    auto fill = QRectF(fillRect());
    QColor mint = BrandColors::color(BrandColor::brandMint);
    double fillOpacity = isEnabled() ? (isDown() ? pressedFillOpacity : 1.0) : disabledFillOpacity;
    mint.setAlphaF(static_cast<float>(fillOpacity));
    QPainterPath shape;
    shape.addRoundedRect(fill, cornerRadius, cornerRadius);
    painter.fillPath(shape, mint);

    if (hasFocus()) {
        painter.setPen(QPen(BrandColors::color(BrandColor::brandAccent), ringWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(fill.adjusted(-ringOffset, -ringOffset, ringOffset, ringOffset),
            cornerRadius, cornerRadius);
    }

    // The label, icon first, centred in the fill.
    auto content = fillRect().adjusted(
        horizontalPadding, verticalPadding, -horizontalPadding, -verticalPadding);
    auto textSize = fontMetrics().size(Qt::TextShowMnemonic, text());
    int labelWidth = textSize.width();
    bool hasIcon = !icon().isNull();
    if (hasIcon)
        labelWidth += iconSize().width() + (text().isEmpty() ? 0 : iconSpacing);
    int x = content.x() + (content.width() - labelWidth) / 2;
    if (hasIcon) {
        auto pixmap = icon().pixmap(iconSize(), devicePixelRatioF());
        int y = content.y() + (content.height() - iconSize().height()) / 2;
        painter.drawPixmap(QRect(QPoint(x, y), iconSize()), pixmap);
        x += iconSize().width() + iconSpacing;
    }
    int flags = Qt::AlignVCenter | Qt::AlignLeft
        | (style()->styleHint(QStyle::SH_UnderlineShortcut, nullptr, this) ? Qt::TextShowMnemonic
                                                                           : Qt::TextHideMnemonic);
    painter.setPen(BrandColors::color(BrandColor::brandInk));
    style()->drawItemText(&painter,
        QRect(x, content.y(), content.right() - x + 1, content.height()), flags, palette(), true,
        text(), QPalette::NoRole);
}

bool BrandPrimaryButton::hitButton(const QPoint& position) const
{
    return fillRect().contains(position);
}

} // namespace sorvik
