#include "app/rules/rule_card.h"

#include "app/rules/condition_editor.h"
#include "app/rules/rule_editor_factory.h"
#include "app/rules/rule_titles.h"
#include "app/style/brand_colors.h"
#include "app/style/symbol_icons.h"
#include "app/style/ui_style.h"
#include "engine/pipeline/token_parser.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionFocusRect>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>

namespace sorvik {

namespace {

    constexpr int titleSpacing = 3;
    constexpr double strokeOpacity = 0.65;
    constexpr double strokeWidth = 0.5;

    QString kindTitle(const Rule& rule) { return toQString(title(rule.kind)); }

    QFrame* divider(QWidget* parent)
    {
        auto* line = new QFrame(parent);
        line->setObjectName(QStringLiteral("divider"));
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        return line;
    }

    const std::string* templateOf(const Rule& rule)
    {
        if (const auto* insert = std::get_if<InsertConfig>(&rule.kind.config))
            return &insert->text;
        if (const auto* pattern = std::get_if<PatternConfig>(&rule.kind.config))
            return &pattern->templateText;
        if (const auto* organize = std::get_if<OrganizeConfig>(&rule.kind.config))
            return &organize->templateText;
        return nullptr;
    }

} // namespace

// The button that toggles the card: the kind's title in semibold and, while the card is
// collapsed, the summary under it in the caption style, each cut to one line.
class RuleCard::TitleButton : public QAbstractButton {
public:
    explicit TitleButton(QWidget* parent)
        : QAbstractButton(parent)
    {
        setObjectName(QStringLiteral("title"));
        setFocusPolicy(Qt::StrongFocus);
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }

    void show(const QString& title, const QString& summary, bool withSummary)
    {
        if (title == m_title && summary == m_summary && withSummary == m_withSummary)
            return;
        m_title = title;
        m_summary = summary;
        m_withSummary = withSummary;
        setAccessibleName(title);
        setAccessibleDescription(withSummary ? summary : QString());
        setToolTip(withSummary ? plainToolTip(summary) : QString());
        updateGeometry();
        update();
    }

    const QString& summary() const { return m_summary; }
    bool showsSummary() const { return m_withSummary; }

    QSize sizeHint() const override
    {
        // Whole pixels above the text's fractional width, or eliding would cut a title that
        // just fits.
        QFontMetricsF titleMetrics(titleFont());
        qreal width = titleMetrics.horizontalAdvance(m_title);
        int height = QFontMetrics(titleFont()).height();
        if (m_withSummary) {
            QFontMetricsF summaryMetrics(summaryFont());
            width = std::max(width, summaryMetrics.horizontalAdvance(oneLine(m_summary)));
            height += titleSpacing + QFontMetrics(summaryFont()).height();
        }
        return { int(std::ceil(width)) + 1 + 2 * focusMargin, height + 2 * focusMargin };
    }

    QSize minimumSizeHint() const override
    {
        auto hint = sizeHint();
        return { std::min(hint.width(), QFontMetrics(titleFont()).averageCharWidth() * 4),
            hint.height() };
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        auto area = rect().adjusted(focusMargin, focusMargin, -focusMargin, -focusMargin);
        QFontMetrics titleMetrics(titleFont());
        painter.setFont(titleFont());
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QRect(area.left(), area.top(), area.width(), titleMetrics.height()),
            Qt::AlignLeft | Qt::AlignVCenter,
            titleMetrics.elidedText(m_title, Qt::ElideRight, area.width()));
        if (m_withSummary) {
            QFontMetrics summaryMetrics(summaryFont());
            painter.setFont(summaryFont());
            painter.setPen(toneColor(Tone::secondary, palette(), QPalette::WindowText));
            int top = area.top() + titleMetrics.height() + titleSpacing;
            painter.drawText(QRect(area.left(), top, area.width(), summaryMetrics.height()),
                Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                summaryMetrics.elidedText(oneLine(m_summary), Qt::ElideRight, area.width()));
        }
        if (hasFocus()) {
            QStyleOptionFocusRect option;
            option.initFrom(this);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
        }
    }

private:
    static constexpr int focusMargin = 1;

