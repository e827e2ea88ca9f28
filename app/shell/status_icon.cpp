#include "app/shell/status_icon.h"

#include "app/style/symbol_icons.h"

namespace sorvik {

StatusIcon statusIcon(const RenameStatus& status)
{
    switch (status.kind) {
    case RenameStatus::Kind::conflict:
    case RenameStatus::Kind::invalid:
        return { "exclamationmark.triangle.fill", Tone::orange, status.reason };
    case RenameStatus::Kind::ready:
        return { "checkmark.circle.fill", Tone::green, {} };
    case RenameStatus::Kind::needsAccess:
        return { "lock.fill", Tone::orange, "Grant folder access to rename" };
    case RenameStatus::Kind::unchanged:
    case RenameStatus::Kind::skipped:
        break;
    }
    return { "minus", Tone::quaternary, {} };
}

QIcon statusIconImage(const StatusIcon& icon, const QPalette& palette)
{
    return tintedSymbolIcon(icon.symbol, toneColor(icon.tone, palette));
}

} // namespace sorvik
