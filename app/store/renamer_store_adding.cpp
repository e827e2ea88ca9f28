#include "app/store/renamer_store.h"

#include "app/store/file_adding.h"

#include <exception>

namespace sorvik {

// ---- Adding files ----

void RenamerStore::addFiles(const std::vector<FileURL>& urls)
{
    auto request = std::make_shared<FileAdding::Request>();
    request->urls = urls;
    request->options = FileScan::Options { m_includeSubfolders, m_includeHidden };
    request->renameFolders = m_renameFolders;
    m_addQueue.push_back(std::move(request));
    setIsAdding(true);
    if (!m_addTask)
        startNextAdd();
}

void RenamerStore::startNextAdd()
{
    if (m_addQueue.empty()) {
        setIsAdding(false);
        return;
    }
    auto request = std::move(m_addQueue.front());
    m_addQueue.pop_front();
    // Taken now, not when the call was made: the calls before this one are listed by now.
    request->listed = m_items;

    std::stop_source task;
    m_addTask = task;
    m_addingThreads.start([this, request, stop = task.get_token()] {
        auto found = FileAdding::collect(*request, stop);
        if (!found)
            return;
        auto shared = std::make_shared<FileAdding::Found>(std::move(*found));
        QMetaObject::invokeMethod(
            this,
            [this, stop, request, shared] {
                if (!stop.stop_requested())
                    finishAdd(*request, std::move(*shared));
            },
            Qt::QueuedConnection);
    });
}

void RenamerStore::finishAdd(const FileAdding::Request& request, FileAdding::Found found)
{
    for (const auto& folder : found.scannedFolders) {
        // A folder that cannot be granted is still listed; the reason shows with the grants.
        try {
            m_folderAccess->grant(folder);
        } catch (const std::exception& error) {
            m_folderAccess->setErrorMessage(error.what());
        }
    }

    const auto& current = *m_items;
    auto added = std::move(found.items);
    // The list changed while the files were read (an apply moved items, or items were
    // removed): what is listed now decides what is new.
    if (m_items != request.listed)
        added = FileAdding::withoutListed(std::move(added), current);
    for (auto& item : added)
        item.order = m_nextOrder++;

    bool nothingAdded = added.empty();
    auto items = std::make_shared<std::vector<FileItem>>();
    items->reserve(current.size() + added.size());
    items->insert(items->end(), current.begin(), current.end());
    items->insert(
        items->end(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
    publishItems(std::move(items));
    refreshPreview();
    if (nothingAdded && !request.urls.empty())
        showToast(std::string(nothingNewToAddText));
    // Only now: a call made while the items were published waits its turn like any other.
    m_addTask.reset();
    startNextAdd();
}

void RenamerStore::setIsAdding(bool adding)
{
    if (adding == m_isAdding)
        return;
    m_isAdding = adding;
    emit isAddingChanged();
}

} // namespace sorvik
