#pragma once

#include "app/services/ai_image_classifier.h"
#include "app/services/ai_language_model.h"
#include "app/services/content_extractor.h"
#include "engine/model/file_item.h"
#include "engine/model/metadata_dictionary.h"
#include "engine/model/regular_file.h"
#include "engine/model/rule_options.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <system_error>
#include <unordered_map>

namespace sorvik {

/// Proposes a title, document type, date and party for one file, for the AI rename rule.
///
/// Policy: the answer for a file is looked up by a key made of the hash of the file's first
/// MiB, its size and modification time and the rule's three settings; only a miss reads the
/// file's content. The heuristic answer is always computed; a language model, when this
/// computer has one, answers instead, and its failure falls back on the heuristic. An answer
/// without a title becomes "ai.error" "No readable content or recognizable subject was
/// found."; a file that cannot be read or whose content cannot be extracted becomes
/// "ai.error" with the reason. Usable answers are cached and the whole cache is written to
/// "ai-cache.json" after each new one; errors are never cached, so the file is tried again
/// next time. Cache entries are never evicted.
///
/// Like an actor, the service handles one call at a time: calls from several threads wait
/// for each other. It never throws.
class AIService {
public:
    /// The process-wide service, made on first use (from any thread).
    static AIService& shared();

    /// A service that asks `model` and `classifier`, with the cache read from
    /// "ai-cache.json" (empty when the file is missing or unreadable).
    explicit AIService(std::unique_ptr<LanguageModel> model,
        const ImageClassifier& classifier = ImageClassifier::platformDefault());
    AIService(const AIService&) = delete;
    AIService& operator=(const AIService&) = delete;

    /// The "ai." keys for the file of `item`: "ai.title", "ai.type", "ai.date", "ai.party"
    /// and "ai.engine", or "ai.error" alone. `maxWords` limits the title (clamped to 1…12)
    /// and, like `includeDate`, only otherwise enters the cache key. Blocks until the answer
    /// is ready. When `stop` is requested while the content is read, the answer is empty
    /// and nothing is cached.
    MetadataDictionary metadata(const FileItem& item, AIMode mode, std::int64_t maxWords,
        bool includeDate, std::stop_token stop = {});

    /// The text of "ai.error" when no usable title came out.
    static constexpr std::string_view noContentMessage
        = "No readable content or recognizable subject was found.";

private:
    MetadataDictionary answer(const FileItem& item, AIMode mode, std::int64_t maxWords,
        bool includeDate, std::stop_token stop);
    MetadataDictionary modelAnswer(
        const Content& content, AIMode mode, std::int64_t maxWords, MetadataDictionary heuristic);
    void saveCache() const;
    /// The SHA-256 of the file's first MiB, remembered while the file is unchanged; nothing,
    /// with the reason in `error`, when the file cannot be read.
    std::optional<std::string> contentHash(const RegularFile& file, std::error_code& error);

    std::mutex m_mutex;
    std::unique_ptr<LanguageModel> m_model;
    const ImageClassifier& m_classifier;
    std::map<std::string, MetadataDictionary> m_cache;
    std::unordered_map<std::string, std::string> m_contentHashes;
};

} // namespace sorvik
