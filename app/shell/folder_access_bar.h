#pragma once

#include "engine/model/file_url.h"

#include <QWidget>

#include <optional>

class QLabel;
class QPushButton;

namespace sorvik {

class RenamerStore;
class SymbolLabel;

// The bar above the window's columns that asks for the folder of the first included file
// outside every granted folder ("To rename these files, allow access to …", "Grant Access"),
// and shows the last failure of granting in red. It is hidden while neither applies. The
// folder is found again once per change of the list or the preview, never while painting.
class FolderAccessBar : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FolderAccessBar)

public:
    static constexpr const char* grantText = "Grant Access";

    explicit FolderAccessBar(RenamerStore& store, QWidget* parent = nullptr);

    /// The folder the bar asks for now.
    const std::optional<FileURL>& folder() const { return m_folder; }
    /// "To rename these files, allow access to " + the folder's name + ".".
    static QString requestText(const FileURL& folder);

    SymbolLabel& requestLabel() const { return *m_request; }
    QPushButton& grantButton() const { return *m_grant; }
    QLabel& errorLabel() const { return *m_error; }
    QWidget& requestRow() const { return *m_requestRow; }

private:
    void refresh();
    void grant();

    RenamerStore& m_store;
    std::optional<FileURL> m_folder;
    QWidget* m_requestRow = nullptr;
    SymbolLabel* m_request = nullptr;
    QPushButton* m_grant = nullptr;
    QLabel* m_error = nullptr;
};

} // namespace sorvik
