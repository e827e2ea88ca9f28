#pragma once

#include "app/store/preview_services.h"

namespace sorvik {

/// What the state store's preview planning asks of the process-wide `MetadataService` and
/// `AIService`. Both are reached lazily, on the first call that needs them.
class StoreServices : public PreviewServices {
public:
    MetadataMap metadata(
        const std::vector<FileItem>& items, bool lookUpPlaces, std::stop_token stop) override;
    MetadataDictionary aiMetadata(const FileItem& item, AIMode mode, std::int64_t maxWords,
        bool includeDate, std::stop_token stop) override;

    /// Makes these the services of every store made without its own, `RenamerStore::shared()`
    /// included. Program start-up calls it before anything touches the shared store.
    static void install();
};

} // namespace sorvik
