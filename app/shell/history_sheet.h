#pragma once

#include "engine/apply/history_record.h"
#include "engine/model/date.h"

#include <QDialog>

#include <vector>

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace sorvik {

class FileManagerReveal;
class RenamerStore;

// The rename history as a sheet over the window: every applied batch, newest first, each
// with its date, its number of files and its folder, a button that reveals its backup and
// one that puts the batch back; above them the switch for backups before renaming.
//
// The sheet follows the store's `showingHistory`: it opens (without blocking) when the flag
// is raised, and closing it ("Done", Escape, the window's close button) lowers the flag.
// "Show Backup" is offered only while the backup folder still exists: backups are pruned
// after seven days, and revealing a folder that is gone would show nothing.
class HistorySheet : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HistorySheet)

public:
    static constexpr const char* titleText = "Rename History";
    static constexpr const char* doneText = "Done";
    static constexpr const char* backupText = "Back up files before renaming";
    static constexpr const char* captionText = "Backups stay on this computer and are removed "
                                               "after seven days when you rename another batch.";
    static constexpr const char* showBackupText = "Show Backup";
    static constexpr const char* undoBatchText = "Undo Batch";
    static constexpr const char* undoneText = "Undone";
    static constexpr int sheetWidth = 700;
    static constexpr int sheetHeight = 460;

    /// A sheet over `window`, which may be null.
    explicit HistorySheet(RenamerStore& store, QWidget* window = nullptr);
    ~HistorySheet() override;

    /// Reveals backups through `reveal` instead of the shared one (not owned; null: the shared
    /// one again).
    void setReveal(FileManagerReveal* reveal);

    /// The record's date as the sheet shows it: the date alone in the user's locale.
    static QString dateText(Date date);

    QListWidget& list() const { return *m_list; }
    QCheckBox& backupSwitch() const { return *m_backup; }
    QPushButton& doneButton() const { return *m_done; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void followFlag();
    void rebuild();
    void refreshButtons();
    QWidget* makeRow(const HistoryRecord& record);
    FileManagerReveal& reveal() const;

    RenamerStore& m_store;
    FileManagerReveal* m_reveal = nullptr;
    QCheckBox* m_backup = nullptr;
    QListWidget* m_list = nullptr;
    QPushButton* m_done = nullptr;
    /// Each row's undo button, with whether its record is undone.
    std::vector<std::pair<QPushButton*, bool>> m_undoButtons;
};

} // namespace sorvik
