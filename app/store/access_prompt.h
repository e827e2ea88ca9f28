#pragma once

#include "engine/model/file_url.h"

#include <optional>
#include <string>

namespace sorvik {

/// Asks the user to choose a folder to grant. The window implements it with a folder dialog;
/// without one, nothing is ever asked, so code without a window never blocks.
class AccessPrompt {
public:
    virtual ~AccessPrompt() = default;

    /// Shows a dialog that chooses one folder (no files), opened in `startFolder`, whose
    /// accept button reads `acceptLabel` and which shows `message`. Nothing when cancelled.
    virtual std::optional<FileURL> chooseFolder(
        const FileURL& startFolder, const std::string& acceptLabel, const std::string& message)
        = 0;
};

} // namespace sorvik
