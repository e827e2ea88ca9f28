#pragma once

#include "engine/model/date.h"
#include "engine/model/file_item.h"
#include "engine/model/metadata_dictionary.h"

#include <cstdint>
#include <utility>

namespace sorvik {

/// What a token and a rule may read about one file in one run.
struct RenameContext {
    /// The file being named.
    FileItem item;
    /// The file's position in the run, from 0.
    std::int64_t index = 0;
    /// The file's position within its own folder in the run, from 0; set by the pipeline.
    std::int64_t folderIndex = 0;
    /// The moment that "today" stands for.
    Date now;
    /// The file's metadata, keyed by token name; empty when the file has none.
    MetadataDictionary metadata;

    RenameContext() = default;
    /// A context with `folderIndex` 0.
    RenameContext(FileItem item_, std::int64_t index_, Date now_, MetadataDictionary metadata_)
        : item(std::move(item_))
        , index(index_)
        , now(now_)
        , metadata(std::move(metadata_))
    {
    }

    friend bool operator==(const RenameContext&, const RenameContext&) = default;
};

} // namespace sorvik
