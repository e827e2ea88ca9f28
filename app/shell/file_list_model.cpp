#include "app/shell/file_list_model.h"

#include "app/shell/new_name_delegate.h"
#include "app/shell/status_icon.h"
#include "app/store/renamer_store.h"
#include "app/style/ui_style.h"

#include <QGuiApplication>
#include <QThreadPool>

namespace sorvik {

namespace {

    /// The folder part of a path, as the list compares folders: everything before the last
    /// "/" ("/" for an item at the root).
    std::string_view folderOf(std::string_view path)
    {
        auto slash = path.rfind('/');
        if (slash == std::string_view::npos)
            return {};
        return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
    }

    /// Lets go of rows on a thread of the pool when they are the last reference: freeing a
    /// hundred thousand rows costs the GUI thread tens of milliseconds.
    void releaseElsewhere(std::shared_ptr<const std::vector<PreviewRow>> rows)
    {
        if (!rows || rows.use_count() > 1)
            return;
        QThreadPool::globalInstance()->start([rows = std::move(rows)]() mutable { rows.reset(); });
    }

    std::string_view nameOf(std::string_view path)
    {
        auto slash = path.rfind('/');
        if (slash == std::string_view::npos || path.size() == 1)
            return path;
        return path.substr(slash + 1);
    }

} // namespace

FileListModel::FileListModel(RenamerStore& store, QObject* parent)
    : QAbstractTableModel(parent)
    , m_store(store)
{
    takeSnapshot();
    connect(&m_store, &RenamerStore::previewsChanged, this, &FileListModel::takeSnapshot);
    connect(&m_store, &RenamerStore::filterChanged, this, &FileListModel::takeSnapshot);
    followApplicationPalette(*this, [this] {
        m_statusImages.clear();
        if (!m_shown.empty()) {
            emit dataChanged(index(0, includedColumn), index(rowCount() - 1, statusColumn),
                { Qt::DecorationRole, Qt::ForegroundRole });
        }
    });
}

FileListModel::~FileListModel() = default;

void FileListModel::takeSnapshot()
{
    const void* planned = &m_store.rawPreviews();
    if (planned != m_plannedRows) {
        // A new plan was asked for after every switch made here, so it carries them all.
        m_plannedRows = planned;
        m_includedOverrides.clear();
    }
    apply(m_store.previewsSnapshot());
}

void FileListModel::apply(std::shared_ptr<const std::vector<PreviewRow>> rows)
{

    const auto& filter = m_store.filter();
    std::vector<std::uint32_t> shown;
    if (filter == RenamerStore::filterAll) {
        shown.resize(rows->size());
        for (std::uint32_t position = 0; position < shown.size(); ++position)
            shown[position] = position;
    } else {
        for (std::uint32_t position = 0; position < rows->size(); ++position) {
            if (RenamerStore::isShown((*rows)[position], filter))
                shown.push_back(position);
        }
    }

    bool sameFiles = m_rows && shown.size() == m_shown.size();
    for (std::size_t row = 0; sameFiles && row < shown.size(); ++row)
        sameFiles = (*rows)[shown[row]].item.id == (*m_rows)[m_shown[row]].item.id;

    bool showFolder = false;
    std::string_view firstFolder;
    for (std::size_t row = 0; row < shown.size() && !showFolder; ++row) {
        const auto& preview = (*rows)[shown[row]];
        auto folder = folderOf(preview.item.url.path);
        if (row == 0)
            firstFolder = folder;
        showFolder = folder != firstFolder || folderOf(preview.targetURL.path) != folder;
    }

    Counts counts;
    counts.files = rows->size();
    for (const auto& row : *rows) {
        if (row.status.kind == RenameStatus::Kind::ready)
            ++counts.ready;
        else if (row.status.isProblem())
            ++counts.problems;
    }

    bool folderChanged = showFolder != m_showFolder;
    auto previous = m_rows;
    if (sameFiles) {
        m_rows = std::move(rows);
        m_shown = std::move(shown);
        m_showFolder = showFolder;
        m_cells.clear();
        if (!m_shown.empty())
            emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount_ - 1));
    } else {
        beginResetModel();
        m_rows = std::move(rows);
        m_shown = std::move(shown);
        m_showFolder = showFolder;
        m_cells.clear();
        endResetModel();
    }
    releaseElsewhere(std::move(previous));
    if (folderChanged) {
        emit headerDataChanged(Qt::Horizontal, folderColumn, folderColumn);
        emit showFolderChanged();
    }
    if (counts != m_counts) {
        m_counts = counts;
        emit countsChanged();
    }
}

int FileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_shown.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : columnCount_;
}

const PreviewRow& FileListModel::previewAt(int row) const
{
    return (*m_rows)[m_shown[static_cast<std::size_t>(row)]];
}

bool FileListModel::isIncludedAt(int row) const
{
    const auto& item = previewAt(row).item;
    if (!m_includedOverrides.empty()) {
        auto found = m_includedOverrides.find(item.id);
        if (found != m_includedOverrides.end())
            return found->second;
    }
    return item.included;
}

const NewNameCell& FileListModel::cellAt(int row) const
{
    auto found = m_cells.find(row);
    if (found == m_cells.end())
        found = m_cells.emplace(row, newNameCell(previewAt(row))).first;
    return found->second;
}

QIcon FileListModel::statusImage(const RenameStatus& status) const
{
    auto icon = statusIcon(status);
    auto key = std::make_pair(icon.symbol, static_cast<int>(icon.tone));
    auto found = m_statusImages.find(key);
    if (found == m_statusImages.end())
        found
            = m_statusImages.emplace(key, statusIconImage(icon, QGuiApplication::palette())).first;
    return found->second;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const auto& preview = previewAt(index.row());
    switch (index.column()) {
    case includedColumn:
        if (role == Qt::CheckStateRole)
            return isIncludedAt(index.row()) ? Qt::Checked : Qt::Unchecked;
        break;
    case originalNameColumn:
        switch (role) {
        case Qt::DisplayRole:
            return toQString(nameOf(preview.item.url.path));
        case Qt::ToolTipRole:
            return plainToolTip(toQString(preview.item.url.path));
        case Qt::ForegroundRole:
            if (!isIncludedAt(index.row()))
                return toneColor(Tone::tertiary);
            break;
        }
        break;
    case newNameColumn:
        switch (role) {
        case Qt::DisplayRole:
            return toQString(preview.newName);
        case newNameCellRole:
            return QVariant::fromValue(cellAt(index.row()));
        case Qt::ToolTipRole:
            return plainToolTip(toQString(cellAt(index.row()).toolTip));
        }
        break;
    case folderColumn:
        if (!m_showFolder)
            break;
        switch (role) {
        case Qt::DisplayRole:
            return toQString(folderOf(preview.targetURL.path));
        case Qt::ToolTipRole:
            return plainToolTip(toQString(folderOf(preview.targetURL.path)));
        case Qt::ForegroundRole:
            return toneColor(Tone::secondary);
        }
        break;
    case statusColumn:
        switch (role) {
        case Qt::DecorationRole:
            return statusImage(preview.status);
        case Qt::ToolTipRole:
            return plainToolTip(toQString(statusIcon(preview.status).toolTip));
        }
        break;
    }
    return {};
}

bool FileListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.column() != includedColumn || role != Qt::CheckStateRole)
        return false;
    bool included = value.toInt() == Qt::Checked;
    const auto id = idAt(index.row());
    m_includedOverrides[id] = included;
    emit dataChanged(this->index(index.row(), includedColumn),
        this->index(index.row(), originalNameColumn), { Qt::CheckStateRole, Qt::ForegroundRole });
    m_store.setIncluded(id, included);
    return true;
}

void FileListModel::showIncluded(const std::unordered_set<Uuid>& ids, bool included)
{
    if (ids.empty())
        return;
    for (const auto& id : ids)
        m_includedOverrides[id] = included;
    if (!m_shown.empty()) {
        emit dataChanged(index(0, includedColumn), index(rowCount() - 1, originalNameColumn),
            { Qt::CheckStateRole, Qt::ForegroundRole });
    }
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    auto flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == includedColumn)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case originalNameColumn:
        return QString::fromLatin1(originalNameHeader);
    case newNameColumn:
        return QString::fromLatin1(newNameHeader);
    case folderColumn:
        return m_showFolder ? QString::fromLatin1(folderHeader) : QString();
    default:
        return QString();
    }
}

} // namespace sorvik
