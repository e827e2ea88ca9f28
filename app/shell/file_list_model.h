#pragma once

#include "app/shell/new_name_cell.h"
#include "engine/model/file_item.h"
#include "engine/model/uuid.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace sorvik {

class RenamerStore;

// The file list's rows: the store's preview narrowed by its filter, one row per file, with
// the columns include, original name, new name, folder and status.
//
// The model keeps its own snapshot and never asks the store from `data` or `rowCount`: the
// store's rows are shared, never copied, and only the positions of the shown rows are
// kept. The snapshot is taken again when the store publishes a preview or changes its
// filter. When the new rows are the same files in the same order (a rule edit, a status
// change) the model says its data changed, so that the view keeps its selection, its current
// row and its scroll position; only when the files shown change is the model reset.
//
// A row's new-name cell is made when the row is first shown and kept until the next snapshot.
// An include switch flipped here shows its new state at once, before the store has planned
// the preview that carries it.
class FileListModel : public QAbstractTableModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FileListModel)

public:
    enum Column : int {
        includedColumn,
        originalNameColumn,
        newNameColumn,
        folderColumn,
        statusColumn,
        columnCount_,
    };

    /// The footer's counts, over every planned row whatever the filter shows.
    struct Counts {
        std::size_t files = 0;
        /// Rows whose status is `ready`.
        std::size_t ready = 0;
        /// Rows whose status is `conflict` or `invalid`.
        std::size_t problems = 0;

        friend bool operator==(const Counts&, const Counts&) = default;
    };

    static constexpr const char* originalNameHeader = "Original name";
    static constexpr const char* newNameHeader = "New name";
    static constexpr const char* folderHeader = "Folder";

    explicit FileListModel(RenamerStore& store, QObject* parent = nullptr);
    ~FileListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    /// The preview row shown at `row` (0 <= row < rowCount()).
    const PreviewRow& previewAt(int row) const;
    const Uuid& idAt(int row) const { return previewAt(row).item.id; }
    /// Whether the row's item is included, as last switched here or planned.
    bool isIncludedAt(int row) const;

    /// Whether the folder column shows: the shown rows lie in two or more folders, or one of
    /// them moves to another folder.
    bool showFolder() const { return m_showFolder; }
    const Counts& counts() const { return m_counts; }

    /// Shows the items with `ids` as included or not until the next preview comes; the
    /// store is told separately.
    void showIncluded(const std::unordered_set<Uuid>& ids, bool included);

signals:
    void countsChanged();
    void showFolderChanged();

private:
    void takeSnapshot();
    void apply(std::shared_ptr<const std::vector<PreviewRow>> rows);
    const NewNameCell& cellAt(int row) const;
    QIcon statusImage(const RenameStatus& status) const;

    RenamerStore& m_store;
    std::shared_ptr<const std::vector<PreviewRow>> m_rows;
    /// Positions in `m_rows` of the shown rows, in order.
    std::vector<std::uint32_t> m_shown;
    bool m_showFolder = false;
    Counts m_counts;
    /// The planned rows the overrides below were made against.
    const void* m_plannedRows = nullptr;
    std::unordered_map<Uuid, bool> m_includedOverrides;
    mutable std::unordered_map<int, NewNameCell> m_cells;
    mutable std::map<std::pair<std::string_view, int>, QIcon> m_statusImages;
};

} // namespace sorvik
