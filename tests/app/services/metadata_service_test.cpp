#include "app/services/metadata_service.h"

#include "app/store/json_files.h"
#include "app/store/user_defaults.h"
#include "tests/app/services/local_http_server.h"
#include "tests/app/services/metadata_fixtures.h"
#include "tests/support/temporary_folder.h"

#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

namespace sorvik {
namespace {

    using ::testing::Contains;
    using ::testing::Key;
    using testing::LocalHttpServer;
    using ::testing::Not;
    using namespace std::chrono_literals;

    /// Cache files kept in memory, with counters and switchable failures.
    struct MemoryFiles {
        struct State {
            std::mutex mutex;
            std::map<std::string, std::string> texts;
            std::map<std::string, int> saves;
            bool failSaves = false;
            bool failLoads = false;
        };
        std::shared_ptr<State> state = std::make_shared<State>();

        MetadataCacheFiles files() const
        {
            auto shared = state;
            return {
                [shared](std::string_view name) -> std::optional<std::string> {
                    std::lock_guard lock(shared->mutex);
                    if (shared->failLoads)
                        throw Error("cannot read");
                    auto found = shared->texts.find(std::string(name));
                    if (found == shared->texts.end())
                        return std::nullopt;
                    return found->second;
                },
                [shared](const std::string& bytes, std::string_view name) {
                    std::lock_guard lock(shared->mutex);
                    if (shared->failSaves)
                        throw Error("disk full");
                    shared->texts[std::string(name)] = bytes;
                    ++shared->saves[std::string(name)];
                },
            };
        }
        /// The stored file as a document; null when there is none.
        json::Json document(const std::string& name) const
        {
            std::lock_guard lock(state->mutex);
            auto found = state->texts.find(name);
            return found == state->texts.end() ? json::Json() : json::parse(found->second);
        }
        void setDocument(const std::string& name, const json::Json& document)
        {
            std::lock_guard lock(state->mutex);
            state->texts[name] = json::serialize(document);
        }
        int saves(const std::string& name) const
        {
            std::lock_guard lock(state->mutex);
            return state->saves[name];
        }
    };

    FileItem itemFor(const std::filesystem::path& path)
    {
        struct stat status { };
        ::stat(path.c_str(), &status);
        return FileItem(FileURL(path.string()), true, Date {},
            Date::fromTimespec(status.st_mtim.tv_sec, status.st_mtim.tv_nsec),
            static_cast<std::int64_t>(status.st_size), 0);
    }

    std::map<std::string, std::string> gpsTags(const char* latitude, const char* latitudeRef,
        const char* longitude, const char* longitudeRef)
    {
        return { { "Exif.GPSInfo.GPSLatitude", latitude },
            { "Exif.GPSInfo.GPSLatitudeRef", latitudeRef },
            { "Exif.GPSInfo.GPSLongitude", longitude },
            { "Exif.GPSInfo.GPSLongitudeRef", longitudeRef } };
    }

    /// A geocoding server that answers every position with the same address.
    LocalHttpServer::Handler answering(std::string address)
    {
        return [address](const LocalHttpServer::Request&) {
            return LocalHttpServer::Response { 200, R"({"address":)" + address + "}" };
        };
    }

    QUrl urlOf(const LocalHttpServer& server)
    {
        return QUrl(QString::fromStdString(server.baseURL()));
    }

    TEST(MetadataServiceKeys, CacheAndPlaceKeys)
    {
        FileItem item(FileURL("/Users/a/Pictures/IMG_1.HEIC"), true, Date {},
            Date::fromUnixSeconds(1733650000.5), 2048, 0);
        EXPECT_EQ(
            MetadataService::cacheKey(item), "/Users/a/Pictures/IMG_1.HEIC|1733650000.5|2048");
        item.modified = Date::fromUnixSeconds(1733650000);
        EXPECT_EQ(
            MetadataService::cacheKey(item), "/Users/a/Pictures/IMG_1.HEIC|1733650000.0|2048");

        EXPECT_EQ(MetadataService::placeKey(48.85837, 2.294481), "48.858,2.294");
        EXPECT_EQ(MetadataService::placeKey(-33.8568, 151.2153), "-33.857,151.215");
    }