    // A summary's line breaks would otherwise make it several lines.
    static QString oneLine(QString text)
    {
        return text.replace(QChar::LineFeed, QChar::Space)
            .replace(QChar::CarriageReturn, QChar::Space)
            .replace(QChar::LineSeparator, QChar::Space)
            .replace(QChar::ParagraphSeparator, QChar::Space);
    }

    static QFont titleFont() { return styleFont(TextStyle::body, QFont::DemiBold); }
    static QFont summaryFont() { return styleFont(TextStyle::caption); }

    QString m_title;
    QString m_summary;
    bool m_withSummary = false;
};

RuleCard::RuleCard(const Rule& rule, bool expanded, ListImport listImport, QWidget* parent)
    : QFrame(parent)
    , m_rule(rule)
    , m_listImport(std::move(listImport))
{
    setObjectName(QStringLiteral("ruleCard"));
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(padding, padding, padding, padding);
    m_layout->setSpacing(spacing);

    auto* header = new QHBoxLayout();
    header->setContentsMargins(0, 0, 0, 0);
    m_symbol = new QLabel(this);
    m_symbol->setObjectName(QStringLiteral("symbol"));
    m_symbol->setFixedSize(symbolSize, symbolSize);
    header->addWidget(m_symbol, 0, Qt::AlignVCenter);

    m_title = new TitleButton(this);
    header->addWidget(m_title, 0, Qt::AlignVCenter);
    header->addStretch(1);

    m_enabled = new QCheckBox(this);
    m_enabled->setObjectName(QStringLiteral("enabled"));
    m_enabled->setToolTip(QStringLiteral("Enabled"));
    header->addWidget(m_enabled, 0, Qt::AlignVCenter);

    m_actions = new QToolButton(this);
    m_actions->setObjectName(QStringLiteral("ruleActions"));
    m_actions->setAccessibleName(QStringLiteral("Rule actions"));
    m_actions->setToolTip(QStringLiteral("Rule actions"));
    m_actions->setIcon(symbolIcon("ellipsis.circle"));
    m_actions->setAutoRaise(true);
    m_actions->setFixedWidth(actionsWidth);
    m_actions->setPopupMode(QToolButton::InstantPopup);
    m_actions->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
    auto* menu = new QMenu(m_actions);
    menu->setObjectName(QStringLiteral("ruleActionsMenu"));
    auto addAction = [menu](const char* name, const char* text) {
        auto* action = menu->addAction(QString::fromUtf8(text));
        action->setObjectName(QString::fromUtf8(name));
        return action;
    };
    connect(addAction("moveUp", "Move Up"), &QAction::triggered, this,
        [this] { emit moveRequested(-1); });
    connect(addAction("moveDown", "Move Down"), &QAction::triggered, this,
        [this] { emit moveRequested(1); });
    connect(addAction("duplicate", "Duplicate"), &QAction::triggered, this,
        &RuleCard::duplicateRequested);
    connect(addAction("delete", "Delete"), &QAction::triggered, this, &RuleCard::deleteRequested);
    m_actions->setMenu(menu);
    header->addWidget(m_actions, 0, Qt::AlignVCenter);
    m_layout->addLayout(header);

    connect(m_title, &QAbstractButton::clicked, this, [this] { setExpanded(!isExpanded()); });
    connect(m_enabled, &QCheckBox::clicked, this, [this](bool checked) {
        Rule changed = m_rule;
        changed.isEnabled = checked;
        edited(changed, std::nullopt);
    });
    m_symbol->installEventFilter(this);
    m_title->installEventFilter(this);

    if (expanded)
        makeExpandedPart();
    showRule();
}

RuleCard::~RuleCard()
{
    // The editors go while the card is whole, reporting to no one (a field that loses its
    // focus as it goes may commit).
    blockSignals(true);
    delete m_expandedPart;
}

