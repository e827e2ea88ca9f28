#pragma once

#include "app/rules/list_import.h"
#include "engine/model/rule.h"
#include "engine/model/uuid.h"

#include <QPoint>
#include <QWidget>

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

class QMimeData;
class QFrame;
class QScrollArea;
class QTimer;
class QToolButton;
class QVBoxLayout;

// The rule column of the main window: a header with the Add Rule menu, the three starter
// workflows while the stack is empty, and one card per rule of the store in the order the
// engine applies them. The panel keeps no rules of its own: every action (add, starter,
// delete, duplicate, move, drag, any edit in a card) ends in one write of the store's rules,
// which the store makes one undo step, a preview and a session save.
//
// Cards are kept per rule, by id: when the store's rules change, each card is given its rule
// again and moved only when its place changed, new rules get new cards (expanded), and cards
// of rules that are gone are dropped. No card is made again for an edit, a move or an undo,
// so a card keeps its expanded state and the field being typed into keeps its focus and cursor.
// The card of a rule the column has not shown before (one added from the menu or the palette,
// a starter's, a duplicate) is scrolled into view, whole or from its top when it is taller
// than the list, and its first field takes the focus. A rule that comes back (an undo, a redo)
// appears where it belongs and the focus stays where the user has it.
//
// A card is dragged by its symbol or title. The drag carries our own MIME type with this
// panel's token and the rule's id, so a drop is taken only from this panel; the rule goes
// before the first card whose middle lies below the pointer, as rows of an ordered collection
// move (the place counts in the stack before the move). While one of our drags runs, the
// panel takes the drag events of its own controls, so no text field swallows a drop.
namespace sorvik {

class RenamerStore;
class RuleCard;

class RuleStackPanel : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RuleStackPanel)

public:
    static constexpr std::string_view dragMimeType = "application/x-sorvik-rule-ids";
    static constexpr int padding = 16;
    static constexpr int cardSpacing = 8;
    static constexpr int listMargin = 12;

    explicit RuleStackPanel(RenamerStore& store, QWidget* parent = nullptr);
    ~RuleStackPanel() override;

    /// The cards in stack order, one per rule.
    const std::vector<RuleCard*>& cards() const { return m_cards; }
    /// The card of the first rule with `id`; null when there is none.
    RuleCard* cardOf(const Uuid& id) const;

    /// What a drag of the rules with `ids` from this panel carries.
    QMimeData* dragData(const std::vector<Uuid>& ids) const;
    /// The place in the stack (0 to the number of rules) that a drop at `position`, in the
    /// panel's coordinates, moves rules to.
    std::size_t dropIndex(QPoint position) const;
    /// Whether a drag of `data` is one this panel takes.
    bool acceptsDrag(const QMimeData* payload) const;

    /// The rules that `data` moves to `destination`, moved in the store's stack as rows move
    /// in an ordered collection; nothing when nothing moves.
    void dropRules(const QMimeData* payload, std::size_t destination);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showRules();
    RuleCard* makeCard(const Rule& rule);
    void dropCard(RuleCard* card);
    void reveal(RuleCard& card);
    void addRule(RuleKind kind);
    void edit(RuleCard* card, const Rule& rule, const std::optional<std::string>& typingKey);
    void removeRules(const Uuid& id);
    void startDrag(const Uuid& id);
    std::vector<Uuid> draggedIDs(const QMimeData* payload) const;
    bool dragMovedTo(const QMimeData* payload, QPoint position);
    void showDropLine(std::size_t index);
    void endDragFeedback();
    void scrollWhileDragging();

    RenamerStore& m_store;
    ListImport m_listImport;
    QToolButton* m_addRule;
    QWidget* m_emptyState;
    QScrollArea* m_list;
    QWidget* m_column;
    QVBoxLayout* m_cardsLayout;
    QFrame* m_dropLine;
    QTimer* m_scrollTimer;
    int m_scrollStep = 0;
    QPoint m_lastDragPosition;
    bool m_dragging = false;
    std::vector<RuleCard*> m_cards;
    // Every rule id the column has shown, to tell a new rule from one that comes back.
    std::unordered_set<Uuid> m_shownIDs;
    bool m_revealsNewRules = false;
    // Tells this panel's drags from those of another window or program.
    Uuid m_dragToken = Uuid::random();
};

} // namespace sorvik
