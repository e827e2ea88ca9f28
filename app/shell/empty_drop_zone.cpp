#include "app/shell/empty_drop_zone.h"

#include "app/shell/brand_symbol.h"
#include "app/shell/symbol_label.h"
#include "app/store/renamer_store.h"
#include "app/style/brand_colors.h"
#include "app/style/brand_primary_button.h"
#include "app/style/symbol_icons.h"
#include "app/style/ui_style.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QSpacerItem>
#include <QVBoxLayout>

namespace sorvik {

namespace {

    QLabel* secondaryLine(const QString& text, int pixels, QWidget* parent)
    {
        auto* label = plainLabel(text, parent);
        label->setFont(pixelFont(pixels));
        label->setAlignment(Qt::AlignCenter);
        setTone(*label, Tone::secondary);
        return label;
    }

} // namespace

EmptyDropZone::EmptyDropZone(RenamerStore& store, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
{
    setBrandBackground(*this, BrandColor::brandCanvas);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(24);
    layout->addStretch(1);

    m_symbol = new QSpacerItem(symbolSide, symbolSide, QSizePolicy::Fixed, QSizePolicy::Fixed);
    layout->addItem(m_symbol);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(10);
    auto* title = plainLabel(QString::fromUtf8(titleText), this);
    title->setObjectName(QStringLiteral("title"));
    auto titleFont = pixelFont(28, QFont::DemiBold);
    titleFont.setLetterSpacing(QFont::AbsoluteSpacing, -0.6);
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignCenter);
    texts->addWidget(title);
    auto* subtitle = secondaryLine(QString::fromUtf8(subtitleText), 14, this);
    subtitle->setObjectName(QStringLiteral("subtitle"));
    texts->addWidget(subtitle);
    layout->addLayout(texts);

    m_choose = new BrandPrimaryButton(QString::fromUtf8(chooseText), this);
    m_choose->setObjectName(QStringLiteral("chooseFiles"));
    m_choose->setIcon(
        tintedSymbolIcon("plus", BrandColors::color(BrandColor::brandInk, Appearance::light)));
    connect(m_choose, &QPushButton::clicked, this, [this] { m_store.chooseFiles(); });
    layout->addWidget(m_choose, 0, Qt::AlignHCenter);

    auto* shortcuts = secondaryLine(QString::fromUtf8(shortcutsText), 11, this);
    shortcuts->setObjectName(QStringLiteral("shortcuts"));
    layout->addWidget(shortcuts);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setFixedWidth(260);
    setTone(*divider, Tone::quaternary);
    layout->addWidget(divider, 0, Qt::AlignHCenter);

    auto* privacy = new SymbolLabel(
        "lock.shield", [] { return BrandColors::color(BrandColor::brandAccent); },
        [] { return toneColor(Tone::secondary); }, this);
    privacy->setObjectName(QStringLiteral("privacy"));
    privacy->layout()->setSpacing(6);
    privacy->textLabel().setFont(pixelFont(11));
    privacy->setText(QString::fromUtf8(privacyText));
    layout->addWidget(privacy, 0, Qt::AlignHCenter);

    layout->addStretch(1);
}

void EmptyDropZone::setTargeted(bool targeted)
{
    if (targeted == m_targeted)
        return;
    m_targeted = targeted;
    update();
}

QRect EmptyDropZone::symbolRect() const
{
    // The spacer spans the layout's width; the symbol stands in its middle.
    auto area = m_symbol->geometry();
    return QRect(area.left() + (area.width() - symbolSide) / 2, area.top(), symbolSide, symbolSide);
}

void EmptyDropZone::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_symbolImage.isNull() || m_symbolImage.devicePixelRatio() != devicePixelRatioF())
        m_symbolImage = brandSymbol(QSize(symbolSide, symbolSide), devicePixelRatioF());
    painter.drawPixmap(symbolRect(), m_symbolImage);
    if (!m_targeted)
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(BrandColors::color(BrandColor::brandAccent), frameWidth, Qt::SolidLine));
    painter.setBrush(Qt::NoBrush);
    // The stroke's middle runs half a width inside the inset, so its outer edge is 20 away.
    qreal half = frameWidth / 2.0;
    painter.drawRoundedRect(QRectF(rect()).adjusted(frameInset + half, frameInset + half,
                                -frameInset - half, -frameInset - half),
        frameRadius, frameRadius);
}

} // namespace sorvik