    TEST(MetadataServiceKeys, PositionNeedsTwoPlainNumbersOnTheGlobe)
    {
        struct Case {
            MetadataDictionary values;
            bool hasPosition;
        };
        const Case cases[] = {
            { { { "gps.lat", "-33.8" }, { "gps.lon", "151.2" } }, true },
            { { { "gps.lat", "90.0" }, { "gps.lon", "-180.0" } }, true },
            { { { "gps.lat", "1.5" } }, false },
            { { { "gps.lon", "1.5" } }, false },
            { { { "gps.lat", " 1.5" }, { "gps.lon", "2" } }, false },
            { { { "gps.lat", "+1.5" }, { "gps.lon", "2" } }, false },
            { { { "gps.lat", "1.5x" }, { "gps.lon", "2" } }, false },
            { { { "gps.lat", "nan" }, { "gps.lon", "2" } }, false },
            { { { "gps.lat", "inf" }, { "gps.lon", "2" } }, false },
            { { { "gps.lat", "90.5" }, { "gps.lon", "2" } }, false },
            { { { "gps.lat", "10" }, { "gps.lon", "-181" } }, false },
        };
        for (const Case& item : cases)
            EXPECT_EQ(MetadataService::position(item.values).has_value(), item.hasPosition);
    }

    class MetadataServiceTest : public ::testing::Test {
    protected:
        testing::TemporaryFolder folder;
        MemoryFiles files;

        FileItem photo(const char* name, const std::map<std::string, std::string>& tags = {})
        {
            return itemFor(testing::writeJpeg(folder / name, tags));
        }
    };

    TEST_F(MetadataServiceTest, EmptyListStillWritesBothCaches)
    {
        MetadataService service(files.files(), QUrl("http://127.0.0.1:9"));
        EXPECT_TRUE(service.metadata({}, true).empty());
        EXPECT_EQ(files.saves("metadata-cache.json"), 1);
        EXPECT_EQ(files.saves("geocache.json"), 1);
        EXPECT_EQ(files.document("metadata-cache.json"), json::Json::object());
        EXPECT_EQ(files.document("geocache.json"), json::Json::object());
    }

    TEST_F(MetadataServiceTest, ReturnsEveryItemAcrossBatches)
    {
        std::vector<FileItem> items;
        for (int index = 0; index < 9; ++index)
            items.push_back(photo(("p" + std::to_string(index) + ".jpg").c_str(),
                { { "Exif.Image.Model", "M" + std::to_string(index) } }));
        items.push_back(itemFor(folder.createFile("notes.txt", "hello")));
        items.push_back(itemFor(folder.createFolder("album")));

        MetadataService service(files.files());
        MetadataMap result = service.metadata(items, false);
        ASSERT_EQ(result.size(), items.size());
        for (int index = 0; index < 9; ++index)
            EXPECT_EQ(result[items[index].id]["exif.model"], "M" + std::to_string(index));
        EXPECT_EQ(result[items[9].id], MetadataDictionary {});
        EXPECT_EQ(result[items[10].id], MetadataDictionary {});
        // Files that yield nothing are cached like any other.
        EXPECT_TRUE(
            files.document("metadata-cache.json").contains(MetadataService::cacheKey(items[9])));
    }

