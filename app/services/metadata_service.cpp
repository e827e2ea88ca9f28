#include "app/services/metadata_service.h"

#include "app/services/metadata_extractor.h"
#include "app/services/metadata_text.h"
#include "app/store/json_files.h"
#include "app/store/stored_file.h"
#include "app/store/user_defaults.h"
#include "engine/model/json_stream.h"
#include "engine/model/text.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <thread>

#include <sys/stat.h>

namespace sorvik {

namespace {

    using Token = json::StreamReader::Token;

    /// A cache file: an object whose values are objects of texts, read a token at a time
    /// (the file of a large cache is many megabytes). Anything else fails; of a key given
    /// twice, the last counts.
    std::map<std::string, MetadataDictionary, std::less<>> decodeCache(std::string_view bytes)
    {
        auto reader = json::StreamReader::overText(bytes);
        auto expectObject = [](Token token) {
            if (token != Token::beginObject)
                throw json::DecodeError("Expected an object");
        };
        std::map<std::string, MetadataDictionary, std::less<>> cache;
        expectObject(reader.next());
        while (reader.next() == Token::key) {
            std::string key(reader.text());
            expectObject(reader.next());
            MetadataDictionary values;
            while (reader.next() == Token::key) {
                std::string name(reader.text());
                if (reader.next() != Token::string)
                    throw json::DecodeError("Expected a string");
                values.insert_or_assign(std::move(name), std::string(reader.text()));
            }
            cache.insert_or_assign(std::move(key), std::move(values));
        }
        if (reader.next() != Token::end)
            throw json::DecodeError("Expected the end of the data");
        return cache;
    }

    /// The stored form of a cache, as every stored file is written (pretty-printed, keys
    /// sorted). Entries whose key is not UTF-8 (a file name made of other bytes) have no JSON
    /// form; they stay in memory only.
    std::string encodeCache(const std::map<std::string, MetadataDictionary, std::less<>>& cache)
    {
        std::string out = "{";
        bool firstEntry = true;
        for (const auto& [key, values] : cache) {
            if (!text::isValidUtf8(key))
                continue;
            out += firstEntry ? "\n  " : ",\n  ";
            firstEntry = false;
            json::appendString(out, key);
            if (values.empty()) {
                out += " : {\n\n  }";
                continue;
            }
            out += " : {";
            bool firstValue = true;
            for (const auto& [name, value] : values) {
                out += firstValue ? "\n    " : ",\n    ";
                firstValue = false;
                json::appendString(out, name);
                out += " : ";
                json::appendString(out, value);
            }
            out += "\n  }";
        }
        out += firstEntry ? "\n\n}" : "\n}";
        return out;
    }

    /// A decimal number as the whole text, without spaces or a sign "+".
    std::optional<double> strictNumber(std::string_view text)
    {
        double value = 0;
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc {} || end != text.data() + text.size())
            return std::nullopt;
        return value;
    }

    /// The file version a cache key names.
    struct CachedVersion {
        std::string_view path;
        std::string_view modifiedText;
        double modified = 0;
        std::int64_t size = 0;
    };

    /// The parts of a key made by `MetadataService::cacheKey`, taken from its end, since the
    /// path may hold "|" too; nothing for a key of another form.
    std::optional<CachedVersion> cachedVersion(std::string_view key)
    {
        auto sizeBar = key.rfind('|');
        if (sizeBar == std::string_view::npos || sizeBar == 0)
            return std::nullopt;
        auto dateBar = key.rfind('|', sizeBar - 1);
        if (dateBar == std::string_view::npos)
            return std::nullopt;
        CachedVersion version { key.substr(0, dateBar),
            key.substr(dateBar + 1, sizeBar - dateBar - 1) };
        auto sizeText = key.substr(sizeBar + 1);
        auto modified = strictNumber(version.modifiedText);
        auto [end, error]
            = std::from_chars(sizeText.data(), sizeText.data() + sizeText.size(), version.size);
        if (!modified || error != std::errc {} || end != sizeText.data() + sizeText.size())
            return std::nullopt;
        version.modified = *modified;
        return version;
    }

    /// Whether the file of a cached version is gone or is another version now. A file that
    /// cannot be looked at for another reason (a folder that cannot be searched) keeps its
    /// entry.
    bool isStale(const CachedVersion& version)
    {
        struct stat status { };
        std::string path(version.path);
        if (::stat(path.c_str(), &status) != 0)
            return errno == ENOENT || errno == ENOTDIR;
        auto modified = Date::fromTimespec(status.st_mtim.tv_sec, status.st_mtim.tv_nsec);
        return static_cast<std::int64_t>(status.st_size) != version.size
            || MetadataText::shortest(modified.unixSeconds(), true) != version.modifiedText;
    }

