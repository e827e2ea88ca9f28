#include "app/shell/new_name_cell.h"

#include "app/style/ui_style.h"

#include <string>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    PreviewRow row(std::string oldName, std::string newName, RenameStatus status)
    {
        FileItem item(FileURL("/photos/" + oldName), true, Date(), Date(), 10, 0);
        return PreviewRow(item, std::move(newName), std::move(status));
    }

    TEST(NewNameCell, ShowsTheNewNameByStatus)
    {
        struct Case {
            const char* name;
            RenameStatus status;
            Tone tone;
            std::string toolTip;
            std::vector<std::size_t> marks;
        };
        const Case cases[] = {
            { "conflict", RenameStatus::conflict("Duplicate name"), Tone::orange, "Duplicate name",
                {} },
            { "invalid", RenameStatus::invalid("Contains / or :"), Tone::orange,
                "Contains / or :", {} },
            { "unchanged", RenameStatus::unchanged(), Tone::tertiary, "", {} },
            { "skipped", RenameStatus::skipped(), Tone::tertiary, "", {} },
            { "ready", RenameStatus::ready(), Tone::primary, "", { 0, 1, 2 } },
            { "needs access", RenameStatus::needsAccess(), Tone::primary, "", { 0, 1, 2 } },
        };
        for (const auto& entry : cases) {
            auto cell = newNameCell(row("IMG_0001.jpg", "img_0001.jpg", entry.status));
            SCOPED_TRACE(entry.name);
            EXPECT_EQ(cell.text, "img_0001.jpg");
            EXPECT_EQ(cell.tone, entry.tone);
            EXPECT_EQ(cell.toolTip, entry.toolTip);
            EXPECT_EQ(cell.markedCharacters, entry.marks);
        }
    }

    TEST(NewNameCell, AReadyRowWithItsOwnNameHasNoMarks)
    {
        auto cell = newNameCell(row("IMG_0001.jpg", "IMG_0001.jpg", RenameStatus::ready()));
        EXPECT_TRUE(cell.markedCharacters.empty());
        EXPECT_TRUE(cell.characterOffsets.empty());
    }

    TEST(NewNameCell, AProblemReasonWithMarkupStaysText)
    {
        auto cell = newNameCell(row("a.txt", "<b>a</b>.txt", RenameStatus::invalid("<img src=x>")));
        EXPECT_EQ(cell.text, "<b>a</b>.txt");
        EXPECT_EQ(cell.toolTip, "<img src=x>");
    }

    TEST(NewNameCell, CharacterOffsetsFitTheDisplayedText)
    {
        // A skin-toned emoji is two code points and four UTF-16 units; "e" with a combining
        // accent two code points; a leading byte-order mark one unit of its own.
        std::string newName = "\xEF\xBB\xBF\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD_cafe\xCC\x81.png";
        auto cell = newNameCell(row("cafe.png", newName, RenameStatus::ready()));
        EXPECT_EQ(cell.markedCharacters, (std::vector<std::size_t> { 0, 1, 2, 6 }));
        auto shown = toQString(newName);
        ASSERT_EQ(cell.characterOffsets.back(), std::size_t(shown.size()));
        EXPECT_EQ(cell.characterOffsets,
            (std::vector<std::size_t> { 0, 1, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15 }));
    }

} // namespace
} // namespace sorvik
