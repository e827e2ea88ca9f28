#include "app/store/renamer_store.h"

#include "app/store/file_scan.h"
#include "app/store/item_order.h"

#include <algorithm>
#include <exception>
#include <unordered_map>

namespace sorvik {

namespace {

    /// The path by which listed files are told apart.
    std::string standardPath(const FileURL& url)
    {
        return url.isStandardized() ? url.path : url.standardized().path;
    }

    bool isDSStore(std::string_view path)
    {
        constexpr std::string_view name = ".DS_Store";
        return path.ends_with(name)
            && (path.size() == name.size() || path[path.size() - name.size() - 1] == '/');
    }

} // namespace

// ---- Files ----

void RenamerStore::addFiles(const std::vector<FileURL>& urls)
{
    const auto& current = *m_items;
    std::unordered_set<std::string> known;
    known.reserve(current.size());
    for (const auto& item : current)
        known.insert(standardPath(item.url));

    // The URLs to add, in order; their files are read once the whole call is known.
    std::vector<FileURL> accepted;
    auto accept = [&](FileURL url) {
        if (isDSStore(url.path) || !known.insert(standardPath(url)).second)
            return;
        accepted.push_back(std::move(url));
    };

    const FileScan::Options options { m_includeSubfolders, m_includeHidden };
    for (const auto& url : urls) {
        // Anything that cannot be read as a plain folder is one item: a file, a link, a path
        // that is gone.
        if (!FileScan::isPlainFolder(url) || m_renameFolders) {
            accept(url);
            continue;
        }
        try {
            m_folderAccess->grant(url);
        } catch (const std::exception& error) {
            m_folderAccess->setErrorMessage(error.what());
        }
        auto found = ItemOrder::sortURLsByPath(FileScan::regularFiles(url, options));
        known.reserve(known.size() + found.size());
        accepted.reserve(accepted.size() + found.size());
        for (auto& file : found)
            accept(std::move(file));
    }
    auto added = FileScan::makeItems(accepted, m_nextOrder);
    m_nextOrder += std::int64_t(added.size());

    bool nothingAdded = added.empty();
    auto items = std::make_shared<std::vector<FileItem>>();
    items->reserve(current.size() + added.size());
    items->insert(items->end(), current.begin(), current.end());
    items->insert(
        items->end(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
    publishItems(std::move(items));
    refreshPreview();
    if (nothingAdded && !urls.empty())
        showToast(std::string(nothingNewToAddText));
}

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
