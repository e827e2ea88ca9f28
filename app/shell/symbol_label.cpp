#include "app/shell/symbol_label.h"

#include "app/style/symbol_icons.h"
#include "app/style/ui_style.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

namespace sorvik {

SymbolLabel::SymbolLabel(
    std::string_view symbol, ColorSource symbolColor, ColorSource textColor, QWidget* parent)
    : QWidget(parent)
    , m_symbol(symbol)
    , m_symbolColor(std::move(symbolColor))
    , m_textColor(std::move(textColor))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    m_icon = new QLabel(this);
    m_text = plainLabel(QString(), this);
    layout->addWidget(m_icon);
    layout->addWidget(m_text);
    followApplicationPalette(*this, [this] { recolor(); });
}

void SymbolLabel::setText(const QString& text) { setPlainText(*m_text, text); }

QString SymbolLabel::text() const { return m_text->text(); }

QColor SymbolLabel::symbolColor() const { return m_symbolColor ? m_symbolColor() : QColor(); }

void SymbolLabel::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // The symbol is as tall as the text, so that it follows a font change.
    if (event->type() == QEvent::FontChange)
        recolor();
}

void SymbolLabel::recolor()
{
    int side = QFontMetrics(m_text->font()).height();
    m_icon->setFixedSize(side, side);
    m_icon->setPixmap(
        tintedSymbolIcon(m_symbol, symbolColor()).pixmap(QSize(side, side), devicePixelRatioF()));
    if (m_textColor) {
        auto palette = m_text->palette();
        for (auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled })
            palette.setColor(group, QPalette::WindowText, m_textColor());
        m_text->setPalette(palette);
    }
}

} // namespace sorvik
