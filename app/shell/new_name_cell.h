#pragma once

#include "app/style/ui_style.h"
#include "engine/model/file_item.h"

#include <QMetaType>

#include <cstddef>
#include <string>
#include <vector>

namespace sorvik {

/// What the file list's new-name cell shows for one preview row: the new name on one line,
/// in a tone by the row's status, with the characters that the rules added or changed
/// marked (accent colour, bold) while the row is ready or needs access.
struct NewNameCell {
    std::string text;
    Tone tone = Tone::primary;
    /// The problem's reason for a conflict or invalid row; empty otherwise (no tooltip).
    std::string toolTip;
    /// Offsets of the marked characters (user-perceived characters of `text`), ascending.
    std::vector<std::size_t> markedCharacters;
    /// Where each character of `text` starts in its UTF-16 form (`toQString`), followed by
    /// the length: one more entry than characters. Only filled when something is marked.
    std::vector<std::size_t> characterOffsets;

    friend bool operator==(const NewNameCell&, const NewNameCell&) = default;
};

/// The cell of a row. Problems show the new name plain in orange with the reason as their
/// tooltip; unchanged and skipped rows show it plain in the tertiary tone; ready rows and
/// rows that need access mark the characters that a shortest edit script from the file's
/// current name inserts. It costs about a microsecond for a typical name and up to half a
/// millisecond for two 255-character names with nothing in common: make it for the rows the
/// list shows, and keep it, rather than for every row of a large batch at once.
NewNameCell newNameCell(const PreviewRow& row);

} // namespace sorvik

Q_DECLARE_METATYPE(sorvik::NewNameCell)
