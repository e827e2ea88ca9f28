#pragma once

#include "app/store/preview_services.h"
#include "app/store/renamer_store.h"
#include "engine/model/rule.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

namespace sorvik::testing {

/// Runs the event loop until `done` holds or ten seconds have passed; whether it holds.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMilliseconds = 10'000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMilliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

/// Adds `urls` to the store's list and runs the event loop until they are listed; whether
/// they were within ten seconds.
inline bool addFilesAndWait(RenamerStore& store, const std::vector<FileURL>& urls)
{
    store.addFiles(urls);
    return waitUntil([&] { return !store.isAdding(); });
}

/// The paths of the store's listed files, in their order, relative to `folder`.
inline std::vector<std::string> namesBelow(
    const RenamerStore& store, const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& item : store.items())
        names.push_back(std::filesystem::path(item.url.path).lexically_relative(folder).string());
    return names;
}

/// Runs the event loop for `milliseconds`.
inline void runEvents(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

/// Services that answer from tables and record every call. Calls can be held until
/// released (or until their task is cancelled) to catch a planning task in the middle.
class FakeServices : public PreviewServices {
public:
    struct MetadataCall {
        std::vector<Uuid> ids;
        bool lookUpPlaces = false;
        bool wasStopped = false;
    };
    struct AICall {
        Uuid id;
        AIMode mode = AIMode::smart;
        std::int64_t maxWords = 0;
        bool includeDate = false;
        bool wasStopped = false;
    };

    /// Answers; by default nothing for metadata and a title made of the file's name.
    std::function<MetadataMap(const std::vector<FileItem>&)> metadataAnswer;
    std::function<MetadataDictionary(const FileItem&, AIMode)> aiAnswer;

    MetadataMap metadata(
        const std::vector<FileItem>& items, bool lookUpPlaces, std::stop_token stop) override
    {
        MetadataCall call;
        for (const auto& item : items)
            call.ids.push_back(item.id);
        call.lookUpPlaces = lookUpPlaces;
        bool held = takeHold();
        if (held)
            waitForRelease(stop);
        call.wasStopped = stop.stop_requested();
        std::lock_guard lock(m_mutex);
        m_metadataCalls.push_back(call);
        return metadataAnswer ? metadataAnswer(items) : MetadataMap {};
    }

    MetadataDictionary aiMetadata(const FileItem& item, AIMode mode, std::int64_t maxWords,
        bool includeDate, std::stop_token stop) override
    {
        AICall call { item.id, mode, maxWords, includeDate, false };
        bool held = takeHold();
        if (held)
            waitForRelease(stop);
        call.wasStopped = stop.stop_requested();
        std::lock_guard lock(m_mutex);
        m_aiCalls.push_back(call);
        if (aiAnswer)
            return aiAnswer(item, mode);
        return { { "ai.title", item.baseName() }, { "ai.engine", "fake" } };
    }

    /// The next `count` calls wait until `release()` or until their task is cancelled.
    void holdNextCalls(int count)
    {
        std::lock_guard lock(m_mutex);
        m_holds = count;
        m_released = false;
    }
    void release()
    {
        {
            std::lock_guard lock(m_mutex);
            m_released = true;
        }
        m_wake.notify_all();
    }
    /// Whether a held call is waiting now.
    bool isWaiting()
    {
        std::lock_guard lock(m_mutex);
        return m_waiting > 0;
    }

    std::vector<MetadataCall> metadataCalls()
    {
        std::lock_guard lock(m_mutex);
        return m_metadataCalls;
    }
    std::vector<AICall> aiCalls()
    {
        std::lock_guard lock(m_mutex);
        return m_aiCalls;
    }

private:
    bool takeHold()
    {
        std::lock_guard lock(m_mutex);
        if (m_holds <= 0)
            return false;
        --m_holds;
        return true;
    }
    void waitForRelease(std::stop_token& stop)
    {
        std::unique_lock lock(m_mutex);
        ++m_waiting;
        m_wake.wait(lock, stop, [this] { return m_released; });
        --m_waiting;
    }

    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    int m_holds = 0;
    int m_waiting = 0;
    bool m_released = false;
    std::vector<MetadataCall> m_metadataCalls;
    std::vector<AICall> m_aiCalls;
};

inline Rule patternRule(std::string templateText, bool enabled = true)
{
    Rule rule(RuleKind(PatternConfig { std::move(templateText) }));
    rule.isEnabled = enabled;
    return rule;
}

inline Rule insertRule(std::string text)
{
    InsertConfig config;
    config.text = std::move(text);
    return Rule(RuleKind(config));
}

inline Rule replaceRule(std::string find, std::string replacement)
{
    ReplaceConfig config;
    config.find = std::move(find);
    config.replacement = std::move(replacement);
    return Rule(RuleKind(config));
}

inline Rule organizeRule(std::string folder)
{
    return Rule(RuleKind(OrganizeConfig { std::move(folder) }));
}

inline Rule aiRule(AIMode mode = AIMode::smart, std::int64_t maxWords = 6, bool includeDate = true)
{
    return Rule(RuleKind(AIConfig { mode, maxWords, includeDate }));
}

} // namespace sorvik::testing
