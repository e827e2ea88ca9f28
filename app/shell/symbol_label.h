#pragma once

#include <QColor>
#include <QWidget>

#include <functional>
#include <string>
#include <string_view>

class QLabel;

namespace sorvik {

/// A symbol beside a line of text, as the footer's counts and the access bar show them. Both
/// colours are asked for again whenever the application palette changes, so a brand or tone
/// colour follows light and dark.
class SymbolLabel : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SymbolLabel)

public:
    using ColorSource = std::function<QColor()>;

    SymbolLabel(std::string_view symbol, ColorSource symbolColor, ColorSource textColor,
        QWidget* parent = nullptr);

    /// Shown as typed, never as HTML.
    void setText(const QString& text);
    QString text() const;
    /// The symbol's name.
    const std::string& symbol() const { return m_symbol; }
    /// The colour the symbol is drawn in now.
    QColor symbolColor() const;

    QLabel& textLabel() const { return *m_text; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void recolor();

    std::string m_symbol;
    ColorSource m_symbolColor;
    ColorSource m_textColor;
    QLabel* m_icon = nullptr;
    QLabel* m_text = nullptr;
};

} // namespace sorvik