    constexpr const char* cacheFileName = "metadata-cache.json";
    constexpr const char* placesFileName = "geocache.json";

} // namespace

MetadataCacheFiles MetadataCacheFiles::applicationFolder()
{
    return {
        [](std::string_view name) -> std::optional<std::string> {
            auto path = JSONFiles::storedPath(name);
            if (!path)
                return std::nullopt;
            return StoredFile::read(*path);
        },
        [](const std::string& bytes, std::string_view name) {
            StoredFile::createFolder(JSONFiles::applicationFolder());
            StoredFile::writeAtomically(JSONFiles::savedPath(name), bytes);
        },
    };
}

MetadataService& MetadataService::shared()
{
    // Never destroyed: threads of the process may still call it while it shuts down.
    static MetadataService* instance = [] {
        QUrl url { QString(defaultGeocoderURL) };
        try {
            if (auto stored = UserDefaults::text(geocoderURLSettingsKey))
                url = QUrl(*stored);
        } catch (const Error&) {
            // Settings that cannot be read leave the public service.
        }
        if (!url.isValid() || (url.scheme() != "https" && url.scheme() != "http"))
            url = QUrl(defaultGeocoderURL);
        return new MetadataService(MetadataCacheFiles::applicationFolder(), url);
    }();
    return *instance;
}

MetadataService::MetadataService(MetadataCacheFiles files, QUrl geocoderURL)
    : m_files(std::move(files))
    , m_geocoderURL(std::move(geocoderURL))
    , m_readers(batchSize - 1)
{
    loadCaches();
}

MetadataService::~MetadataService() { std::lock_guard lock(m_callMutex); }

MetadataDictionary MetadataService::extract(const FileURL& url)
{
    return MetadataExtractor::extract(url);
}

std::string MetadataService::cacheKey(const FileItem& item)
{
    return item.url.path + "|" + MetadataText::shortest(item.modified.unixSeconds(), true) + "|"
        + std::to_string(item.size);
}

std::string MetadataService::placeKey(double latitude, double longitude)
{
    return MetadataText::fixed(latitude, 3) + "," + MetadataText::fixed(longitude, 3);
}

std::optional<std::pair<double, double>> MetadataService::position(const MetadataDictionary& values)
{
    auto latitudeText = values.find("gps.lat");
    auto longitudeText = values.find("gps.lon");
    if (latitudeText == values.end() || longitudeText == values.end())
        return std::nullopt;
    auto latitude = strictNumber(latitudeText->second);
    auto longitude = strictNumber(longitudeText->second);
    // Values from an old cache file may hold anything; only a real position is looked up.
    if (!latitude || !longitude || !std::isfinite(*latitude) || !std::isfinite(*longitude)
        || std::fabs(*latitude) > 90 || std::fabs(*longitude) > 180)
        return std::nullopt;
    return std::pair { *latitude, *longitude };
}

void MetadataService::loadCaches()
{
    // A cache that was read as it is stored need not be written again until it changes; one
    // that is missing or unreadable is written at the end of the first call.
    auto load = [this](const char* name, Cache& cache, bool& changed) {
        cache.clear();
        changed = true;
        try {
            if (!m_files.load)
                return;
            if (auto bytes = m_files.load(name)) {
                cache = decodeCache(*bytes);
                changed = false;
            }
        } catch (...) {
            cache.clear();
        }
    };
    load(cacheFileName, m_cache, m_cacheChanged);
    load(placesFileName, m_places, m_placesChanged);
}

void MetadataService::saveCaches()
{
    auto save = [this](const Cache& cache, const char* name, bool& changed) {
        if (!changed || !m_files.save)
            return;
        try {
            m_files.save(encodeCache(cache), name);
            changed = false;
        } catch (...) {
            // Kept in memory and written again after the next call.
        }
    };
    save(m_cache, cacheFileName, m_cacheChanged);
    save(m_places, placesFileName, m_placesChanged);
}

MetadataMap MetadataService::metadata(
    const std::vector<FileItem>& items, bool lookUpPlaces, std::stop_token stop)
{
    std::lock_guard lock(m_callMutex);
    MetadataMap result;
    try {
        result.reserve(items.size());
        for (std::size_t start = 0; start < items.size(); start += batchSize) {
            if (stop.stop_requested())
                break;
            std::size_t end = std::min(items.size(), start + batchSize);
            extractBatch(items, start, end, result);
            if (lookUpPlaces && !this->lookUpPlaces(items, start, end, result, stop))
                break;
        }
    } catch (...) {
        // Out of memory or no thread to start: the caller gets what there is.
    }
    if (!m_pruned || m_cache.size() > cacheLimit) {
        pruneCache();
        m_pruned = true;
    }
    saveCaches();
    return result;
}

