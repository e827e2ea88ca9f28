#pragma once

#include "app/store/access_prompt.h"
#include "app/store/store_dialogs.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sorvik::testing {

/// Dialogs that answer from fields and record what they were asked.
class FakeDialogs : public StoreDialogs {
public:
    struct SaveRequest {
        std::string proposedName;
        std::vector<DocumentType> allowedTypes;
    };

    std::optional<FileURL> saveAnswer;
    std::optional<FileURL> openAnswer;
    /// The files and folders chosen to add; nothing means the dialog was cancelled.
    std::optional<std::vector<FileURL>> addAnswer;

    std::vector<std::pair<std::string, std::string>> warnings;
    std::vector<SaveRequest> saveRequests;
    std::vector<std::vector<DocumentType>> openRequests;
    /// The accept label and message of every dialog that chose files to add.
    std::vector<std::pair<std::string, std::string>> addRequests;

    void presentWarning(const std::string& messageText, const std::string& informativeText) override
    {
        warnings.emplace_back(messageText, informativeText);
    }

    std::optional<FileURL> chooseSaveLocation(
        const std::string& proposedName, const std::vector<DocumentType>& allowedTypes) override
    {
        saveRequests.push_back({ proposedName, allowedTypes });
        return saveAnswer;
    }

    std::optional<FileURL> chooseFileToOpen(const std::vector<DocumentType>& allowedTypes) override
    {
        openRequests.push_back(allowedTypes);
        return openAnswer;
    }

    std::optional<std::vector<FileURL>> chooseFilesToAdd(
        const std::string& acceptLabel, const std::string& message) override
    {
        addRequests.emplace_back(acceptLabel, message);
        return addAnswer;
    }
};

/// An access dialog that records the folders it was opened on and is always cancelled.
class CancelledAccessPrompt : public AccessPrompt {
public:
    std::vector<FileURL> startFolders;

    std::optional<FileURL> chooseFolder(
        const FileURL& startFolder, const std::string&, const std::string&) override
    {
        startFolders.push_back(startFolder);
        return std::nullopt;
    }
};

} // namespace sorvik::testing
