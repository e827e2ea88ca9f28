#include "app/shell/files_panel.h"

#include "app/shell/empty_drop_zone.h"
#include "app/shell/file_list_model.h"
#include "app/shell/file_manager_reveal.h"
#include "app/shell/files_footer.h"
#include "app/shell/new_name_delegate.h"
#include "app/shell/toast_overlay.h"
#include "app/shell/uri_list.h"
#include "app/store/renamer_store.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMimeData>
#include <QShortcut>
#include <QStackedWidget>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace sorvik {

namespace {

    constexpr int includeWidth = 22;
    constexpr int statusWidth = 24;
    constexpr int folderMinimumWidth = 80;
    constexpr int folderIdealWidth = 120;
    constexpr int folderMaximumWidth = 220;

    std::vector<FileURL> droppedFiles(const QMimeData* mime)
    {
        auto type = QString::fromLatin1(UriList::mimeType);
        if (!mime || !mime->hasFormat(type))
            return {};
        auto bytes = mime->data(type);
        return UriList::fileURLs(
            std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    }

    /// Copies the drop, never moves it: a source told that its files were moved away may
    /// delete them. False when the source offers neither copying nor linking.
    bool acceptAsCopy(QDropEvent& event)
    {
        for (auto action : { Qt::CopyAction, Qt::LinkAction }) {
            if (event.possibleActions() & action) {
                event.setDropAction(action);
                event.accept();
                return true;
            }
        }
        event.ignore();
        return false;
    }

} // namespace

FilesPanel::FilesPanel(RenamerStore& store, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
{
    setObjectName(QStringLiteral("filesPanel"));
    setAcceptDrops(true);
    // Before the model follows the store: a filter reshapes the list at once, while a new
    // order arrives with the next plan.
    for (auto changed : { &RenamerStore::sortKeyChanged, &RenamerStore::ascendingChanged,
             &RenamerStore::filterChanged })
        connect(&m_store, changed, this, [this] { m_revealAfterReset = true; });
    m_model = new FileListModel(m_store, this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_pages = new QStackedWidget(this);
    layout->addWidget(m_pages);

    m_dropZone = new EmptyDropZone(m_store, m_pages);
    m_pages->addWidget(m_dropZone);

    auto* list = new QWidget(m_pages);
    auto* listLayout = new QVBoxLayout(list);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(0);
    m_table = new QTableView(list);
    setUpTable();
    listLayout->addWidget(m_table, 1);
    auto* divider = new QFrame(list);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    listLayout->addWidget(divider);
    m_footer = new FilesFooter(m_store, *m_model, list);
    listLayout->addWidget(m_footer);
    m_pages->addWidget(list);

    m_toast = new ToastOverlay(m_store, this);

    connect(m_footer, &FilesFooter::listCleared, this, [this] {
        m_selection.clear();
        m_current.reset();
        restoreSelection();
    });
    showContentForItems();
    connect(&m_store, &RenamerStore::itemsChanged, this, &FilesPanel::showContentForItems);
}

FilesPanel::~FilesPanel() = default;

void FilesPanel::setUpTable()
{
    m_table->setObjectName(QStringLiteral("fileTable"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setShowGrid(false);
    m_table->setWordWrap(false);
    m_table->setTextElideMode(Qt::ElideMiddle);
    m_table->setFrameShape(QFrame::NoFrame);
    // Drops belong to the panel: the table hands them up.
    m_table->setDragDropMode(QAbstractItemView::NoDragDrop);
    m_table->setAcceptDrops(false);
    m_table->viewport()->setAcceptDrops(false);
    m_table->setItemDelegateForColumn(FileListModel::newNameColumn, new NewNameDelegate(m_table));

    // Every row is one line high, so that the view never measures a hundred thousand rows.
    auto* rows = m_table->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(m_table->fontMetrics().height() + 8);

    auto* header = m_table->horizontalHeader();
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(0);
    header->setSectionResizeMode(FileListModel::includedColumn, QHeaderView::Fixed);
    header->resizeSection(FileListModel::includedColumn, includeWidth);
    header->setSectionResizeMode(FileListModel::originalNameColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(FileListModel::newNameColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(FileListModel::folderColumn, QHeaderView::Interactive);
    header->resizeSection(FileListModel::folderColumn, folderIdealWidth);
    header->setSectionResizeMode(FileListModel::statusColumn, QHeaderView::Fixed);
    header->resizeSection(FileListModel::statusColumn, statusWidth);
    connect(header, &QHeaderView::sectionResized, this, [header](int section, int, int size) {
        if (section != FileListModel::folderColumn || size == 0)
            return;
        auto clamped = std::clamp(size, folderMinimumWidth, folderMaximumWidth);
        if (clamped != size)
            header->resizeSection(section, clamped);
    });
    applyFolderColumn();
    connect(m_model, &FileListModel::showFolderChanged, this, &FilesPanel::applyFolderColumn);

    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_table, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        auto index = m_table->indexAt(position);
        if (!index.isValid())
            return;
        auto* menu = contextMenu(index.row()).release();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(m_table->viewport()->mapToGlobal(position));
    });

    for (auto key : { QKeySequence(QKeySequence::Delete), QKeySequence(Qt::Key_Backspace) }) {
        auto* shortcut = new QShortcut(key, m_table);
        shortcut->setContext(Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, &FilesPanel::removeSelectedRows);
    }

    auto* selection = m_table->selectionModel();
    connect(
        selection, &QItemSelectionModel::selectionChanged, this, &FilesPanel::noteSelectionChange);
    connect(
        selection, &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
            if (m_restoringSelection)
                return;
            if (current.isValid())
                m_current = m_model->idAt(current.row());
            else
                m_current.reset();
        });
    // The view empties its selection on a reset; the ids are put back once the new rows are in.
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this,
        [this] { m_restoringSelection = true; });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        // The current row is put back without scrolling to it: after a new order it may be
        // anywhere, and the list would jump there.
        bool reveal = std::exchange(m_revealAfterReset, false);
        bool autoScroll = m_table->hasAutoScroll();
        if (reveal)
            m_table->setAutoScroll(false);
        restoreSelection();
        m_table->setAutoScroll(autoScroll);
        m_restoringSelection = false;
        if (reveal)
            revealSelection();
    });
}

void FilesPanel::setReveal(FileManagerReveal* reveal) { m_reveal = reveal; }

FileManagerReveal& FilesPanel::reveal() const
{
    return m_reveal ? *m_reveal : FileManagerReveal::shared();
}

bool FilesPanel::showsDropZone() const { return m_pages->currentWidget() == m_dropZone; }

void FilesPanel::showContentForItems()
{
    m_pages->setCurrentIndex(m_store.items().empty() ? 0 : 1);
}

void FilesPanel::applyFolderColumn()
{
    bool show = m_model->showFolder();
    m_table->setColumnHidden(FileListModel::folderColumn, !show);
    if (show && m_table->horizontalHeader()->sectionSize(FileListModel::folderColumn) == 0)
        m_table->horizontalHeader()->resizeSection(FileListModel::folderColumn, folderIdealWidth);
}

void FilesPanel::setDropTargeted(bool targeted)
{
    m_dropTargeted = targeted;
    m_dropZone->setTargeted(targeted);
}

void FilesPanel::dragEnterEvent(QDragEnterEvent* event)
{
    if (droppedFiles(event->mimeData()).empty() || !acceptAsCopy(*event)) {
        event->ignore();
        return;
    }
    setDropTargeted(true);
}

void FilesPanel::dragMoveEvent(QDragMoveEvent* event)
{
    if (!m_dropTargeted || !acceptAsCopy(*event))
        event->ignore();
}

void FilesPanel::dragLeaveEvent(QDragLeaveEvent* event)
{
    setDropTargeted(false);
    event->accept();
}

void FilesPanel::dropEvent(QDropEvent* event)
{
    setDropTargeted(false);
    auto urls = droppedFiles(event->mimeData());
    if (urls.empty() || !acceptAsCopy(*event)) {
        event->ignore();
        return;
    }
    m_store.addFiles(urls);
}

std::vector<int> FilesPanel::selectedRows() const
{
    std::vector<int> rows;
    for (const auto& range : m_table->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

std::unordered_set<Uuid> FilesPanel::idsOfRows(const std::vector<int>& rows) const
{
    std::unordered_set<Uuid> ids;
    ids.reserve(rows.size());
    for (int row : rows) {
        if (row >= 0 && row < m_model->rowCount())
            ids.insert(m_model->idAt(row));
    }
    return ids;
}

void FilesPanel::noteSelectionChange(
    const QItemSelection& selected, const QItemSelection& deselected)
{
    if (m_restoringSelection)
        return;
    for (const auto& range : deselected) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            m_selection.erase(m_model->idAt(row));
    }
    for (const auto& range : selected) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            m_selection.insert(m_model->idAt(row));
    }
}

void FilesPanel::restoreSelection()
{
    bool wasRestoring = std::exchange(m_restoringSelection, true);
    QItemSelection selection;
    int count = m_model->rowCount();
    int last = FileListModel::columnCount_ - 1;
    std::optional<int> currentRow;
    if (!m_selection.empty() || m_current) {
        int start = -1;
        for (int row = 0; row <= count; ++row) {
            bool selected = row < count && m_selection.contains(m_model->idAt(row));
            if (row < count && m_current && m_model->idAt(row) == *m_current)
                currentRow = row;
            if (selected && start < 0)
                start = row;
            if (!selected && start >= 0) {
                selection.select(m_model->index(start, 0), m_model->index(row - 1, last));
                start = -1;
            }
        }
    }
    auto* model = m_table->selectionModel();
    model->select(selection, QItemSelectionModel::ClearAndSelect);
    if (currentRow)
        model->setCurrentIndex(m_model->index(*currentRow, FileListModel::originalNameColumn),
            QItemSelectionModel::NoUpdate);
    m_restoringSelection = wasRestoring;
}

void FilesPanel::revealSelection()
{
    auto rows = selectedRows();
    if (rows.empty()) {
        m_table->scrollToTop();
        return;
    }
    // As many of the selected rows as fit, the first of them always.
    m_table->scrollTo(m_model->index(rows.back(), FileListModel::originalNameColumn));
    m_table->scrollTo(m_model->index(rows.front(), FileListModel::originalNameColumn));
}

std::unique_ptr<QMenu> FilesPanel::contextMenu(int row)
{
    auto menu = std::make_unique<QMenu>(this);
    if (row < 0 || row >= m_model->rowCount())
        return menu;
    // The whole selection only when the row under the pointer belongs to it.
    auto rows = m_table->selectionModel()->isRowSelected(row, {}) ? selectedRows()
                                                                  : std::vector<int> { row };
    auto ids = idsOfRows(rows);
    auto clicked = m_model->idAt(row);

    const auto& items = m_store.items();
    bool listed = std::any_of(
        items.begin(), items.end(), [&](const FileItem& item) { return item.id == clicked; });
    if (listed) {
        menu->addAction(QString::fromLatin1(showInFileManagerText), this, [this, clicked] {
            for (const auto& item : m_store.items()) {
                if (item.id == clicked) {
                    reveal().reveal({ item.url });
                    return;
                }
            }
        });
    }
    menu->addAction(QString::fromLatin1(includeText), this, [this, ids] {
        m_model->showIncluded(ids, true);
        m_store.setIncluded(ids, true);
    });
    menu->addAction(QString::fromLatin1(excludeText), this, [this, ids] {
        m_model->showIncluded(ids, false);
        m_store.setIncluded(ids, false);
    });
    menu->addSeparator();
    menu->addAction(QString::fromLatin1(removeText), this, [this, ids] {
        m_store.removeItems(ids);
        for (const auto& id : ids)
            m_selection.erase(id);
        if (m_current && ids.contains(*m_current))
            m_current.reset();
        restoreSelection();
    });
    return menu;
}

void FilesPanel::removeSelectedRows()
{
    auto ids = idsOfRows(selectedRows());
    if (ids.empty())
        return;
    m_store.removeItems(ids);
    m_selection.clear();
    m_current.reset();
    restoreSelection();
}

} // namespace sorvik
