#include "engine/apply/name_lookup.h"

#include <exception>

namespace sorvik {

namespace {

    // Below this many names in one folder, asking for each is cheaper than reading it whole.
    constexpr std::size_t listingThreshold = 64;
    // A folder is read whole only while it holds at most this many entries per name wanted.
    constexpr std::size_t entriesPerName = 16;

} // namespace

void NameLookup::want(const OpenFolder* folder, std::string_view name)
{
    auto& asked = m_byFolder[folder];
    asked.names.push_back(name);
    asked.places.push_back(static_cast<std::uint32_t>(m_count++));
}

std::vector<std::optional<ItemIdentity>> NameLookup::look()
{
    std::vector<std::optional<ItemIdentity>> answers(m_count);
    for (auto& [folder, asked] : m_byFolder) {
        if (!folder)
            continue;
        if (asked.names.size() >= listingThreshold && answerFromListing(*folder, asked, answers))
            continue;
        for (std::size_t index = 0; index < asked.names.size(); ++index) {
            if (auto status = m_fileSystem.itemStatus(*folder, asked.names[index]))
                answers[asked.places[index]] = ItemIdentity { status->device, status->inode };
        }
    }
    m_byFolder.clear();
    m_count = 0;
    return answers;
}

bool NameLookup::answerFromListing(
    const OpenFolder& folder, const Asked& asked, std::vector<std::optional<ItemIdentity>>& answers)
{
    auto found = m_fileSystem.findNames(folder, asked.names, asked.names.size() * entriesPerName);
    if (!found)
        return false;
    ItemStatus status;
    try {
        status = m_fileSystem.folderStatus(folder);
    } catch (const std::exception&) {
        return false;
    }
    for (std::size_t index = 0; index < asked.names.size(); ++index) {
        if (!(*found)[index])
            continue;
        // Everything in a folder is on its device; a mount point cannot be renamed.
        answers[asked.places[index]] = ItemIdentity { status.device, *(*found)[index] };
    }
    return true;
}

} // namespace sorvik
