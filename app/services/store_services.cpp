#include "app/services/store_services.h"

#include "app/services/ai_service.h"
#include "app/services/metadata_service.h"
#include "app/store/renamer_store.h"

#include <memory>

namespace sorvik {

MetadataMap StoreServices::metadata(
    const std::vector<FileItem>& items, bool lookUpPlaces, std::stop_token stop)
{
    return MetadataService::shared().metadata(items, lookUpPlaces, std::move(stop));
}

MetadataDictionary StoreServices::aiMetadata(const FileItem& item, AIMode mode,
    std::int64_t maxWords, bool includeDate, std::stop_token stop)
{
    return AIService::shared().metadata(item, mode, maxWords, includeDate, std::move(stop));
}

void StoreServices::install()
{
    RenamerStore::setDefaultPreviewServices(std::make_shared<StoreServices>());
}

} // namespace sorvik
