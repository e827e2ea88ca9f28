#include "app/rules/panels/rule_stack_panel.h"

#include "app/rules/panels/row_moves.h"
#include "app/rules/rule_card.h"
#include "app/rules/rule_titles.h"
#include "app/store/list_file.h"
#include "app/store/renamer_store.h"
#include "app/style/brand_colors.h"
#include "app/style/symbol_icons.h"
#include "app/style/ui_style.h"

#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QDragEnterEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <deque>
#include <unordered_map>
#include <utility>

namespace sorvik {

namespace {

    constexpr int headerTitleSpacing = 3;
    constexpr int emptyStateSpacing = 16;
    constexpr int dropLineHeight = 2;
    // Within this distance of the list's top or bottom edge a drag scrolls the list.
    constexpr int scrollEdge = 28;
    constexpr int scrollInterval = 30;
    constexpr int scrollStep = 12;
    constexpr int dragPixmapHeight = 72;

    QString mimeType() { return toQString(RuleStackPanel::dragMimeType); }

    std::vector<Rule> lowercaseAndDashes()
    {
        return { Rule(RuleKind(CaseConfig { CaseStyle::lower, false })),
            Rule(RuleKind(SpaceConfig { SpaceMode::dash })) };
    }

    std::vector<Rule> numberFiles() { return { Rule(RuleKind(NumberingConfig {})) }; }

    std::vector<Rule> addDate() { return { Rule(RuleKind(DateConfig {})) }; }

