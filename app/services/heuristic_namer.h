#pragma once

#include "engine/model/metadata_dictionary.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

/// The engine name of answers that the heuristic gave.
inline constexpr std::string_view basicAIEngineName = "Basic AI";

/// The naming heuristic: a file name proposal without a language model.
///
/// - "ai.title": the significant words of the text (at least three characters, not one of
///   the English and Spanish stop words, each word once whatever its case, first spelling
///   kept) in order, or the image labels when there are none, cut to `maxWords`.
/// - "ai.type": "Invoice", "Receipt" or "Contract" by the first English or Spanish keyword
///   group that the text contains, else "Document", or "Photo" for an empty text.
/// - "ai.date": the first absolute date written in the text as "yyyy-MM-dd", or empty.
/// - "ai.party": empty; "ai.engine": "Basic AI".
MetadataDictionary basicAIAnswer(
    std::string_view text, const std::vector<std::string>& labels, std::int64_t maxWords);

} // namespace sorvik
