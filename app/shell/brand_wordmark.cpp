#include "app/shell/brand_wordmark.h"

#include "app/shell/brand_symbol.h"
#include "app/style/ui_style.h"

#include <QPainter>

namespace sorvik {

namespace {

    constexpr int toolbarSymbolSide = 22;
    constexpr int toolbarGap = 7;
    constexpr int toolbarNamePixels = 18;

} // namespace

BrandWordmark::BrandWordmark(QWidget* parent)
    : BrandWordmark(QSize(wordmarkWidth, wordmarkHeight), Qt::AlignHCenter, parent)
{
}

BrandWordmark::BrandWordmark(QSize size, Qt::Alignment alignment, QWidget* parent)
    : QWidget(parent)
    , m_alignment(alignment)
{
    setObjectName(QStringLiteral("brandWordmark"));
    setAccessibleName(QString::fromLatin1(nameText));
    setFixedSize(size);
}

void BrandWordmark::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    // Sizes as designed for the toolbar's height, grown with a taller wordmark.
    qreal scale = qreal(height()) / wordmarkHeight;
    int symbolSide = qRound(toolbarSymbolSide * scale);
    int gap = qRound(toolbarGap * scale);
    auto font = pixelFont(qRound(toolbarNamePixels * scale), QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, -0.4);
    QFontMetrics metrics(font);
    auto name = QString::fromLatin1(nameText);
    int contentWidth = symbolSide + gap + metrics.horizontalAdvance(name);
    int left = m_alignment.testFlag(Qt::AlignLeft) ? 0 : (width() - contentWidth) / 2;

    QRect symbol(left, (height() - symbolSide) / 2, symbolSide, symbolSide);
    if (m_symbol.isNull() || m_symbol.devicePixelRatio() != devicePixelRatioF())
        m_symbol = brandSymbol(symbol.size(), devicePixelRatioF());
    painter.drawPixmap(symbol, m_symbol);

    painter.setFont(font);
    painter.setPen(palette().color(QPalette::WindowText));
    QRect text(symbol.right() + 1 + gap, 0, width() - symbol.right() - 1 - gap, height());
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, name);
}

} // namespace sorvik