void RuleCard::setRule(const Rule& rule)
{
    if (rule == m_rule)
        return;
    m_rule = rule;
    showRule();
}

void RuleCard::setExpanded(bool expanded)
{
    if (expanded == isExpanded())
        return;
    if (expanded) {
        makeExpandedPart();
    } else {
        auto* part = std::exchange(m_expandedPart, nullptr);
        m_expandedLayout = nullptr;
        m_editor = nullptr;
        m_unknownTokens = nullptr;
        m_conditionEditor = nullptr;
        // Its editors report nothing more: the rule they would change is the card's own.
        part->blockSignals(true);
        for (auto* editor : part->findChildren<RuleEditor*>())
            editor->blockSignals(true);
        delete part;
    }
    showRule();
}

QWidget* RuleCard::firstField() const
{
    if (!m_expandedPart)
        return nullptr;
    for (QWidget* part :
        { static_cast<QWidget*>(m_editor), static_cast<QWidget*>(m_conditionEditor) }) {
        if (!part)
            continue;
        // Tab goes round the window's focus chain, and a part's controls are in it in the
        // order they stand on screen.
        for (auto* widget = part->nextInFocusChain(); widget != part;
             widget = widget->nextInFocusChain()) {
            if (part->isAncestorOf(widget) && (widget->focusPolicy() & Qt::TabFocus)
                && widget->isEnabled() && widget->isVisibleTo(m_expandedPart))
                return widget;
        }
    }
    return nullptr;
}

QString RuleCard::unknownTokensText() const
{
    return m_unknownTokens && !m_unknownTokens->isHidden() ? m_unknownTokens->text() : QString();
}

std::string RuleCard::unknownTokensCaption(const Rule& rule)
{
    const auto* templateText = templateOf(rule);
    if (!templateText)
        return {};
    auto names = TokenParser::unknownTokens(*templateText);
    if (names.empty())
        return {};
    std::string caption = "Unknown tokens: ";
    for (std::size_t index = 0; index < names.size(); ++index) {
        if (index > 0)
            caption += ", ";
        caption += names[index];
    }
    return caption;
}

void RuleCard::edited(const Rule& rule, const std::optional<std::string>& typingKey)
{
    if (rule == m_rule)
        return;
    m_rule = rule;
    showRule();
    // The holder may show another rule in this card before the call returns: what is
    // reported is a copy.
    Rule reported = m_rule;
    emit ruleEdited(reported, typingKey);
}

void RuleCard::showRule()
{
    showHeader();
    if (!m_expandedPart)
        return;
    if (m_editor->rule().kind.position() != m_rule.kind.position())
        makeEditor();
    m_editor->setEnabled(m_rule.isEnabled);
    // Each editor keeps its own copy of the rule and writes it whole: both must hold every
    // change, whichever of them (or the switch) made it.
    if (m_editor->rule() != m_rule)
        m_editor->setRule(m_rule);
    if (m_conditionEditor->rule() != m_rule)
        m_conditionEditor->setRule(m_rule);
    auto caption = toQString(unknownTokensCaption(m_rule));
    if (caption != m_unknownTokens->text())
        setPlainText(*m_unknownTokens, caption);
    m_unknownTokens->setVisible(!caption.isEmpty());
}

void RuleCard::showHeader()
{
    auto titleText = kindTitle(m_rule);
    if (m_shownKind != m_rule.kind.position()) {
        m_shownKind = m_rule.kind.position();
        setAccessibleName(titleText);
        showSymbol();
    }
    m_title->show(titleText, toQString(summary(m_rule)), !isExpanded());
    m_enabled->setAccessibleName(QStringLiteral("Enable ") + titleText);
    if (m_enabled->isChecked() != m_rule.isEnabled) {
        QSignalBlocker blocker(m_enabled);
        m_enabled->setChecked(m_rule.isEnabled);
    }
}

void RuleCard::showSymbol()
{
    auto icon = tintedSymbolIcon(symbolName(m_rule.kind), palette().color(QPalette::Highlight));
    m_symbol->setPixmap(icon.pixmap(QSize(symbolSize, symbolSize), devicePixelRatioF()));
}

