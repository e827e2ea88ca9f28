#include "app/store/watch_folder_store.h"

namespace sorvik {

WatchFolderStore::WatchFolderStore(QObject* parent)
    : QObject(parent)
{
}

WatchFolderStore::~WatchFolderStore() = default;

} // namespace sorvik
