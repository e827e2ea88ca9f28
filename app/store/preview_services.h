#pragma once

#include "engine/model/file_item.h"
#include "engine/model/metadata_dictionary.h"
#include "engine/model/rule_options.h"

#include <cstdint>
#include <stop_token>
#include <vector>

namespace sorvik {

/// What preview planning and the automation runner ask of the metadata and AI naming
/// services. Both calls block until their answer is ready, may be made from several threads
/// at once (planning threads, and the GUI thread for the automation runner, so an answer must
/// never wait for the GUI thread), and never throw. When `stop` is requested they may return
/// early with what they have; the answer is then thrown away.
class PreviewServices {
public:
    virtual ~PreviewServices() = default;

    /// The metadata of `items` (every listed item, in preview order) by item id. Place names
    /// ("gps.city", "gps.country") only when `lookUpPlaces` is true.
    virtual MetadataMap metadata(
        const std::vector<FileItem>& items, bool lookUpPlaces, std::stop_token stop)
        = 0;

    /// The "ai." keys that the AI naming service proposes for the file of `item` under one AI
    /// rename rule's settings, or "ai.error" with the reason it has none.
    virtual MetadataDictionary aiMetadata(const FileItem& item, AIMode mode, std::int64_t maxWords,
        bool includeDate, std::stop_token stop)
        = 0;
};

} // namespace sorvik
