#include "app/store/renamer_store.h"

#include <algorithm>
#include <exception>
#include <unordered_map>

namespace sorvik {

// ---- Files ----

void RenamerStore::chooseFiles()
{
    if (!m_dialogs)
        return;
    auto chosen
        = m_dialogs->chooseFilesToAdd(std::string(addFilesLabel), std::string(addFilesMessage));
    if (chosen)
        addFiles(*chosen);
}

bool RenamerStore::isIncluded(const Uuid& id) const
{
    for (const auto& item : *m_items) {
        if (item.id == id)
            return item.included;
    }
    return false;
}

void RenamerStore::setIncluded(const Uuid& id, bool included)
{
    const auto& current = *m_items;
    auto found = std::find_if(
        current.begin(), current.end(), [&](const FileItem& item) { return item.id == id; });
    if (found == current.end())
        return;
    auto items = std::make_shared<std::vector<FileItem>>(current);
    (*items)[std::size_t(found - current.begin())].included = included;
    publishItems(std::move(items));
    refreshPreview();
}

void RenamerStore::setIncluded(const std::unordered_set<Uuid>& ids, bool included)
{
    // One change for the whole set: a write per item would copy the list and plan it again
    // as many times as there are items in the set.
    if (ids.empty())
        return;
    auto items = std::make_shared<std::vector<FileItem>>(*m_items);
    bool found = false;
    for (auto& item : *items) {
        if (ids.contains(item.id)) {
            item.included = included;
            found = true;
        }
    }
    if (!found)
        return;
    publishItems(std::move(items));
    refreshPreview();
}

void RenamerStore::removeItems(const std::unordered_set<Uuid>& ids)
{
    auto items = std::make_shared<std::vector<FileItem>>();
    items->reserve(m_items->size());
    for (const auto& item : *m_items) {
        if (!ids.contains(item.id))
            items->push_back(item);
    }
    publishItems(std::move(items));
    refreshPreview();
}

void RenamerStore::setAllIncluded(bool included)
{
    // One change for the whole list: a publication and a preview per item would plan the
    // list as many times as it has items.
    auto items = std::make_shared<std::vector<FileItem>>(*m_items);
    for (auto& item : *items)
        item.included = included;
    publishItems(std::move(items));
    refreshPreview();
}

void RenamerStore::relocateItems(const std::vector<std::pair<FileURL, FileURL>>& moves)
{
    auto items = std::make_shared<std::vector<FileItem>>(*m_items);
    std::unordered_map<std::string, std::vector<std::size_t>> positions;
    for (std::size_t index = 0; index < items->size(); ++index)
        positions[(*items)[index].url.standardized().path].push_back(index);
    bool changed = false;
    for (const auto& [from, to] : moves) {
        auto found = positions.find(from.standardized().path);
        if (found == positions.end() || found->second.empty())
            continue;
        // The first listed item at that path moves, once: the pairs of a batch are matched
        // against the places the items had before it, so that when names were swapped or
        // rotated, the item moved by one pair is not taken again by a later pair whose source
        // is its new place.
        auto index = found->second.front();
        found->second.erase(found->second.begin());
        (*items)[index].url = to;
        changed = true;
    }
    if (!changed)
        return;
    publishItems(std::move(items));
    refreshPreview();
}

bool RenamerStore::coversFolder(std::string_view path) const
{
    auto found = m_coveredFolders.find(path);
    if (found != m_coveredFolders.end())
        return found->second;
    // One resolution of each granted folder for the whole preview, not one per folder asked.
    if (!m_coverage)
        m_coverage.emplace(m_folderAccess->coverage());
    bool covered = m_coverage->covers(FileURL(path, true));
    m_coveredFolders.emplace(std::string(path), covered);
    return covered;
}

void RenamerStore::grantsChanged()
{
    m_coveredFolders.clear();
    m_coverage.reset();
    m_previews.reset();
    emit previewsChanged();
}

} // namespace sorvik
