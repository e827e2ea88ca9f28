#include "app/shell/new_name_cell.h"

#include "app/shell/character_difference.h"
#include "engine/model/text.h"

namespace sorvik {

namespace {

    // UTF-16 units of valid UTF-8 bytes: one per code point, two for those above U+FFFF.
    std::size_t utf16Length(std::string_view utf8)
    {
        std::size_t length = 0;
        for (unsigned char byte : utf8) {
            if ((byte & 0xC0) != 0x80)
                length += (byte >= 0xF0) ? 2 : 1;
        }
        return length;
    }

    std::vector<std::size_t> utf16CharacterOffsets(std::string_view text)
    {
        auto boundaries = text::characterBoundaries(text);
        std::vector<std::size_t> offsets;
        offsets.reserve(boundaries.size());
        std::size_t offset = 0;
        offsets.push_back(0);
        for (std::size_t index = 1; index < boundaries.size(); ++index) {
            offset += utf16Length(
                text.substr(boundaries[index - 1], boundaries[index] - boundaries[index - 1]));
            offsets.push_back(offset);
        }
        return offsets;
    }

} // namespace

NewNameCell newNameCell(const PreviewRow& row)
{
    NewNameCell cell;
    cell.text = row.newName;
    switch (row.status.kind) {
    case RenameStatus::Kind::conflict:
    case RenameStatus::Kind::invalid:
        cell.tone = Tone::orange;
        cell.toolTip = row.status.reason;
        break;
    case RenameStatus::Kind::unchanged:
    case RenameStatus::Kind::skipped:
        cell.tone = Tone::tertiary;
        break;
    case RenameStatus::Kind::ready:
    case RenameStatus::Kind::needsAccess:
        cell.tone = Tone::primary;
        cell.markedCharacters = insertedCharacters(row.item.name(), row.newName);
        if (!cell.markedCharacters.empty())
            cell.characterOffsets = utf16CharacterOffsets(cell.text);
        break;
    }
    return cell;
}

} // namespace sorvik