void RuleCard::makeExpandedPart()
{
    m_expandedPart = new QWidget(this);
    m_expandedPart->setObjectName(QStringLiteral("expandedPart"));
    m_expandedLayout = new QVBoxLayout(m_expandedPart);
    m_expandedLayout->setContentsMargins(0, 0, 0, 0);
    m_expandedLayout->setSpacing(spacing);
    m_expandedLayout->addWidget(divider(m_expandedPart));
    makeEditor();

    m_unknownTokens = plainLabel(QString(), m_expandedPart);
    m_unknownTokens->setObjectName(QStringLiteral("unknownTokens"));
    m_unknownTokens->setFont(styleFont(TextStyle::caption));
    m_unknownTokens->setWordWrap(true);
    setTone(*m_unknownTokens, Tone::orange);
    m_unknownTokens->hide();
    m_expandedLayout->addWidget(m_unknownTokens);

    m_expandedLayout->addWidget(divider(m_expandedPart));
    m_conditionEditor = new ConditionEditor(m_rule, m_expandedPart);
    m_conditionEditor->setObjectName(QStringLiteral("conditionEditor"));
    connect(m_conditionEditor, &RuleEditor::ruleEdited, this, &RuleCard::edited);
    m_expandedLayout->addWidget(m_conditionEditor);
    m_layout->addWidget(m_expandedPart);
    m_expandedPart->show();
}

void RuleCard::makeEditor()
{
    // A rule's kind changes only when a hand-edited file brings another kind under the same
    // id; the editor of the old kind cannot show it, so a new one takes its place.
    int place = 1;
    if (m_editor) {
        place = m_expandedLayout->indexOf(m_editor);
        m_editor->blockSignals(true);
        delete m_editor;
    }
    m_editor = makeRuleEditor(m_rule, m_listImport, m_expandedPart);
    connect(m_editor, &RuleEditor::ruleEdited, this, &RuleCard::edited);
    m_expandedLayout->insertWidget(place, m_editor);
    // A layout shows a widget added to a shown parent only later; the card shows it now.
    m_editor->show();
}

void RuleCard::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    auto appearance = appearanceOf(palette());
    QRectF shape = QRectF(rect()).adjusted(
        strokeWidth / 2, strokeWidth / 2, -strokeWidth / 2, -strokeWidth / 2);
    QPainterPath path;
    path.addRoundedRect(shape, cornerRadius, cornerRadius);
    painter.fillPath(path, BrandColors::color(BrandColor::brandCard, appearance));
    QColor stroke = BrandColors::color(BrandColor::brandStroke, appearance);
    stroke.setAlphaF(static_cast<float>(strokeOpacity));
    painter.setPen(QPen(stroke, strokeWidth));
    painter.drawPath(path);
    QFrame::paintEvent(event);
}

void RuleCard::changeEvent(QEvent* event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        showSymbol();
}

bool RuleCard::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_symbol && watched != m_title)
        return QFrame::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto& press = static_cast<const QMouseEvent&>(*event);
        if (press.button() == Qt::LeftButton) {
            m_pressedAt = press.globalPosition().toPoint();
            m_dragging = false;
        }
        break;
    }
    case QEvent::MouseMove: {
        const auto& move = static_cast<const QMouseEvent&>(*event);
        if (m_dragging)
            return true;
        if (!m_pressedAt || !(move.buttons() & Qt::LeftButton))
            break;
        auto distance = (move.globalPosition().toPoint() - *m_pressedAt).manhattanLength();
        if (distance < QApplication::startDragDistance())
            break;
        // A drag, not a click: the press no longer toggles the card.
        m_dragging = true;
        m_title->setDown(false);
        emit dragRequested();
        return true;
    }
    case QEvent::MouseButtonRelease: {
        m_pressedAt.reset();
        if (std::exchange(m_dragging, false))
            return true;
        break;
    }
    default:
        break;
    }
    return QFrame::eventFilter(watched, event);
}

} // namespace sorvik
