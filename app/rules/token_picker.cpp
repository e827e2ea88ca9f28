#include "app/rules/token_picker.h"

#include "app/rules/search_list.h"
#include "app/rules/search_match.h"
#include "app/rules/template_tokens.h"
#include "app/style/ui_style.h"

#include <QEvent>
#include <QFrame>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>

#include <climits>

namespace sorvik {

namespace {

    constexpr int tokenIndexRole = Qt::UserRole;

} // namespace

TokenPicker::TokenPicker(TemplateBinding binding, QWidget* parent)
    : TokenPicker(std::move(binding), templateTokenList(), parent)
{
}

TokenPicker::TokenPicker(TemplateBinding binding, std::vector<std::string> tokens, QWidget* parent)
    : QPushButton(QStringLiteral("Insert Token\u2026"), parent)
    , m_binding(std::move(binding))
    , m_tokens(std::move(tokens))
{
    setObjectName(QStringLiteral("tokenPicker"));

    m_popup = new QFrame(this, Qt::Popup);
    m_popup->setObjectName(QStringLiteral("tokenPickerPopup"));
    m_popup->setFrameShape(QFrame::StyledPanel);
    // A window takes no palette or font from its parent unless asked to: the popup is part of
    // its host (and of the host's tint).
    m_popup->setAttribute(Qt::WA_WindowPropagation);
    m_popup->setFixedSize(popupWidth, popupHeight);
    auto* layout = new QVBoxLayout(m_popup);
    layout->setContentsMargins(popupPadding, popupPadding, popupPadding, popupPadding);

    m_search = new QLineEdit(m_popup);
    m_search->setObjectName(QStringLiteral("tokenSearch"));
    m_search->setPlaceholderText(QStringLiteral("Search tokens"));
    m_search->setAccessibleName(m_search->placeholderText());
    m_search->setClearButtonEnabled(true);
    m_search->setMaxLength(INT_MAX);
    layout->addWidget(m_search);

    m_list = new QListWidget(m_popup);
    m_list->setObjectName(QStringLiteral("tokenList"));
    m_list->setFont(styleFont(TextStyle::monospacedBody));
    m_list->setUniformItemSizes(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    for (std::size_t index = 0; index < m_tokens.size(); ++index) {
        auto* item = new QListWidgetItem(toQString(appendingToken({}, m_tokens[index])), m_list);
        item->setData(tokenIndexRole, static_cast<qulonglong>(index));
    }
    layout->addWidget(m_list, 1);

    m_hint
        = plainLabel(QStringLiteral("Use {token|fallback} when a value may be missing."), m_popup);
    m_hint->setObjectName(QStringLiteral("tokenHint"));
    m_hint->setFont(styleFont(TextStyle::caption));
    m_hint->setWordWrap(true);
    setTone(*m_hint, Tone::secondary);
    layout->addWidget(m_hint);

    m_search->installEventFilter(this);
    m_list->installEventFilter(this);
    m_popup->installEventFilter(this);

    connect(this, &QPushButton::clicked, this, [this] { setPresented(true); });
    connect(m_search, &QLineEdit::textChanged, this, [this] { showMatchingTokens(); });
    // Only a click inserts from the mouse: with single-click activation a click also
    // activates the item, and one click must insert one token.
    connect(m_list, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        auto index = item->data(tokenIndexRole).toULongLong();
        if (index < m_tokens.size())
            insert(m_tokens[index]);
    });
    showMatchingTokens();
}

void TokenPicker::insert(const std::string& token)
{
    // The host may rebuild its editor, this picker included, when its template changes, so
    // the popup closes first.
    QPointer<TokenPicker> self(this);
    setPresented(false);
    if (!self)
        return;
    auto binding = m_binding;
    if (binding.read && binding.write)
        binding.write(appendingToken(binding.read(), token));
}

void TokenPicker::setPresented(bool presented)
{
    if (presented == m_presented)
        return;
    m_presented = presented;
    if (presented) {
        m_list->setCurrentItem(firstVisibleItem(*m_list));
        placePopup();
        m_popup->show();
        m_popup->raise();
        m_popup->activateWindow();
        m_search->setFocus(Qt::PopupFocusReason);
    } else {
        m_popup->hide();
    }
    emit presentedChanged(presented);
}

QString TokenPicker::query() const { return m_search->text(); }

bool TokenPicker::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_popup && event->type() == QEvent::Hide && m_presented) {
        // Closed from outside: a click elsewhere, or the window going away.
        m_presented = false;
        emit presentedChanged(false);
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return QPushButton::eventFilter(watched, event);
    const auto& key = static_cast<const QKeyEvent&>(*event);
    if (key.key() == Qt::Key_Escape && (watched == m_search || watched == m_list)) {
        setPresented(false);
        return true;
    }
    if ((watched == m_search || watched == m_list) && isReturnKey(key)) {
        insertCurrentToken();
        return true;
    }
    if (stepBetweenSearchAndList(*m_search, *m_list, watched, key))
        return true;
    return QPushButton::eventFilter(watched, event);
}

void TokenPicker::hideEvent(QHideEvent* event)
{
    QPushButton::hideEvent(event);
    // Hidden with its card, not minimised with the window: the picker starts over.
    if (event->spontaneous())
        return;
    setPresented(false);
    m_search->clear();
}

void TokenPicker::showMatchingTokens()
{
    auto query = toUtf8(m_search->text());
    for (int row = 0; row < m_list->count(); ++row) {
        auto* item = m_list->item(row);
        auto index = item->data(tokenIndexRole).toULongLong();
        item->setHidden(index >= m_tokens.size() || !searchMatches(m_tokens[index], query));
    }
    m_list->setCurrentItem(firstVisibleItem(*m_list));
}

void TokenPicker::insertCurrentToken()
{
    auto* item = m_list->currentItem();
    if (!item || item->isHidden())
        return;
    auto index = item->data(tokenIndexRole).toULongLong();
    if (index < m_tokens.size())
        insert(m_tokens[index]);
}

void TokenPicker::placePopup()
{
    QRect frame(mapToGlobal(QPoint(0, height())), m_popup->size());
    auto area = screen() ? screen()->availableGeometry() : QRect();
    // Below the button when it fits, else above it, and always on the screen.
    if (area.isValid() && frame.bottom() > area.bottom()) {
        int above = mapToGlobal(QPoint(0, 0)).y() - frame.height();
        frame.moveTop(above >= area.top() ? above : area.bottom() - frame.height() + 1);
    }
    if (area.isValid() && frame.right() > area.right())
        frame.moveRight(area.right());
    if (area.isValid() && frame.left() < area.left())
        frame.moveLeft(area.left());
    m_popup->move(frame.topLeft());
}

} // namespace sorvik
