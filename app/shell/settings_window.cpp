#include "app/shell/settings_window.h"

#include "app/automation/watch_folder_store.h"
#include "app/shell/update_settings_view.h"
#include "app/shell/watch_folder_view.h"
#include "app/store/renamer_store.h"
#include "app/style/fitting_scroll_area.h"
#include "app/style/screen_fit.h"
#include "app/style/symbol_icons.h"
#include "app/style/ui_style.h"

#include <QCheckBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

namespace sorvik {

SettingsWindow::SettingsWindow(RenamerStore& store, QWidget* folderAccess,
    const std::function<WatchFolderStore&()>& watchFolders, UpdaterStore& updater, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_store(store)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_tabs = new QTabWidget(this);
    m_tabs->setDocumentMode(true);
    layout->addWidget(m_tabs);

    addPage(makeFolderAccessTab(folderAccess), "folder", folderAccessLabel);
    addPage(new WatchFolderView(watchFolders(), store, m_tabs), "folder.badge.gearshape",
        watchFoldersLabel);
    addPage(new UpdateSettingsView(updater, m_tabs), "arrow.down.circle", updatesLabel);
    // No smaller than its largest page, where the screen has the room for it.
    auto whole = sizeHint();
    setFittedSizes(*this, whole, whole);

    // As settings windows of the desktop do, the title names the page that shows.
    auto retitle = [this](int index) { setWindowTitle(m_tabs->tabText(index)); };
    connect(m_tabs, &QTabWidget::currentChanged, this, retitle);
    retitle(m_tabs->currentIndex());
}

void SettingsWindow::addPage(QWidget* page, const char* symbol, const char* label)
{
    m_tabs->addTab(
        new FittingScrollArea(page, m_tabs), symbolIcon(symbol), QString::fromUtf8(label));
}

QWidget* SettingsWindow::page(int index) const
{
    auto* area = qobject_cast<QScrollArea*>(m_tabs->widget(index));
    return area ? area->widget() : nullptr;
}

QWidget* SettingsWindow::makeFolderAccessTab(QWidget* folderAccess)
{
    auto* tab = new QWidget(m_tabs);
    auto* layout = new QVBoxLayout(tab);
    if (folderAccess)
        layout->addWidget(folderAccess);

    m_onlinePlaces = new QCheckBox(QString::fromUtf8(onlinePlacesText), tab);
    m_onlinePlaces->setChecked(m_store.onlinePlaces());
    connect(m_onlinePlaces, &QCheckBox::toggled, this,
        [this](bool checked) { m_store.setOnlinePlaces(checked); });
    connect(&m_store, &RenamerStore::onlinePlacesChanged, this, [this] {
        QSignalBlocker blocker(m_onlinePlaces);
        m_onlinePlaces->setChecked(m_store.onlinePlaces());
    });
    layout->addWidget(m_onlinePlaces);

    auto* caption = new QLabel(QString::fromUtf8(onlinePlacesCaption), tab);
    caption->setFont(styleFont(TextStyle::caption));
    caption->setWordWrap(true);
    layout->addWidget(caption);
    // The tab is as tall as the tallest of them; what is left goes below its content.
    layout->addStretch(1);
    return tab;
}

void SettingsWindow::present()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

} // namespace sorvik
