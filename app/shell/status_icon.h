#pragma once

#include "app/style/ui_style.h"
#include "engine/model/file_item.h"

#include <QIcon>

#include <string>
#include <string_view>

namespace sorvik {

/// The file list's status icon of one row: a system symbol in a tone, with a help text that
/// explains a problem or the missing folder access.
struct StatusIcon {
    std::string_view symbol;
    Tone tone = Tone::quaternary;
    /// Empty when the status needs no explanation (no tooltip).
    std::string toolTip;

    friend bool operator==(const StatusIcon&, const StatusIcon&) = default;
};

StatusIcon statusIcon(const RenameStatus& status);

/// The icon drawn in its tone's colour for the palette.
QIcon statusIconImage(const StatusIcon& icon, const QPalette& palette);

} // namespace sorvik
