#pragma once

#include "engine/model/uuid.h"

#include <QWidget>

#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

class QItemSelection;
class QMenu;
class QStackedWidget;
class QTableView;

namespace sorvik {

class EmptyDropZone;
class FileListModel;
class FileManagerReveal;
class FilesFooter;
class RenamerStore;
class ToastOverlay;

// The right-hand side of the main window: the drop destination for files and folders, the
// preview table (include switch, original name, new name, folder, status), the footer and
// the toast. While no file is listed it shows the empty drop zone instead of the table.
//
// Drops are read from the raw "text/uri-list" bytes, never through QUrl, so that a name that
// is not UTF-8 stays the file it names; only local files are taken.
//
// The selection is kept as item ids: a model reset (the files shown changed) selects the same
// files again, and a row hidden by the filter keeps its place in the selection. Everything
// that acts on "the selection" (the Delete key, the context menu, Include and Exclude) acts on
// the selected rows the table shows. When the order or the filter changes, the list shows the
// selected rows, or its top when none is shown, not wherever the current row went. The
// context menu acts on the whole selection only when
// the row under the pointer is part of it, else on that row alone; "Show in File Manager"
// reveals the row under the pointer.
class FilesPanel : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FilesPanel)

public:
    static constexpr const char* showInFileManagerText = "Show in File Manager";
    static constexpr const char* includeText = "Include";
    static constexpr const char* excludeText = "Exclude";
    static constexpr const char* removeText = "Remove from List";

    explicit FilesPanel(RenamerStore& store, QWidget* parent = nullptr);
    ~FilesPanel() override;

    /// Reveals files through `reveal` instead of the shared one (not owned; null: the shared
    /// one again).
    void setReveal(FileManagerReveal* reveal);

    FileListModel& model() const { return *m_model; }
    QTableView& table() const { return *m_table; }
    EmptyDropZone& dropZone() const { return *m_dropZone; }
    FilesFooter& footer() const { return *m_footer; }
    ToastOverlay& toast() const { return *m_toast; }
    /// Whether the empty drop zone is shown rather than the table.
    bool showsDropZone() const;
    /// Whether files are being dragged over the panel.
    bool isDropTargeted() const { return m_dropTargeted; }

    /// The ids of the selected files, shown or hidden by the filter.
    const std::unordered_set<Uuid>& selection() const { return m_selection; }
    /// The context menu of the table row `row`, as a right click there opens it.
    std::unique_ptr<QMenu> contextMenu(int row);
    /// Removes the selected rows the table shows from the list and empties the selection
    /// (the Delete key).
    void removeSelectedRows();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void setUpTable();
    void showContentForItems();
    void setDropTargeted(bool targeted);
    void applyFolderColumn();
    /// The rows the table shows selected, in list order.
    std::vector<int> selectedRows() const;
    std::unordered_set<Uuid> idsOfRows(const std::vector<int>& rows) const;
    void noteSelectionChange(const QItemSelection& selected, const QItemSelection& deselected);
    void restoreSelection();
    /// Scrolls to the selected rows when any are shown, else to the top.
    void revealSelection();
    FileManagerReveal& reveal() const;

    RenamerStore& m_store;
    FileListModel* m_model = nullptr;
    QStackedWidget* m_pages = nullptr;
    EmptyDropZone* m_dropZone = nullptr;
    QTableView* m_table = nullptr;
    FilesFooter* m_footer = nullptr;
    ToastOverlay* m_toast = nullptr;
    FileManagerReveal* m_reveal = nullptr;
    bool m_dropTargeted = false;

    std::unordered_set<Uuid> m_selection;
    std::optional<Uuid> m_current;
    /// While the view's selection is being put back after a reset.
    bool m_restoringSelection = false;
    /// The order or the filter changed: the next reset shows the selection, else the top.
    bool m_revealAfterReset = false;
};

} // namespace sorvik
