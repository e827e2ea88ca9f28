#pragma once

#include "engine/model/file_url.h"

#include <optional>
#include <string>
#include <vector>

namespace sorvik {

/// A kind of document that a file dialog offers: its type identifier, its MIME type and its
/// file name extension (without the dot).
struct DocumentType {
    std::string identifier;
    std::string mimeType;
    std::string extension;

    friend bool operator==(const DocumentType&, const DocumentType&) = default;
};

/// The modal dialogs the store shows: the failure alert, the dialog that chooses files to add
/// and the file dialogs of preset documents. The window implements them with a message box and file
/// dialogs; without an implementation the store asks nothing, so code without a window never
/// blocks.
class StoreDialogs {
public:
    virtual ~StoreDialogs() = default;

    /// Shows a modal alert in the warning style and returns when the user dismisses it.
    virtual void presentWarning(const std::string& messageText, const std::string& informativeText)
        = 0;

    /// Asks where to save one document of one of `allowedTypes`, proposing `proposedName`.
    /// Nothing when cancelled.
    virtual std::optional<FileURL> chooseSaveLocation(
        const std::string& proposedName, const std::vector<DocumentType>& allowedTypes)
        = 0;

    /// Asks for one existing file of one of `allowedTypes`. Nothing when cancelled.
    virtual std::optional<FileURL> chooseFileToOpen(const std::vector<DocumentType>& allowedTypes)
        = 0;

    /// Asks for any number of files and folders to add to the list, with `acceptLabel` on the
    /// accept button and `message` shown in the dialog. Nothing when cancelled.
    virtual std::optional<std::vector<FileURL>> chooseFilesToAdd(
        const std::string& acceptLabel, const std::string& message)
        = 0;
};

} // namespace sorvik
