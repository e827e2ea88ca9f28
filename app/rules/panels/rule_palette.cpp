#include "app/rules/panels/rule_palette.h"

#include "app/rules/rule_titles.h"
#include "app/rules/search_list.h"
#include "app/rules/search_match.h"
#include "app/store/renamer_store.h"
#include "app/style/symbol_icons.h"
#include "app/style/ui_style.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <climits>

namespace sorvik {

namespace {

    // A template row holds its kind's place among the kinds; a preset row its preset's id.
    constexpr int kindRole = Qt::UserRole;
    constexpr int presetRole = Qt::UserRole + 1;
    constexpr int rowIconSize = 16;
    constexpr int rowSpacing = 2;

} // namespace

RulePalette::RulePalette(RenamerStore& store, QWidget* parent)
    : QDialog(parent)
    , m_store(store)
{
    setObjectName(QStringLiteral("rulePalette"));
    setWindowTitle(QStringLiteral("Add Rule"));
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(paletteWidth, paletteHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(spacing);

    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("search"));
    m_search->setPlaceholderText(QStringLiteral("Search rules and presets"));
    m_search->setAccessibleName(m_search->placeholderText());
    m_search->setClearButtonEnabled(true);
    m_search->setMaxLength(INT_MAX);
    layout->addWidget(m_search);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("results"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setUniformItemSizes(true);
    m_list->setIconSize(QSize(rowIconSize, rowIconSize));
    m_list->setSpacing(rowSpacing);
    for (const auto& kind : RuleKind::defaults()) {
        auto* item
            = new QListWidgetItem(symbolIcon(symbolName(kind)), toQString(title(kind)), m_list);
        item->setData(kindRole, qulonglong(kind.position()));
        m_searchTexts.emplace_back(title(kind));
    }
    layout->addWidget(m_list, 1);

    m_done = new QPushButton(QStringLiteral("Done"), this);
    m_done->setObjectName(QStringLiteral("done"));
    m_done->setAutoDefault(false);
    layout->addWidget(m_done, 0, Qt::AlignHCenter);

    showPresets();
    m_search->setFocus(Qt::OtherFocusReason);

    connect(m_search, &QLineEdit::textChanged, this, &RulePalette::filter);
    // One signal acts: with single-click activation on, a click would also activate the row,
    // and one click must add one rule.
    connect(m_list, &QListWidget::itemClicked, this, &RulePalette::act);
    connect(m_done, &QPushButton::clicked, this, &QDialog::reject);
    m_search->installEventFilter(this);
    m_list->installEventFilter(this);
    connect(&m_store, &RenamerStore::presetsChanged, this, &RulePalette::showPresets);
    connect(&m_store, &RenamerStore::showingPaletteChanged, this, [this] {
        if (!m_store.showingPalette() && isVisible())
            reject();
    });
    connect(this, &QDialog::finished, this, [this] { m_store.setShowingPalette(false); });
}

void RulePalette::act(QListWidgetItem* item)
{
    if (!item || m_acted)
        return;
    m_acted = true;
    auto kind = item->data(kindRole);
    if (kind.isValid()) {
        auto kinds = RuleKind::defaults();
        auto position = kind.toULongLong();
        if (position < kinds.size()) {
            auto rules = m_store.rules();
            rules.emplace_back(std::move(kinds[position]));
            m_store.setRules(std::move(rules));
        }
    } else if (auto id = Uuid::parse(item->data(presetRole).toString().toStdString())) {
        for (const auto& preset : m_store.presets()) {
            if (preset.id == *id) {
                m_store.setRules(preset.rules);
                break;
            }
        }
    }
    accept();
}

void RulePalette::showPresets()
{
    auto templates = RuleKind::typeNames.size();
    while (std::size_t(m_list->count()) > templates)
        delete m_list->takeItem(m_list->count() - 1);
    m_searchTexts.resize(templates);
    for (const auto& preset : m_store.presets()) {
        auto* item = new QListWidgetItem(toQString(preset.name), m_list);
        item->setData(presetRole, QString::fromStdString(preset.id.text()));
        m_searchTexts.push_back(preset.name);
    }
    filter();
}

void RulePalette::filter()
{
    auto query = toUtf8(m_search->text());
    for (int row = 0; row < m_list->count(); ++row) {
        auto* item = m_list->item(row);
        item->setHidden(!searchMatches(m_searchTexts[std::size_t(row)], query));
    }
    m_list->setCurrentItem(firstVisibleItem(*m_list));
}

bool RulePalette::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || (watched != m_search && watched != m_list))
        return QDialog::eventFilter(watched, event);
    const auto& key = static_cast<const QKeyEvent&>(*event);
    if (isReturnKey(key)) {
        auto* current = m_list->currentItem();
        if (current && !current->isHidden())
            act(current);
        return true;
    }
    if (stepBetweenSearchAndList(*m_search, *m_list, watched, key))
        return true;
    return QDialog::eventFilter(watched, event);
}

} // namespace sorvik
