#include "app/shell/window_toolbar.h"

#include "app/shell/brand_wordmark.h"
#include "app/shell/presets_menu.h"
#include "app/store/renamer_store.h"
#include "app/style/symbol_icons.h"
#include "app/style/ui_style.h"
#include "engine/model/rename_options.h"

#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QSizePolicy>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <functional>
#include <string_view>

namespace sorvik {

namespace {

    constexpr std::array<std::string_view, 3> filters {
        RenamerStore::filterAll,
        RenamerStore::filterChanges,
        RenamerStore::filterProblems,
    };

    /// The least room between the wordmark and the first command.
    constexpr int wordmarkClearance = 16;
    constexpr int iconSide = 16;
    constexpr int progressSpacing = 2;
    /// The AI naming progress as wide as it is kept room for; a longer one is cut.
    constexpr const char* widestAIProgress = "AI naming 888/888\u2026";

    QWidget* expandingSpacer(QWidget* parent)
    {
        auto* spacer = new QWidget(parent);
        spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        return spacer;
    }

} // namespace

WindowToolbar::WindowToolbar(RenamerStore& store, QWidget* parent)
    : QToolBar(parent)
    , m_store(store)
{
    setObjectName(QStringLiteral("windowToolbar"));
    setWindowTitle(QStringLiteral("sorvik"));
    setMovable(false);
    setFloatable(false);
    toggleViewAction()->setVisible(false);
    setIconSize(QSize(iconSide, iconSide));

    addCentredWordmark();

    m_history = makeButton(QString::fromLatin1(historyText), "history");
    m_history->installEventFilter(this);
    connect(m_history, &QToolButton::clicked, this, [this] { m_store.loadHistory(); });

    m_presets = makeButton(QString::fromLatin1(PresetsMenu::titleText), "presets");
    m_presetsMenu = new PresetsMenu(m_store, m_presets);
    m_presets->setMenu(m_presetsMenu);
    m_presets->setPopupMode(QToolButton::InstantPopup);

    m_filter = new QComboBox(this);
    m_filter->setObjectName(QStringLiteral("filter"));
    m_filter->setAccessibleName(QString::fromLatin1(filterText));
    for (auto filter : filters)
        m_filter->addItem(toQString(filter), toQString(filter));
    showFilter();
    connect(m_filter, &QComboBox::activated, this,
        [this](int index) { m_store.setFilter(toUtf8(m_filter->itemData(index).toString())); });
    connect(&m_store, &RenamerStore::filterChanged, this, &WindowToolbar::showFilter);
    addWidget(m_filter);

    addProgress();
    showPlanning();
    connect(&m_store, &RenamerStore::isPlanningChanged, this, &WindowToolbar::showPlanning);
    showAIProgress();
    connect(&m_store, &RenamerStore::aiProgressChanged, this, &WindowToolbar::showAIProgress);

    addFolderOptions();

    m_sort = new QComboBox(this);
    m_sort->setObjectName(QStringLiteral("sort"));
    m_sort->setAccessibleName(QString::fromLatin1(sortText));
    m_sort->setToolTip(QString::fromLatin1(sortHelp));
    for (const auto& [key, text] : OptionTexts<SortKey>::table)
        m_sort->addItem(toQString(text), static_cast<int>(key));
    showSort();
    connect(m_sort, &QComboBox::activated, this, [this](int index) {
        m_store.setSortKey(static_cast<SortKey>(m_sort->itemData(index).toInt()));
    });
    connect(&m_store, &RenamerStore::sortKeyChanged, this, &WindowToolbar::showSort);
    addWidget(m_sort);

    m_direction = makeButton(QString(), "sortDirection");
    m_direction->setToolButtonStyle(Qt::ToolButtonIconOnly);
    showDirection();
    // Setting the direction saves the session, which plans the preview: one write, one plan.
    connect(m_direction, &QToolButton::clicked, this,
        [this] { m_store.setAscending(!m_store.ascending()); });
    connect(&m_store, &RenamerStore::ascendingChanged, this, &WindowToolbar::showDirection);

    m_add = makeButton(QString::fromLatin1(addText), "add");
    m_add->setIcon(symbolIcon("plus"));
    m_add->setToolTip(QString::fromLatin1(addHelp));
    connect(m_add, &QToolButton::clicked, this, [this] { m_store.chooseFiles(); });
}

QToolButton* WindowToolbar::makeButton(const QString& text, const char* objectName)
{
    auto* button = new QToolButton(this);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setText(text);
    button->setAccessibleName(text);
    button->setAutoRaise(true);
    button->setIconSize(QSize(iconSide, iconSide));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    // Buttons the toolbar makes for actions take no focus; these are reached with Tab.
    button->setFocusPolicy(Qt::TabFocus);
    addWidget(button);
    return button;
}

void WindowToolbar::addProgress()
{
    // The commands sit at the trailing end: were these two to take room only while shown,
    // everything before them would move each time a preview is planned. Stacked, the room
    // they keep is no wider than the text, so the wordmark still has the middle.
    auto* holder = new QWidget(this);
    holder->setObjectName(QStringLiteral("progress"));
    holder->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(progressSpacing);
    layout->addStretch(1);

    m_planning = new QProgressBar(holder);
    m_planning->setObjectName(QStringLiteral("planning"));
    m_planning->setAccessibleName(QString::fromLatin1(planningText));
    m_planning->setRange(0, 0);
    m_planning->setTextVisible(false);
    m_planning->setFixedSize(48, 8);
    layout->addWidget(m_planning, 0, Qt::AlignHCenter);

    m_aiProgress = plainLabel(QString(), holder);
    m_aiProgress->setObjectName(QStringLiteral("aiProgress"));
    m_aiProgress->setFont(styleFont(TextStyle::caption));
    m_aiProgress->setAlignment(Qt::AlignCenter);
    m_aiProgress->setFixedWidth(
        m_aiProgress->fontMetrics().horizontalAdvance(QString::fromUtf8(widestAIProgress)));
    layout->addWidget(m_aiProgress, 0, Qt::AlignHCenter);
    layout->addStretch(1);

    for (QWidget* part :
        { static_cast<QWidget*>(m_planning), static_cast<QWidget*>(m_aiProgress) }) {
        auto policy = part->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        part->setSizePolicy(policy);
    }
    addWidget(holder);
}

void WindowToolbar::addCentredWordmark()
{
    // The commands sit at the trailing end; the wordmark is placed over the free space by
    // hand, so that it stands in the middle of the window rather than of that space.
    addWidget(expandingSpacer(this));
    m_wordmark = new BrandWordmark(this);
}

void WindowToolbar::placeWordmark()
{
    int left = (width() - m_wordmark->width()) / 2;
    // Never over the first command, however narrow the window.
    int limit = m_history->geometry().left() - wordmarkClearance - m_wordmark->width();
    left = std::max(0, std::min(left, limit));
    m_wordmark->move(left, (height() - m_wordmark->height()) / 2);
}

void WindowToolbar::resizeEvent(QResizeEvent* event)
{
    QToolBar::resizeEvent(event);
    placeWordmark();
}

bool WindowToolbar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_history && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        placeWordmark();
    return QToolBar::eventFilter(watched, event);
}