    TEST_F(MetadataServiceTest, ReadsAFileVersionOnceAcrossCallsAndLaunches)
    {
        FileItem item = photo("a.jpg", { { "Exif.Image.Make", "Leica" } });
        {
            MetadataService service(files.files());
            EXPECT_EQ(service.metadata({ item }, false)[item.id]["exif.make"], "Leica");
            // Gone from the disk, the same version is still known.
            std::filesystem::remove(item.url.path);
            EXPECT_EQ(service.metadata({ item }, false)[item.id]["exif.make"], "Leica");
        }
        MetadataService relaunched(files.files());
        EXPECT_EQ(relaunched.metadata({ item }, false)[item.id]["exif.make"], "Leica");
    }

    TEST_F(MetadataServiceTest, ANewVersionIsReadAgainAndTheOldEntryStays)
    {
        FileItem item = photo("a.jpg", { { "Exif.Image.Make", "Leica" } });
        MetadataService service(files.files());
        service.metadata({ item }, false);

        testing::writeJpeg(folder / "a.jpg", { { "Exif.Image.Make", "Sony" } });
        FileItem touched = itemFor(folder / "a.jpg");
        touched.id = item.id;
        touched.modified = Date { item.modified.seconds + 10 };
        EXPECT_EQ(service.metadata({ touched }, false)[item.id]["exif.make"], "Sony");

        testing::writeJpeg(folder / "a.jpg", { { "Exif.Image.Make", "Ricoh" } });
        FileItem resized = touched;
        resized.size += 1;
        EXPECT_EQ(service.metadata({ resized }, false)[item.id]["exif.make"], "Ricoh");

        json::Json stored = files.document("metadata-cache.json");
        EXPECT_EQ(stored.at(MetadataService::cacheKey(item)).at("exif.make"), "Leica");
        EXPECT_EQ(stored.at(MetadataService::cacheKey(touched)).at("exif.make"), "Sony");
        EXPECT_EQ(stored.at(MetadataService::cacheKey(resized)).at("exif.make"), "Ricoh");
    }

    TEST_F(MetadataServiceTest, UnchangedCachesAreNotRewritten)
    {
        FileItem item = photo("a.jpg");
        MetadataService service(files.files());
        service.metadata({ item }, false);
        service.metadata({ item }, false);
        service.metadata({}, true);
        EXPECT_EQ(files.saves("metadata-cache.json"), 1);
        EXPECT_EQ(files.saves("geocache.json"), 1);

        // A later launch that finds both files as it would write them writes neither.
        MetadataService relaunched(files.files());
        relaunched.metadata({ item }, false);
        EXPECT_EQ(files.saves("metadata-cache.json"), 1);
        EXPECT_EQ(files.saves("geocache.json"), 1);

        // One that finds a file missing writes it.
        files.state->texts.erase("geocache.json");
        MetadataService withoutPlaces(files.files());
        withoutPlaces.metadata({ item }, false);
        EXPECT_EQ(files.saves("metadata-cache.json"), 1);
        EXPECT_EQ(files.saves("geocache.json"), 2);
    }

    TEST_F(MetadataServiceTest, EntriesOfFilesThatAreGoneOrChangedAreDroppedUnlessUsed)
    {
        FileItem used = photo("used.jpg", { { "Exif.Image.Make", "Leica" } });
        FileItem unchanged = photo("unchanged.jpg");
        FileItem changed = photo("changed.jpg");
        FileItem gone = photo("gone.jpg");
        FileItem usedButGone = photo("used-but-gone.jpg", { { "Exif.Image.Make", "Fuji" } });
        {
            MetadataService service(files.files());
            service.metadata({ used, unchanged, changed, gone, usedButGone }, false);
        }
        auto cache = files.document("metadata-cache.json");
        ASSERT_EQ(cache.size(), 5U);
        cache["not a key of the service"] = json::Json::object();
        cache["/nowhere/a|b|c"] = json::Json::object();
        files.setDocument("metadata-cache.json", cache);
        std::filesystem::remove(gone.url.path);
        std::filesystem::remove(usedButGone.url.path);
        testing::writeJpeg(folder / "changed.jpg", { { "Exif.Image.Make", "Sony" } });

        MetadataService relaunched(files.files());
        auto result = relaunched.metadata({ used, usedButGone }, false);
        EXPECT_EQ(result[used.id]["exif.make"], "Leica");
        EXPECT_EQ(result[usedButGone.id]["exif.make"], "Fuji");
        auto kept = files.document("metadata-cache.json");
        std::vector<std::string> keys;
        for (const auto& [key, values] : kept.items())
            keys.push_back(key);
        std::vector<std::string> expected { MetadataService::cacheKey(unchanged),
            MetadataService::cacheKey(used), MetadataService::cacheKey(usedButGone) };
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(keys, expected);
    }

