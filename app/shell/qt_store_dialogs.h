#pragma once

#include "app/store/access_prompt.h"
#include "app/store/store_dialogs.h"
#include "engine/model/file_url.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <optional>
#include <string>
#include <vector>

class QFileDialog;

namespace sorvik {

// The store's dialogs as Qt shows them: a warning message box and Qt's own file dialogs
// (never the desktop's, which would differ from one desktop to the next and cannot show the
// store's accept labels), each modal over the window given.
//
// The file dialogs hand back names as text. A name whose bytes are not UTF-8 comes back with
// U+FFFD in place of those bytes; such a name is looked up again among the bytes of its
// folder, and when that does not find exactly one entry it is refused, never guessed: a
// guess could name another file.
class QtStoreDialogs : public StoreDialogs, public AccessPrompt {
public:
    /// Dialogs over `window` (none: over no window).
    explicit QtStoreDialogs(QWidget* window = nullptr);
    ~QtStoreDialogs() override;
    QtStoreDialogs(const QtStoreDialogs&) = delete;
    QtStoreDialogs& operator=(const QtStoreDialogs&) = delete;

    void presentWarning(
        const std::string& messageText, const std::string& informativeText) override;
    std::optional<FileURL> chooseSaveLocation(
        const std::string& proposedName, const std::vector<DocumentType>& allowedTypes) override;
    std::optional<FileURL> chooseFileToOpen(const std::vector<DocumentType>& allowedTypes) override;
    std::optional<std::vector<FileURL>> chooseFilesToAdd(
        const std::string& acceptLabel, const std::string& message) override;
    std::optional<FileURL> chooseFolder(const FileURL& startFolder, const std::string& acceptLabel,
        const std::string& message) override;

    /// The file or folder a dialog named by `path`, with its bytes; nothing when a name
    /// holding U+FFFD does not match exactly one entry of its folder.
    static std::optional<FileURL> fileURLFromDialog(const QString& path, bool isDirectory);

    /// The title and text of the warning shown when chosen names could not be read exactly.
    static constexpr const char* unreadableNamesText
        = "Some of the chosen names could not be read exactly";
    static constexpr const char* unreadableNamesInformative
        = "These were not added, so that no other file is taken for them:";

protected:
    /// Shows the dialog that chooses what to add; the chosen paths, or nothing when
    /// cancelled.
    virtual std::optional<QStringList> askForFilesToAdd(
        const QString& acceptLabel, const QString& message);

    /// Makes `dialog` one of Qt's own, modal over the window.
    void prepare(QFileDialog& dialog) const;
    QWidget* window() const { return m_window; }

private:
    QPointer<QWidget> m_window;
};

} // namespace sorvik