void WindowToolbar::addFolderOptions()
{
    m_folderOptions = makeButton(QString::fromLatin1(folderOptionsText), "folderOptions");
    m_folderOptions->setIcon(symbolIcon("slider.horizontal.3"));
    m_folderOptions->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_folderOptions->setToolTip(QString::fromLatin1(folderOptionsHelp));
    m_folderOptions->setPopupMode(QToolButton::InstantPopup);
    m_folderOptionsMenu = new QMenu(QString::fromLatin1(folderOptionsText), m_folderOptions);
    m_folderOptionsMenu->setObjectName(QStringLiteral("folderOptionsMenu"));
    auto& store = m_store;
    addScanSwitch(
        subfoldersText, "includeSubfolders", &RenamerStore::includeSubfoldersChanged,
        [&store] { return store.includeSubfolders(); },
        [&store](bool on) { store.setIncludeSubfolders(on); });
    addScanSwitch(
        hiddenText, "includeHidden", &RenamerStore::includeHiddenChanged,
        [&store] { return store.includeHidden(); },
        [&store](bool on) { store.setIncludeHidden(on); });
    addScanSwitch(
        renameFoldersText, "renameFolders", &RenamerStore::renameFoldersChanged,
        [&store] { return store.renameFolders(); },
        [&store](bool on) { store.setRenameFolders(on); });
    addScanSwitch(
        pairPhotosText, "pairPhotos", &RenamerStore::pairPhotosChanged,
        [&store] { return store.pairPhotos(); }, [&store](bool on) { store.setPairPhotos(on); });
    m_folderOptions->setMenu(m_folderOptionsMenu);
}

void WindowToolbar::addScanSwitch(const char* text, const char* objectName,
    void (RenamerStore::*changed)(), std::function<bool()> value, std::function<void(bool)> set)
{
    auto* action = m_folderOptionsMenu->addAction(escapeMnemonics(QString::fromLatin1(text)));
    action->setObjectName(QString::fromLatin1(objectName));
    action->setCheckable(true);
    action->setChecked(value());
    connect(action, &QAction::triggered, this, std::move(set));
    connect(&m_store, changed, action, [action, value = std::move(value)] {
        QSignalBlocker blocker(action);
        action->setChecked(value());
    });
}

bool WindowToolbar::showsPlanning() const { return !m_planning->isHidden(); }

bool WindowToolbar::showsAIProgress() const { return !m_aiProgress->isHidden(); }

void WindowToolbar::showFilter()
{
    QSignalBlocker blocker(m_filter);
    m_filter->setCurrentIndex(m_filter->findData(toQString(m_store.filter())));
}

void WindowToolbar::showPlanning() { m_planning->setVisible(m_store.isPlanning()); }

void WindowToolbar::showAIProgress()
{
    const auto& progress = m_store.aiProgress();
    setPlainText(*m_aiProgress, progress ? toQString(*progress) : QString());
    m_aiProgress->setVisible(progress.has_value());
}

void WindowToolbar::showSort()
{
    QSignalBlocker blocker(m_sort);
    m_sort->setCurrentIndex(m_sort->findData(static_cast<int>(m_store.sortKey())));
}

void WindowToolbar::showDirection()
{
    bool ascending = m_store.ascending();
    m_direction->setIcon(symbolIcon(ascending ? "arrow.up" : "arrow.down"));
    auto help = QString::fromLatin1(ascending ? ascendingText : descendingText);
    m_direction->setToolTip(help);
    m_direction->setAccessibleName(help);
}

} // namespace sorvik