    TEST_F(MetadataServiceTest, PastTheLimitTheOldestUnusedEntriesGo)
    {
        constexpr std::size_t extra = 20;
        constexpr std::size_t count = MetadataService::cacheLimit + extra;
        auto cache = json::Json::object();
        std::vector<FileItem> items;
        items.reserve(count);
        for (std::size_t index = 0; index < count; ++index) {
            // Numbered by age: file 0 is the oldest.
            auto path = folder.createFile(
                "f" + std::to_string(index), "", 1'600'000'000.0 + static_cast<double>(index));
            items.push_back(itemFor(path));
            cache[MetadataService::cacheKey(items.back())] = json::Json::object();
        }
        files.setDocument("metadata-cache.json", cache);
        {
            // Entries a call uses stay, however many there are.
            MetadataService service(files.files());
            service.metadata(items, false);
            service.metadata({}, false);
            EXPECT_EQ(files.saves("metadata-cache.json"), 0);
        }
        MetadataService relaunched(files.files());
        relaunched.metadata({ items.front() }, false);
        auto kept = files.document("metadata-cache.json");
        EXPECT_EQ(kept.size(), MetadataService::cacheLimit);
        EXPECT_TRUE(kept.contains(MetadataService::cacheKey(items.front())));
        for (std::size_t index = 1; index <= extra; ++index)
            EXPECT_FALSE(kept.contains(MetadataService::cacheKey(items[index]))) << index;
        EXPECT_TRUE(kept.contains(MetadataService::cacheKey(items[extra + 1])));
        EXPECT_TRUE(kept.contains(MetadataService::cacheKey(items.back())));
    }

    TEST_F(MetadataServiceTest, FailedSavesAreSilentAndRetried)
    {
        FileItem item = photo("a.jpg", { { "Exif.Image.Make", "Pentax" } });
        MetadataService service(files.files());
        files.state->failSaves = true;
        EXPECT_EQ(service.metadata({ item }, false)[item.id]["exif.make"], "Pentax");
        EXPECT_EQ(files.saves("metadata-cache.json"), 0);

        files.state->failSaves = false;
        service.metadata({}, false);
        EXPECT_EQ(files.saves("metadata-cache.json"), 1);
        EXPECT_TRUE(
            files.document("metadata-cache.json").contains(MetadataService::cacheKey(item)));
    }

    TEST_F(MetadataServiceTest, UnreadableCachesStartEmpty)
    {
        FileItem item = photo("a.jpg", { { "Exif.Image.Make", "Canon" } });
        for (json::Json document : { json::Json::array(), json::Json { { "k", 1 } },
                 json::Json { { "k", { { "a", 1 } } } },
                 json::Json { { "k", { { "a", nullptr } } } } }) {
            files.setDocument("metadata-cache.json", document);
            files.setDocument("geocache.json", document);
            MetadataService service(files.files());
            EXPECT_EQ(service.metadata({ item }, false)[item.id]["exif.make"], "Canon");
        }
        files.state->failLoads = true;
        MetadataService service(files.files());
        EXPECT_EQ(service.metadata({ item }, false)[item.id]["exif.make"], "Canon");
    }

    TEST_F(MetadataServiceTest, NamesThatAreNotUtf8StayOutOfTheCacheFile)
    {
        // Qt cannot name such a file; write it under another name first.
        auto written = testing::writeJpeg(folder / "odd.jpg", { { "Exif.Image.Make", "Odd" } });
        auto oddPath = folder / "caf\xE9.jpg";
        std::filesystem::rename(written, oddPath);
        FileItem odd = itemFor(oddPath);
        FileItem plain = photo("plain.jpg");
        MetadataService service(files.files());
        MetadataMap result = service.metadata({ odd, plain }, false);
        EXPECT_EQ(result[odd.id]["exif.make"], "Odd");
        json::Json stored = files.document("metadata-cache.json");
        EXPECT_EQ(stored.size(), 1u);
        EXPECT_TRUE(stored.contains(MetadataService::cacheKey(plain)));
    }

    TEST_F(MetadataServiceTest, CallsFromSeveralThreadsAllComplete)
    {
        std::vector<FileItem> items;
        for (int index = 0; index < 12; ++index)
            items.push_back(photo(("p" + std::to_string(index) + ".jpg").c_str(),
                { { "Exif.Image.Model", std::to_string(index) } }));
        MetadataService service(files.files());
        std::vector<MetadataMap> results(4);
        std::vector<std::thread> threads;
        for (int thread = 0; thread < 4; ++thread)
            threads.emplace_back([&, thread] { results[thread] = service.metadata(items, false); });
        for (auto& thread : threads)
            thread.join();
        for (const MetadataMap& result : results) {
            ASSERT_EQ(result.size(), items.size());
            for (int index = 0; index < 12; ++index)
                EXPECT_EQ(result.at(items[index].id).at("exif.model"), std::to_string(index));
        }
    }

    TEST_F(MetadataServiceTest, CancelledBeforeTheFirstBatchReadsNothingButSaves)
    {
        FileItem item = photo("a.jpg");
        MetadataService service(files.files());
        std::stop_source stop;
        stop.request_stop();
        EXPECT_TRUE(service.metadata({ item }, true, stop.get_token()).empty());
        EXPECT_EQ(files.saves("metadata-cache.json"), 1);
        EXPECT_EQ(files.saves("geocache.json"), 1);
    }

    TEST_F(MetadataServiceTest, CancelledDuringTheSecondBatchKeepsWhatWasRead)
    {
        std::stop_source stop;
        LocalHttpServer server([&](const LocalHttpServer::Request&) {
            stop.request_stop();
            return LocalHttpServer::Response { 200, R"({"address":{"city":"Oslo"}})" };
        });
        std::vector<FileItem> items;
        for (int index = 0; index < 4; ++index)
            items.push_back(photo(("first" + std::to_string(index) + ".jpg").c_str()));
        items.push_back(photo("gps1.jpg", gpsTags("59/1 54/1 0/1", "N", "10/1 45/1 0/1", "E")));
        items.push_back(photo("gps2.jpg", gpsTags("60/1 23/1 0/1", "N", "5/1 19/1 0/1", "E")));
        items.push_back(photo("second2.jpg"));
        items.push_back(photo("second3.jpg"));
        for (int index = 0; index < 4; ++index)
            items.push_back(photo(("third" + std::to_string(index) + ".jpg").c_str()));

        MetadataService service(files.files(), urlOf(server));
        MetadataMap result = service.metadata(items, true, stop.get_token());
        EXPECT_EQ(result.size(), 8u);
        for (std::size_t index = 0; index < 8; ++index)
            EXPECT_TRUE(result.contains(items[index].id)) << index;
        EXPECT_EQ(server.requests().size(), 1u); // the second position is not asked for
        EXPECT_EQ(files.document("metadata-cache.json").size(), 8u);
        EXPECT_EQ(files.saves("geocache.json"), 1);
    }

    TEST_F(MetadataServiceTest, NearbyPhotosShareOneLookup)
    {
        LocalHttpServer server(
            answering(R"({"city":"Paris","county":"Paris","country":"France"})"));
        FileItem first
            = photo("a.jpg", gpsTags("48/1 51/1 3015/100", "N", "2/1 17/1 3840/100", "E"));
        FileItem second
            = photo("b.jpg", gpsTags("48/1 51/1 3020/100", "N", "2/1 17/1 3845/100", "E"));
        {
            MetadataService service(files.files(), urlOf(server));
            MetadataMap result = service.metadata({ first, second }, true);
            for (const FileItem& item : { first, second }) {
                EXPECT_EQ(result[item.id]["gps.city"], "Paris");
                EXPECT_EQ(result[item.id]["gps.country"], "France");
            }
            EXPECT_EQ(server.requests().size(), 1u);
            EXPECT_EQ(files.document("geocache.json"),
                (json::Json { { "48.858,2.294",
                    { { "gps.city", "Paris" }, { "gps.country", "France" } } } }));
            // Place names never enter the file cache.
            EXPECT_THAT(files.document("metadata-cache.json")
                            .at(MetadataService::cacheKey(first))
                            .items()
                            .begin()
                            .key(),
                ::testing::Not(::testing::StartsWith("gps.c")));
            EXPECT_FALSE(files.document("metadata-cache.json")
                             .at(MetadataService::cacheKey(first))
                             .contains("gps.city"));
        }
        MetadataService relaunched(files.files(), urlOf(server));
        EXPECT_EQ(relaunched.metadata({ first }, true)[first.id]["gps.city"], "Paris");
        EXPECT_EQ(server.requests().size(), 1u);
    }

    TEST_F(MetadataServiceTest, WithoutPlaceLookupNoRequestAndNoPlaceNames)
    {
        LocalHttpServer server(answering(R"({"city":"Rome","country":"Italia"})"));
        FileItem item = photo("a.jpg", gpsTags("41/1 54/1 0/1", "N", "12/1 30/1 0/1", "E"));
        MetadataService service(files.files(), urlOf(server));
        EXPECT_EQ(service.metadata({ item }, true)[item.id]["gps.city"], "Rome");
        MetadataDictionary values = service.metadata({ item }, false)[item.id];
        EXPECT_THAT(values, Not(Contains(Key("gps.city"))));
        EXPECT_THAT(values, Not(Contains(Key("gps.country"))));
        EXPECT_EQ(values["gps.lat"], "41.9");
        EXPECT_EQ(server.requests().size(), 1u);
    }

    TEST_F(MetadataServiceTest, NoPositionNoLookup)
    {
        LocalHttpServer server(answering(R"({"city":"Nowhere"})"));
        FileItem latitudeOnly = photo("a.jpg", { { "Exif.GPSInfo.GPSLatitude", "41/1 54/1 0/1" } });
        FileItem offTheGlobe = photo("b.jpg", gpsTags("95/1 0/1 0/1", "N", "12/1 0/1 0/1", "E"));
        FileItem plain = photo("c.jpg");
        // A cache file from elsewhere may hold anything.
        FileItem hacked = photo("d.jpg");
        files.setDocument("metadata-cache.json",
            json::Json { { MetadataService::cacheKey(hacked),
                { { "gps.lat", "1e400" }, { "gps.lon", "2.0" } } } });
        MetadataService service(files.files(), urlOf(server));
        MetadataMap result = service.metadata({ latitudeOnly, offTheGlobe, plain, hacked }, true);
        for (const auto& [id, values] : result)
            EXPECT_THAT(values, Not(Contains(Key("gps.city"))));
        EXPECT_TRUE(server.requests().empty());
    }

    TEST_F(MetadataServiceTest, MissingPlacemarkFieldsFallBack)
    {
        LocalHttpServer server(answering(R"({"county":"Inyo County","state":"California"})"));
        FileItem item = photo("a.jpg", gpsTags("36/1 30/1 0/1", "N", "117/1 0/1 0/1", "W"));
        MetadataService service(files.files(), urlOf(server));
        MetadataDictionary values = service.metadata({ item }, true)[item.id];
        EXPECT_EQ(values["gps.city"], "Inyo County");
        EXPECT_EQ(values["gps.country"], "");
        EXPECT_EQ(values["gps.lon"], "-117.0");
    }

    TEST_F(MetadataServiceTest, FailedLookupsAreNotRemembered)
    {
        std::atomic<int> answered = 0;
        LocalHttpServer server([&](const LocalHttpServer::Request&) {
            if (answered++ == 0)
                return LocalHttpServer::Response { 503, "" };
            if (answered == 2)
                return LocalHttpServer::Response { 200, R"({"error":"Unable to geocode"})" };
            return LocalHttpServer::Response { 200,
                R"({"address":{"city":"Bergen","country":"Norge"}})" };
        });
        FileItem item = photo("a.jpg", gpsTags("60/1 23/1 0/1", "N", "5/1 19/1 0/1", "E"));
        MetadataService service(files.files(), urlOf(server));
        EXPECT_THAT(service.metadata({ item }, true)[item.id], Not(Contains(Key("gps.city"))));
        EXPECT_THAT(service.metadata({ item }, true)[item.id], Not(Contains(Key("gps.city"))));
        EXPECT_EQ(files.document("geocache.json"), json::Json::object());
        EXPECT_EQ(service.metadata({ item }, true)[item.id]["gps.city"], "Bergen");
        EXPECT_EQ(server.requests().size(), 3u);
    }

    TEST_F(MetadataServiceTest, RequestsAreAtLeastOneSecondApart)
    {
        LocalHttpServer server(answering(R"({"city":"Somewhere","country":"Earth"})"));
        FileItem first = photo("a.jpg", gpsTags("10/1 0/1 0/1", "N", "10/1 0/1 0/1", "E"));
        FileItem second = photo("b.jpg", gpsTags("20/1 0/1 0/1", "N", "20/1 0/1 0/1", "E"));
        FileItem third = photo("c.jpg", gpsTags("30/1 0/1 0/1", "N", "30/1 0/1 0/1", "E"));
        FileItem fourth = photo("d.jpg", gpsTags("40/1 0/1 0/1", "N", "40/1 0/1 0/1", "E"));
        MetadataService service(files.files(), urlOf(server));

        service.metadata({ first, second }, true); // two requests in one call
        service.metadata({ third }, true); // and one right after, in the next call
        auto requests = server.requests();
        ASSERT_EQ(requests.size(), 3u);
        EXPECT_GE(requests[1].received - requests[0].received, 950ms);
        EXPECT_GE(requests[2].received - requests[1].received, 950ms);

        // After more than a second of quiet the next request goes out at once.
        std::this_thread::sleep_for(1100ms);
        auto start = std::chrono::steady_clock::now();
        service.metadata({ fourth }, true);
        requests = server.requests();
        ASSERT_EQ(requests.size(), 4u);
        EXPECT_LT(requests[3].received - start, 500ms);
    }

    TEST_F(MetadataServiceTest, CancellationEndsTheWaitForTheNextRequest)
    {
        LocalHttpServer server(answering(R"({"city":"A"})"));
        FileItem first = photo("a.jpg", gpsTags("10/1 0/1 0/1", "N", "10/1 0/1 0/1", "E"));
        FileItem second = photo("b.jpg", gpsTags("20/1 0/1 0/1", "N", "20/1 0/1 0/1", "E"));
        MetadataService service(files.files(), urlOf(server));
        service.metadata({ first }, true);

        std::stop_source stop;
        std::thread canceller([&] {
            std::this_thread::sleep_for(100ms);
            stop.request_stop();
        });
        MetadataMap result = service.metadata({ second }, true, stop.get_token());
        canceller.join();
        EXPECT_TRUE(result.contains(second.id));
        EXPECT_THAT(result[second.id], Not(Contains(Key("gps.city"))));
        EXPECT_EQ(server.requests().size(), 1u);
    }

    TEST_F(MetadataServiceTest, SpecialFilesGiveEmptyEntries)
    {
        auto fifo = folder / "pipe.jpg";
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        FileItem pipe(FileURL(fifo.string()), true, Date {}, Date {}, 0, 0);
        FileItem device(FileURL("/dev/zero"), true, Date {}, Date {}, 0, 1);
        MetadataService service(files.files());
        MetadataMap result = service.metadata({ pipe, device }, false);
        EXPECT_EQ(result[pipe.id], MetadataDictionary {});
        EXPECT_EQ(result[device.id], MetadataDictionary {});
    }

    TEST(MetadataServiceFiles, CachesLiveInTheApplicationFolder)
    {
        testing::IsolatedHome home;
        testing::TemporaryFolder folder;
        FileItem item
            = itemFor(testing::writeJpeg(folder / "a.jpg", { { "Exif.Image.Make", "Canon" } }));
        {
            MetadataService service;
            EXPECT_EQ(service.metadata({ item }, false)[item.id]["exif.make"], "Canon");
        }
        auto cacheFile = JSONFiles::applicationFolder() / "metadata-cache.json";
        auto placesFile = JSONFiles::applicationFolder() / "geocache.json";
        ASSERT_TRUE(std::filesystem::exists(cacheFile));
        ASSERT_TRUE(std::filesystem::exists(placesFile));
        EXPECT_EQ(json::parse(testing::readFile(cacheFile))
                      .at(MetadataService::cacheKey(item))
                      .at("exif.make"),
            "Canon");
        EXPECT_EQ(testing::readFile(placesFile), json::serialize(json::Json::object()));
        // Written as every stored file is written.
        auto cacheText = testing::readFile(cacheFile);
        EXPECT_EQ(cacheText, json::serialize(json::parse(cacheText)));

        std::filesystem::remove(item.url.path);
        MetadataService relaunched;
        EXPECT_EQ(relaunched.metadata({ item }, false)[item.id]["exif.make"], "Canon");

        // A damaged file is as good as none.
        testing::TemporaryFolder other;
        FileItem fresh
            = itemFor(testing::writeJpeg(other / "b.jpg", { { "Exif.Image.Make", "Nikon" } }));
        std::ofstream(cacheFile) << "{ not json";
        MetadataService afterDamage;
        EXPECT_EQ(afterDamage.metadata({ fresh, item }, false)[fresh.id]["exif.make"], "Nikon");
    }

    TEST(MetadataServiceShared, OneInstanceThatReadsItsGeocoderFromTheSettings)
    {
        testing::IsolatedHome home;
        // The shared service lives as long as the program, so its server does too.
        static LocalHttpServer server(answering(R"({"city":"Lisboa","country":"Portugal"})"));
        UserDefaults::setText(
            MetadataService::geocoderURLSettingsKey, QString::fromStdString(server.baseURL()));
        std::vector<MetadataService*> instances(4);
        std::vector<std::thread> threads;
        for (std::size_t index = 0; index < instances.size(); ++index)
            threads.emplace_back([&, index] { instances[index] = &MetadataService::shared(); });
        for (auto& thread : threads)
            thread.join();
        for (MetadataService* instance : instances)
            EXPECT_EQ(instance, instances.front());

        testing::TemporaryFolder folder;
        FileItem item = itemFor(testing::writeJpeg(
            folder / "a.jpg", gpsTags("38/1 43/1 0/1", "N", "9/1 8/1 0/1", "W")));
        EXPECT_EQ(
            MetadataService::shared().metadata({ item }, true)[item.id]["gps.city"], "Lisboa");
        EXPECT_EQ(server.requests().size(), 1u);
    }

} // namespace
} // namespace sorvik