    // The drag events a control of the panel receives while one of its drags runs.
    bool isDragEvent(QEvent::Type type)
    {
        return type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::DragLeave
            || type == QEvent::Drop;
    }

} // namespace

RuleStackPanel::RuleStackPanel(RenamerStore& store, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_listImport { ListImport::chooseListFile,
        [](const FileURL& url) { return ListFile::read(url); } }
{
    setObjectName(QStringLiteral("ruleStackPanel"));
    setBrandBackground(*this, BrandColor::brandSidebar);
    setAcceptDrops(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* header = new QHBoxLayout();
    header->setContentsMargins(padding, padding, padding, padding);
    auto* titles = new QVBoxLayout();
    titles->setSpacing(headerTitleSpacing);
    auto* heading = new QLabel(QStringLiteral("Rule stack"), this);
    heading->setObjectName(QStringLiteral("panelTitle"));
    heading->setFont(styleFont(TextStyle::size14, QFont::DemiBold));
    titles->addWidget(heading);
    auto* subtitle = new QLabel(QStringLiteral("Applied from top to bottom"), this);
    subtitle->setObjectName(QStringLiteral("panelSubtitle"));
    subtitle->setFont(styleFont(TextStyle::size10));
    setTone(*subtitle, Tone::secondary);
    titles->addWidget(subtitle);
    header->addLayout(titles);
    header->addStretch(1);

    m_addRule = new QToolButton(this);
    m_addRule->setObjectName(QStringLiteral("addRule"));
    m_addRule->setText(QStringLiteral("Add Rule"));
    m_addRule->setIcon(symbolIcon("plus"));
    m_addRule->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_addRule->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(m_addRule);
    menu->setObjectName(QStringLiteral("addRuleMenu"));
    for (auto& kind : RuleKind::defaults()) {
        auto* action = menu->addAction(escapeMnemonics(toQString(title(kind))));
        action->setObjectName(toQString(kind.typeName()));
        connect(action, &QAction::triggered, this, [this, kind] { addRule(kind); });
    }
    m_addRule->setMenu(menu);
    header->addWidget(m_addRule, 0, Qt::AlignVCenter);
    layout->addLayout(header);

    m_emptyState = new QWidget(this);
    m_emptyState->setObjectName(QStringLiteral("emptyState"));
    auto* empty = new QVBoxLayout(m_emptyState);
    empty->setContentsMargins(padding, padding, padding, padding);
    empty->setSpacing(emptyStateSpacing);
    auto* emptyTitle = new QLabel(QStringLiteral("Build a naming workflow"), m_emptyState);
    emptyTitle->setFont(styleFont(TextStyle::title3, QFont::DemiBold));
    empty->addWidget(emptyTitle);
    auto* hint = new QLabel(QStringLiteral("Add rules in the order you want them applied. "
                                           "Preview every change before renaming."),
        m_emptyState);
    hint->setWordWrap(true);
    setTone(*hint, Tone::secondary);
    empty->addWidget(hint);
    auto addStarter = [this, empty](
                          const char* name, const QString& text, std::vector<Rule> (*rules)()) {
        auto* button = new QPushButton(escapeMnemonics(text), m_emptyState);
        button->setObjectName(QString::fromUtf8(name));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, rules] { m_store.setRules(rules()); });
        empty->addWidget(button, 0, Qt::AlignLeft);
    };
    addStarter("lowercaseAndDashes", QStringLiteral("Lowercase & dashes"), lowercaseAndDashes);
    addStarter("numberFiles", QStringLiteral("Number files"), numberFiles);
    addStarter("addDate", QStringLiteral("Add date"), addDate);
    layout->addWidget(m_emptyState);

    m_list = new QScrollArea(this);
    m_list->setObjectName(QStringLiteral("ruleList"));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setWidgetResizable(true);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The list shows the column's background through it.
    m_list->viewport()->setAutoFillBackground(false);
    m_column = new QWidget(m_list);
    m_column->setObjectName(QStringLiteral("ruleColumn"));
    m_column->setAutoFillBackground(false);
    m_cardsLayout = new QVBoxLayout(m_column);
    m_cardsLayout->setContentsMargins(listMargin, 0, listMargin, listMargin);
    m_cardsLayout->setSpacing(cardSpacing);
    m_cardsLayout->addStretch(1);
    m_list->setWidget(m_column);
    layout->addWidget(m_list, 1);

    m_dropLine = new QFrame(m_column);
    m_dropLine->setObjectName(QStringLiteral("dropLine"));
    m_dropLine->setAutoFillBackground(true);
    m_dropLine->setBackgroundRole(QPalette::Highlight);
    m_dropLine->hide();

    m_scrollTimer = new QTimer(this);
    m_scrollTimer->setInterval(scrollInterval);
    connect(m_scrollTimer, &QTimer::timeout, this, &RuleStackPanel::scrollWhileDragging);

    showRules();
    m_revealsNewRules = true;
    connect(&m_store, &RenamerStore::rulesChanged, this, &RuleStackPanel::showRules);
}

RuleStackPanel::~RuleStackPanel()
{
    if (m_dragging)
        qApp->removeEventFilter(this);
}

RuleCard* RuleStackPanel::cardOf(const Uuid& id) const
{
    auto found = std::find_if(
        m_cards.begin(), m_cards.end(), [&](RuleCard* card) { return card->rule().id == id; });
    return found != m_cards.end() ? *found : nullptr;
}

void RuleStackPanel::showRules()
{
    const auto& rules = m_store.rules();
    m_emptyState->setVisible(rules.empty());

    bool sameRules = rules.size() == m_cards.size();
    for (std::size_t index = 0; sameRules && index < rules.size(); ++index)
        sameRules = m_cards[index]->rule().id == rules[index].id;
    if (sameRules) {
        // An edit: every card stays where it is.
        for (std::size_t index = 0; index < rules.size(); ++index)
            m_cards[index]->setRule(rules[index]);
        return;
    }

    // The cards of each id, in their order, so that a repeated id still has a card per rule.
    std::unordered_map<Uuid, std::deque<RuleCard*>> kept;
    for (auto* card : m_cards)
        kept[card->rule().id].push_back(card);
    std::vector<RuleCard*> cards;
    cards.reserve(rules.size());
    RuleCard* firstNew = nullptr;
    for (const auto& rule : rules) {
        auto found = kept.find(rule.id);
        RuleCard* card = nullptr;
        if (found != kept.end() && !found->second.empty()) {
            card = found->second.front();
            found->second.pop_front();
            card->setRule(rule);
        } else {
            card = makeCard(rule);
            if (!firstNew && !m_shownIDs.contains(rule.id))
                firstNew = card;
        }
        cards.push_back(card);
    }
    for (auto& [id, left] : kept) {
        for (auto* card : left)
            dropCard(card);
    }
    for (std::size_t index = 0; index < cards.size(); ++index) {
        if (m_cardsLayout->indexOf(cards[index]) == int(index))
            continue;
        m_cardsLayout->removeWidget(cards[index]);
        m_cardsLayout->insertWidget(int(index), cards[index]);
        cards[index]->show();
    }
    m_cards = std::move(cards);
    for (const auto& rule : m_store.rules())
        m_shownIDs.insert(rule.id);
    // The rules the panel starts with are shown from the top, as the user left them.
    if (firstNew && m_revealsNewRules)
        reveal(*firstNew);
}

void RuleStackPanel::reveal(RuleCard& card)
{
    // The new card has its place once the column is laid out and the list knows its height.
    m_cardsLayout->activate();
    QEvent relayout(QEvent::LayoutRequest);
    QCoreApplication::sendEvent(m_list, &relayout);
    m_cardsLayout->activate();
    auto* bar = m_list->verticalScrollBar();
    int visible = m_list->viewport()->height();
    int top = card.geometry().top();
    int bottom = card.geometry().bottom() + 1;
    if (top < bar->value() || card.height() > visible)
        bar->setValue(top);
    else if (bottom > bar->value() + visible)
        bar->setValue(bottom - visible);
    if (auto* field = card.firstField())
        field->setFocus(Qt::OtherFocusReason);
}

RuleCard* RuleStackPanel::makeCard(const Rule& rule)
{
    // Every card the panel makes starts expanded: a rule added, duplicated, brought by a
    // starter or back from an undone delete shows its settings at once.
    auto* card = new RuleCard(rule, true, m_listImport, m_column);
    connect(card, &RuleCard::ruleEdited, this,
        [this, card](const Rule& edited, const std::optional<std::string>& typingKey) {
            edit(card, edited, typingKey);
        });
    connect(card, &RuleCard::duplicateRequested, this,
        [this, card] { m_store.duplicateRule(card->rule().id); });
    connect(card, &RuleCard::deleteRequested, this, [this, card] { removeRules(card->rule().id); });
    connect(card, &RuleCard::moveRequested, this,
        [this, card](int offset) { m_store.moveRule(card->rule().id, offset); });
    connect(card, &RuleCard::dragRequested, this, [this, card] {
        // The drag runs an event loop of its own: it starts once the card's mouse event is
        // done with, so nothing under that event can be deleted by a drop.
        QMetaObject::invokeMethod(
            this, [this, id = card->rule().id] { startDrag(id); }, Qt::QueuedConnection);
    });
    return card;
}

void RuleStackPanel::dropCard(RuleCard* card)
{
    // The card may be the one whose menu asked for the change, still inside its own code:
    // it goes once that is done, and nothing it still reports reaches the store.
    card->disconnect(this);
    m_cardsLayout->removeWidget(card);
    card->hide();
    card->deleteLater();
}

void RuleStackPanel::addRule(RuleKind kind)
{
    auto rules = m_store.rules();
    rules.emplace_back(std::move(kind));
    m_store.setRules(std::move(rules));
}

void RuleStackPanel::edit(
    RuleCard* card, const Rule& rule, const std::optional<std::string>& typingKey)
{
    // The card's place is its rule's place; a card whose rule is gone writes nothing (a field
    // of a card being dropped may still commit as it loses its focus).
    auto place = std::find(m_cards.begin(), m_cards.end(), card);
    if (place == m_cards.end())
        return;
    auto index = std::size_t(place - m_cards.begin());
    auto rules = m_store.rules();
    if (index >= rules.size() || rules[index].id != rule.id)
        return;
    rules[index] = rule;
    m_store.setRules(std::move(rules), typingKey);
}

void RuleStackPanel::removeRules(const Uuid& id)
{
    auto rules = m_store.rules();
    std::erase_if(rules, [&](const Rule& rule) { return rule.id == id; });
    m_store.setRules(std::move(rules));
}

// ---- Dragging ----

QMimeData* RuleStackPanel::dragData(const std::vector<Uuid>& ids) const
{
    std::string lines = m_dragToken.text();
    for (const auto& id : ids)
        lines += "\n" + id.text();
    auto* payload = new QMimeData();
    payload->setData(mimeType(), QByteArray(lines.data(), qsizetype(lines.size())));
    return payload;
}

std::vector<Uuid> RuleStackPanel::draggedIDs(const QMimeData* payload) const
{
    if (!payload || !payload->hasFormat(mimeType()))
        return {};
    auto lines = payload->data(mimeType()).split('\n');
    if (lines.isEmpty())
        return {};
    auto token = Uuid::parse(std::string_view(lines[0].constData(), std::size_t(lines[0].size())));
    if (!token || *token != m_dragToken)
        return {};
    std::vector<Uuid> ids;
    for (qsizetype index = 1; index < lines.size(); ++index) {
        const auto& line = lines[index];
        auto id = Uuid::parse(std::string_view(line.constData(), std::size_t(line.size())));
        if (!id)
            return {};
        ids.push_back(*id);
    }
    return ids;
}

bool RuleStackPanel::acceptsDrag(const QMimeData* payload) const
{
    return !draggedIDs(payload).empty();
}

std::size_t RuleStackPanel::dropIndex(QPoint position) const
{
    auto inColumn = m_column->mapFrom(this, position);
    for (std::size_t index = 0; index < m_cards.size(); ++index) {
        const auto geometry = m_cards[index]->geometry();
        if (geometry.center().y() > inColumn.y())
            return index;
    }
    return m_cards.size();
}

void RuleStackPanel::dropRules(const QMimeData* payload, std::size_t destination)
{
    auto ids = draggedIDs(payload);
    if (ids.empty())
        return;
    const auto& rules = m_store.rules();
    std::vector<std::size_t> offsets;
    for (std::size_t index = 0; index < rules.size(); ++index) {
        if (std::find(ids.begin(), ids.end(), rules[index].id) != ids.end())
            offsets.push_back(index);
    }
    if (offsets.empty())
        return;
    auto moved = movedRows(rules, offsets, destination);
    // A drop where the rules already are is no change and no undo step.
    if (moved != rules)
        m_store.setRules(std::move(moved));
}

void RuleStackPanel::startDrag(const Uuid& id)
{
    auto* card = cardOf(id);
    // The button may be up again by the time the queued start comes: then there is no drag.
    if (!card || m_dragging || !(QGuiApplication::mouseButtons() & Qt::LeftButton))
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(dragData({ id }));
    auto picture
        = card->grab(QRect(0, 0, card->width(), std::min(card->height(), dragPixmapHeight)));
    drag->setPixmap(picture);
    drag->setHotSpot(card->mapFromGlobal(QCursor::pos()));
    m_dragging = true;
    qApp->installEventFilter(this);
    drag->exec(Qt::MoveAction, Qt::MoveAction);
    qApp->removeEventFilter(this);
    m_dragging = false;
    endDragFeedback();
    drag->deleteLater();
}

bool RuleStackPanel::dragMovedTo(const QMimeData* payload, QPoint position)
{
    if (!acceptsDrag(payload)) {
        endDragFeedback();
        return false;
    }
    m_lastDragPosition = position;
    showDropLine(dropIndex(position));
    auto inList = m_list->viewport()->mapFrom(this, position);
    int height = m_list->viewport()->height();
    m_scrollStep = inList.y() < scrollEdge ? -scrollStep
        : inList.y() > height - scrollEdge ? scrollStep
                                           : 0;
    if (m_scrollStep != 0 && !m_scrollTimer->isActive())
        m_scrollTimer->start();
    else if (m_scrollStep == 0)
        m_scrollTimer->stop();
    return true;
}

void RuleStackPanel::showDropLine(std::size_t index)
{
    int y = 0;
    if (index < m_cards.size())
        y = m_cards[index]->geometry().top() - (cardSpacing + dropLineHeight) / 2;
    else if (!m_cards.empty())
        y = m_cards.back()->geometry().bottom() + (cardSpacing - dropLineHeight) / 2;
    m_dropLine->setGeometry(
        listMargin, std::max(0, y), m_column->width() - 2 * listMargin, dropLineHeight);
    m_dropLine->raise();
    m_dropLine->show();
}

void RuleStackPanel::endDragFeedback()
{
    m_dropLine->hide();
    m_scrollTimer->stop();
    m_scrollStep = 0;
}

void RuleStackPanel::scrollWhileDragging()
{
    auto* bar = m_list->verticalScrollBar();
    bar->setValue(bar->value() + m_scrollStep);
    showDropLine(dropIndex(m_lastDragPosition));
}

void RuleStackPanel::dragEnterEvent(QDragEnterEvent* event)
{
    if (dragMovedTo(event->mimeData(), event->position().toPoint())) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void RuleStackPanel::dragMoveEvent(QDragMoveEvent* event)
{
    if (dragMovedTo(event->mimeData(), event->position().toPoint())) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void RuleStackPanel::dragLeaveEvent(QDragLeaveEvent* event)
{
    endDragFeedback();
    event->accept();
}

void RuleStackPanel::dropEvent(QDropEvent* event)
{
    endDragFeedback();
    if (!acceptsDrag(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::MoveAction);
    event->accept();
    dropRules(event->mimeData(), dropIndex(event->position().toPoint()));
}

bool RuleStackPanel::eventFilter(QObject* watched, QEvent* event)
{
    // Installed on the application while one of our drags runs: a control of the panel that
    // takes drops of its own (a text field) would otherwise get the drag events and refuse them.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!m_dragging || !isDragEvent(event->type()) || !widget || widget == this
        || !isAncestorOf(widget))
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::DragLeave) {
        endDragFeedback();
        return true;
    }
    auto& drag = static_cast<QDropEvent&>(*event);
    auto position = widget->mapTo(this, drag.position().toPoint());
    bool taken = false;
    if (event->type() == QEvent::Drop) {
        endDragFeedback();
        taken = acceptsDrag(drag.mimeData());
        if (taken) {
            drag.setDropAction(Qt::MoveAction);
            drag.accept();
            dropRules(drag.mimeData(), dropIndex(position));
        }
    } else {
        taken = dragMovedTo(drag.mimeData(), position);
        if (taken) {
            drag.setDropAction(Qt::MoveAction);
            drag.accept();
        }
    }
    if (!taken)
        drag.ignore();
    return true;
}

} // namespace sorvik
