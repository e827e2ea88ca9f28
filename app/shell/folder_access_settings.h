#pragma once

#include "engine/model/file_url.h"

#include <QWidget>

#include <vector>

class QLabel;
class QListWidget;

namespace sorvik {

class FolderAccessManager;

// The folders sorvik may rename in, as the settings show them: every granted folder with a
// "Remove" that withdraws the grant at once (no confirmation: granting again is one dialog
// away), then the stored grants whose folder could not be opened at start-up (moved beyond
// reach, deleted, or on a disk that is not connected), kept for when the folder comes back,
// each with its own "Remove" and a line that says what it means and what the user can do;
// under the list, in red, the last failure of granting or
// removing, for as long as the manager holds it. A removal that fails leaves its row.
//
// Paths are shown as the file system spells them, bytes that are not UTF-8 as U+FFFD; each
// row keeps its folder's bytes, so the text shown is never turned back into a path.
class FolderAccessSettings : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FolderAccessSettings)

public:
    static constexpr const char* titleText = "Folder Access";
    static constexpr const char* introText
        = "Allowed folders remain available after you reopen the app.";
    static constexpr const char* removeText = "Remove";
    static constexpr const char* notFoundText = "Folder not found";
    static constexpr int settingsWidth = 560;
    static constexpr int settingsHeight = 320;

    explicit FolderAccessSettings(FolderAccessManager& manager, QWidget* parent = nullptr);

    /// One row per listed folder: the granted ones in grant order, then the ones not found.
    QListWidget& list() const { return *m_list; }
    QLabel& errorLabel() const { return *m_error; }
    /// The folder of each row, in row order.
    const std::vector<FileURL>& rowFolders() const { return m_rowFolders; }
    /// Whether the row's folder could not be opened.
    bool isNotFound(int row) const;

private:
    void rebuild();
    void showError();
    QWidget* makeRow(const FileURL& folder, bool notFound);

    FolderAccessManager& m_manager;
    QListWidget* m_list = nullptr;
    QLabel* m_error = nullptr;
    std::vector<FileURL> m_rowFolders;
    std::size_t m_grantedCount = 0;
};

} // namespace sorvik