void MetadataService::extractBatch(
    const std::vector<FileItem>& items, std::size_t start, std::size_t end, MetadataMap& result)
{
    struct Reading {
        const FileItem* item;
        std::string key;
        MetadataDictionary values;
    };
    std::vector<Reading> readings;
    readings.reserve(end - start);
    for (std::size_t index = start; index < end; ++index) {
        const FileItem& item = items[index];
        std::string key = cacheKey(item);
        if (auto cached = m_cache.find(key); cached != m_cache.end()) {
            result[item.id] = cached->second;
            m_usedKeys.insert(cached->first);
            continue;
        }
        readings.push_back({ &item, std::move(key), {} });
    }
    std::vector<std::function<void()>> jobs;
    jobs.reserve(readings.size());
    for (Reading& reading : readings)
        jobs.emplace_back([&reading] { reading.values = extract(reading.item->url); });
    m_readers.run(jobs);
    for (Reading& reading : readings) {
        result[reading.item->id] = reading.values;
        auto stored = m_cache.insert_or_assign(std::move(reading.key), std::move(reading.values));
        m_usedKeys.insert(stored.first->first);
        m_cacheChanged = true;
    }
}

void MetadataService::pruneCache()
{
    struct Unused {
        Cache::iterator entry;
        double modified;
    };
    std::vector<Unused> unused;
    for (auto entry = m_cache.begin(); entry != m_cache.end();) {
        if (m_usedKeys.contains(entry->first)) {
            ++entry;
            continue;
        }
        auto version = cachedVersion(entry->first);
        if (!version || isStale(*version)) {
            entry = m_cache.erase(entry);
            m_cacheChanged = true;
            continue;
        }
        unused.push_back({ entry, version->modified });
        ++entry;
    }
    if (m_cache.size() <= cacheLimit)
        return;
    std::sort(unused.begin(), unused.end(),
        [](const Unused& first, const Unused& second) { return first.modified < second.modified; });
    for (const auto& old : unused) {
        if (m_cache.size() <= cacheLimit)
            break;
        m_cache.erase(old.entry);
        m_cacheChanged = true;
    }
}

bool MetadataService::waitForGeocodeSlot(const std::stop_token& stop)
{
    if (!m_lastGeocode)
        return true;
    auto due = *m_lastGeocode + geocodeSpacing;
    if (std::chrono::steady_clock::now() >= due)
        return true;
    std::mutex mutex;
    std::condition_variable_any never;
    std::unique_lock lock(mutex);
    return !never.wait_until(lock, stop, due, [] { return false; });
}

bool MetadataService::lookUpPlaces(const std::vector<FileItem>& items, std::size_t start,
    std::size_t end, MetadataMap& result, const std::stop_token& stop)
{
    for (std::size_t index = start; index < end; ++index) {
        auto found = result.find(items[index].id);
        if (found == result.end())
            continue;
        MetadataDictionary& values = found->second;
        auto coordinates = position(values);
        if (!coordinates)
            continue;
        std::string key = placeKey(coordinates->first, coordinates->second);
        if (auto known = m_places.find(key); known != m_places.end()) {
            for (const auto& [name, value] : known->second)
                values.insert_or_assign(name, value);
            continue;
        }

        waitForGeocodeSlot(stop);
        if (stop.stop_requested())
            return false;
        if (!m_geocoder)
            m_geocoder = std::make_unique<ReverseGeocoder>(m_geocoderURL);
        auto placemark = m_geocoder->placemark(coordinates->first, coordinates->second, stop);
        // Spaced from the end of the last request, not its start: a request that was slow to
        // reach the server must not bring the next one closer than the spacing there.
        m_lastGeocode = std::chrono::steady_clock::now();
        if (!placemark)
            continue;
        MetadataDictionary place {
            { "gps.city",
                placemark->locality.value_or(placemark->subAdministrativeArea.value_or("")) },
            { "gps.country", placemark->country.value_or("") },
        };
        for (const auto& [name, value] : place)
            values.insert_or_assign(name, value);
        m_places.insert_or_assign(std::move(key), std::move(place));
        m_placesChanged = true;
    }
    return true;
}

} // namespace sorvik
