#pragma once

#include "app/services/parallel_batch.h"
#include "app/services/reverse_geocoder.h"
#include "engine/model/file_item.h"
#include "engine/model/json.h"
#include "engine/model/metadata_dictionary.h"
#include "engine/model/uuid.h"

#include <QUrl>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace sorvik {

/// Where the service keeps "metadata-cache.json" and "geocache.json", as their bytes. `load`
/// gives nothing for a file that does not exist and throws when one cannot be read; `save`
/// throws on failure.
struct MetadataCacheFiles {
    std::function<std::optional<std::string>(std::string_view name)> load;
    std::function<void(const std::string& bytes, std::string_view name)> save;

    /// The application's folder, through `JSONFiles`.
    static MetadataCacheFiles applicationFolder();
};

/// Reads the metadata that tokens use, for a list of files, with caches and limits.
///
/// Policy: one call runs at a time (a later call waits for the running one), like an actor.
/// Files are taken in list order in batches of four: a batch's files that the cache does not
/// know are read in parallel on the service's own threads, and the batch is finished before
/// the next starts, so at most four files are open at once. The cache is keyed by path,
/// modification date and size, so a file version is read once across calls and launches.
/// Cancellation is checked before each batch and before each place lookup; a cancelled call
/// returns what it has. With place lookup allowed, the GPS position of each file is rounded to
/// a grid of three decimals and looked up online at most once per grid cell across launches,
/// with requests at least one second apart; a failed lookup is not remembered. Place names go
/// only into the returned values, never into the file cache. Both caches are read when the
/// service is made and written at the end of every call that changed them, and of the first
/// call when a file was missing or unreadable; failures to read or write them are silent. The
/// service never throws.
///
/// The file cache is bounded, so that files seen long ago cost nothing later: at the end of
/// the first call, and of any call after which it holds more than `cacheLimit` entries, the
/// entries that no call of this service used are checked against the disk. An entry whose
/// file is gone, or is now another version (other date or size), is dropped; if more than
/// `cacheLimit` are left, the unused entries of the oldest versions go until that many are.
/// An entry a call used is kept for the life of the service.
class MetadataService {
public:
    /// Least time between two reverse-geocoding requests.
    static constexpr std::chrono::milliseconds geocodeSpacing { 1000 };
    /// Files read at once.
    static constexpr int batchSize = 4;
    /// The most file entries kept beside those that calls of the service used.
    static constexpr std::size_t cacheLimit = 10'000;
    /// The public Nominatim service of OpenStreetMap.
    static constexpr const char* defaultGeocoderURL = "https://nominatim.openstreetmap.org";
    /// The settings key (in "sorvik.conf") of another Nominatim endpoint's root URL.
    static constexpr const char* geocoderURLSettingsKey = "geocoderURL";

    /// The process-wide service, made on first use (from any thread) and kept for the life
    /// of the process. It reads its geocoder URL from the settings key above when it is made.
    static MetadataService& shared();

    /// A service over the given cache files and geocoding endpoint; the caches are read now.
    explicit MetadataService(MetadataCacheFiles files = MetadataCacheFiles::applicationFolder(),
        QUrl geocoderURL = QUrl(defaultGeocoderURL));
    ~MetadataService();
    Q_DISABLE_COPY_MOVE(MetadataService)

    /// The metadata of every processed item by its id: its extracted values, plus "gps.city"
    /// and "gps.country" when `lookUpPlaces` is true and its position has a known place. An
    /// item whose file yields nothing maps to an empty dictionary; items that cancellation
    /// kept from being read have no entry. Blocks until done; safe to call from any thread;
    /// never throws.
    MetadataMap metadata(
        const std::vector<FileItem>& items, bool lookUpPlaces, std::stop_token stop = {});

    /// The metadata of one file (see `MetadataExtractor`). Stateless; any thread.
    static MetadataDictionary extract(const FileURL& url);

    /// The cache key of a file version: path, "|", modification time in seconds since 1970
    /// (shortest exact text, always with a fraction), "|", size.
    static std::string cacheKey(const FileItem& item);
    /// The place key of a position: both coordinates with three decimals, joined by ",".
    static std::string placeKey(double latitude, double longitude);
    /// The position in a file's values: "gps.lat" and "gps.lon", both plain decimal numbers
    /// on the globe; nothing otherwise.
    static std::optional<std::pair<double, double>> position(const MetadataDictionary& values);

private:
    using Cache = std::map<std::string, MetadataDictionary, std::less<>>;

    void extractBatch(const std::vector<FileItem>& items, std::size_t start, std::size_t end,
        MetadataMap& result);
    /// False when cancellation stopped the lookups.
    bool lookUpPlaces(const std::vector<FileItem>& items, std::size_t start, std::size_t end,
        MetadataMap& result, const std::stop_token& stop);
    /// False when `stop` ended the wait early.
    bool waitForGeocodeSlot(const std::stop_token& stop);
    void loadCaches();
    void saveCaches();
    /// Drops entries no call used whose file is gone or changed, then, past `cacheLimit`, the
    /// oldest unused ones.
    void pruneCache();

    MetadataCacheFiles m_files;
    QUrl m_geocoderURL;

    std::mutex m_callMutex; // held for a whole call: the service's one-call-at-a-time rule
    Cache m_cache;
    /// The keys of `m_cache` that calls used (looked up or stored); they point into its keys.
    std::unordered_set<std::string_view> m_usedKeys;
    bool m_pruned = false;
    Cache m_places;
    std::optional<std::chrono::steady_clock::time_point> m_lastGeocode;
    bool m_cacheChanged = true;
    bool m_placesChanged = true;

    std::unique_ptr<ReverseGeocoder> m_geocoder; // made with the first request
    ParallelBatch m_readers; // the other three readers of a batch
};

} // namespace sorvik
