#pragma once

#include <QWidget>

class QLabel;
class QMenu;
class QPushButton;
class QToolButton;

namespace sorvik {

class BrandPrimaryButton;
class FileListModel;
class RenamerStore;
class SymbolLabel;

// The bar under the file list: how many files are listed, how many will change and how many
// are skipped for a problem (all planned rows, whatever the filter shows), the "Select" menu,
// "Undo Rename" and the Rename button. The Rename button asks for folder access first while
// a listed folder is not granted ("Grant access to rename"), and is off while a preview is
// planned or when nothing would change; Ctrl+Return presses it from anywhere in the window.
class FilesFooter : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FilesFooter)

public:
    static constexpr const char* skippedHelp = "Hover the warning icons to see why";
    static constexpr const char* selectText = "Select";
    static constexpr const char* includeAllText = "Include all";
    static constexpr const char* excludeAllText = "Exclude all";
    static constexpr const char* clearListText = "Clear list";
    static constexpr const char* undoRenameText = "Undo Rename";
    static constexpr const char* renameText = "Rename";
    static constexpr const char* grantToRenameText = "Grant access to rename";
    /// The Rename button's label is at least this wide.
    static constexpr int renameLabelWidth = 110;

    FilesFooter(RenamerStore& store, const FileListModel& model, QWidget* parent = nullptr);

    /// "Rename %1 Files", "Grant access to rename" or "Rename", as the state asks.
    static QString renameLabel(std::size_t readyCount, bool folderNeedsAccess);

    QLabel& filesLabel() const { return *m_files; }
    SymbolLabel& changesLabel() const { return *m_changes; }
    SymbolLabel& skippedLabel() const { return *m_skipped; }
    QToolButton& selectButton() const { return *m_select; }
    QPushButton& undoButton() const { return *m_undo; }
    BrandPrimaryButton& renameButton() const { return *m_rename; }

signals:
    /// "Clear list" emptied the list.
    void listCleared();

private:
    void refreshCounts();
    void refreshAccess();
    void refreshRename();

    RenamerStore& m_store;
    const FileListModel& m_model;
    bool m_folderNeedsAccess = false;
    QLabel* m_files = nullptr;
    SymbolLabel* m_changes = nullptr;
    SymbolLabel* m_skipped = nullptr;
    QToolButton* m_select = nullptr;
    QPushButton* m_undo = nullptr;
    BrandPrimaryButton* m_rename = nullptr;
};

} // namespace sorvik
