#include "app/services/ai_service.h"

#include <sys/stat.h>

#include "app/services/ai_cache_key.h"
#include "app/services/content_text.h"
#include "app/services/heuristic_namer.h"
#include "app/services/title_cleaner.h"
#include "app/store/json_files.h"
#include "engine/model/json.h"
#include "engine/model/regular_file.h"

#include <exception>

namespace sorvik {

namespace {

    constexpr std::string_view cacheFileName = "ai-cache.json";

    MetadataDictionary errorAnswer(std::string_view reason)
    {
        return { { "ai.error", std::string(reason) } };
    }

    using Cache = std::map<std::string, MetadataDictionary>;

    Cache decodeCache(const nlohmann::json& stored)
    {
        json::requireObject(stored);
        Cache cache;
        for (const auto& [key, answer] : stored.items()) {
            json::requireObject(answer);
            MetadataDictionary dictionary;
            for (const auto& [name, value] : answer.items())
                dictionary.emplace(name, json::decode<std::string>(value));
            cache.emplace(key, std::move(dictionary));
        }
        return cache;
    }

    nlohmann::json encodeCache(const Cache& cache)
    {
        auto stored = nlohmann::json::object();
        for (const auto& [key, answer] : cache) {
            auto dictionary = nlohmann::json::object();
            for (const auto& [name, value] : answer)
                dictionary[name] = value;
            stored[key] = std::move(dictionary);
        }
        return stored;
    }

    Cache loadCache()
    {
        // A missing, unreadable or malformed cache file only means starting afresh.
        try {
            auto stored = JSONFiles::loadDocument(cacheFileName);
            return stored ? decodeCache(*stored) : Cache {};
        } catch (const std::exception&) {
            return {};
        }
    }

} // namespace

AIService& AIService::shared()
{
    static AIService service(LanguageModel::platformDefault());
    return service;
}

AIService::AIService(std::unique_ptr<LanguageModel> model, const ImageClassifier& classifier)
    : m_model(std::move(model))
    , m_classifier(classifier)
    , m_cache(loadCache())
{
}

MetadataDictionary AIService::metadata(const FileItem& item, AIMode mode, std::int64_t maxWords,
    bool includeDate, std::stop_token stop)
{
    try {
        std::lock_guard lock(m_mutex);
        return answer(item, mode, maxWords, includeDate, stop);
    } catch (const std::exception& error) {
        return errorAnswer(error.what());
    } catch (...) {
        return errorAnswer(noContentMessage);
    }
}

MetadataDictionary AIService::answer(const FileItem& item, AIMode mode, std::int64_t maxWords,
    bool includeDate, std::stop_token stop)
{
    const std::filesystem::path path = item.url.path;
    std::string key;
    {
        std::error_code error;
        auto file = RegularFile::open(path, error);
        if (!file)
            return errorAnswer(contentText::couldNotOpenMessage(path, error));
        auto hash = contentHash(*file, error);
        if (!hash)
            return errorAnswer(contentText::couldNotReadMessage(path, error));
        key = aiCacheKey(*hash, item, mode, maxWords, includeDate);
    }
    if (auto cached = m_cache.find(key); cached != m_cache.end())
        return cached->second;

    Content content;
    try {
        content = extractContent(path, m_classifier, stop);
    } catch (const std::exception& error) {
        return errorAnswer(error.what());
    }
    if (stop.stop_requested())
        return {};

    MetadataDictionary result = basicAIAnswer(content.text, content.labels, maxWords);
    if (m_model && m_model->isAvailable())
        result = modelAnswer(content, mode, maxWords, std::move(result));

    auto title = result.find("ai.title");
    if (title == result.end() || title->second.empty())
        return errorAnswer(noContentMessage);
    m_cache[key] = result;
    saveCache();
    return result;
}

std::optional<std::string> AIService::contentHash(const RegularFile& file, std::error_code& error)
{
    auto hashOfStart = [&]() -> std::optional<std::string> {
        std::string start = file.readPrefix(aiCacheKeyPrefixBytes, error);
        if (error)
            return std::nullopt;
        return sha256Hex(start);
    };
    // Hashing a MiB costs about 10 ms, which every preview would pay again for every file.
    // The hash is kept for as long as the file's identity and change time stay the same: any
    // write to the file changes its change time, and no program can set that time back.
    struct stat status { };
    if (::fstat(file.descriptor(), &status) != 0)
        return hashOfStart();
    std::string identity = std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino) + ":"
        + std::to_string(status.st_size) + ":" + std::to_string(status.st_mtim.tv_sec) + "."
        + std::to_string(status.st_mtim.tv_nsec) + ":" + std::to_string(status.st_ctim.tv_sec) + "."
        + std::to_string(status.st_ctim.tv_nsec);
    if (auto known = m_contentHashes.find(identity); known != m_contentHashes.end())
        return known->second;
    if (m_contentHashes.size() >= 200'000)
        m_contentHashes.clear();
    auto hash = hashOfStart();
    if (hash)
        m_contentHashes.emplace(std::move(identity), *hash);
    return hash;
}

MetadataDictionary AIService::modelAnswer(
    const Content& content, AIMode mode, std::int64_t maxWords, MetadataDictionary heuristic)
{
    try {
        GeneratedFileName generated = m_model->generateFileName(fileNamePrompt::instructions,
            fileNamePrompt::prompt(mode, maxWords, content.text, content.labels));
        return {
            { "ai.title", limitTitleWords(generated.title, maxWords) },
            { "ai.type", limitTitleWords(generated.type, 3) },
            { "ai.date", generated.date },
            { "ai.party", limitTitleWords(generated.party, 4) },
            { "ai.engine", std::string(languageModelEngineName) },
        };
    } catch (...) {
        // Any failure of the model leaves the heuristic's answer; it is not shown.
        heuristic["ai.engine"] = std::string(basicAIEngineName);
        return heuristic;
    }
}

void AIService::saveCache() const
{
    try {
        JSONFiles::saveDocument(encodeCache(m_cache), cacheFileName);
    } catch (const std::exception&) {
        // The cache only saves work; the answer stands without it.
    }
}

} // namespace sorvik
