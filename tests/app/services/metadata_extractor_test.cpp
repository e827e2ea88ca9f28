#include "app/services/metadata_extractor.h"

#include "app/services/image_metadata.h"
#include "app/services/metadata_text.h"
#include "engine/model/text.h"
#include "tests/app/services/memory_growth.h"
#include "tests/app/services/metadata_fixtures.h"
#include "tests/support/temporary_folder.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unicode/timezone.h>

#include <cstdlib>
#include <fstream>
#include <random>

namespace sorvik {
namespace {

    using ::testing::Contains;
    using ::testing::Key;
    using ::testing::Not;

    MetadataDictionary extract(const std::filesystem::path& path)
    {
        return MetadataExtractor::extract(FileURL(path.string()));
    }

    /// Sets the process's time zone (for the C library and ICU) and restores it afterwards.
    class ScopedTimeZone {
    public:
        explicit ScopedTimeZone(const char* zone)
        {
            if (const char* old = std::getenv("TZ"))
                m_saved = old;
            setenv("TZ", zone, 1);
            apply();
        }
        ~ScopedTimeZone()
        {
            if (m_saved)
                setenv("TZ", m_saved->c_str(), 1);
            else
                unsetenv("TZ");
            apply();
        }

    private:
        static void apply()
        {
            tzset();
            icu::TimeZone::adoptDefault(icu::TimeZone::detectHostTimeZone());
        }
        std::optional<std::string> m_saved;
    };

    TEST(MetadataText, ShortestIsPlainAndExact)
    {
        struct Case {
            double value;
            bool keepFraction;
            const char* expected;
        };
        const Case cases[] = {
            { 33.8, true, "33.8" },
            { -33.8, true, "-33.8" },
            { 10.0, true, "10.0" },
            { 10.0, false, "10" },
            { 0.000125, false, "0.000125" },
            { 1e-7, false, "0.0000001" },
            { 1.0 / 60.0, false, "0.016666666666666666" },
            { 1e21, false, "1000000000000000000000" },
            { 1733650000.0, true, "1733650000.0" },
            { 1733650000.123456, true, "1733650000.123456" },
            { 0.0, true, "0.0" },
            { 151.2152, true, "151.2152" },
        };
        for (const Case& item : cases) {
            std::string text = MetadataText::shortest(item.value, item.keepFraction);
            EXPECT_EQ(text, item.expected);
            EXPECT_EQ(std::strtod(text.c_str(), nullptr), item.value) << text;
        }
    }

    TEST(MetadataText, FixedRoundsLikePrintf)
    {
        EXPECT_EQ(MetadataText::fixed(24000.0 / 1001.0, 2), "23.98");
        EXPECT_EQ(MetadataText::fixed(30.0, 2), "30.00");
        EXPECT_EQ(MetadataText::fixed(48.85837, 3), "48.858");
        EXPECT_EQ(MetadataText::fixed(-33.8567, 3), "-33.857");
    }

    TEST(MetadataText, CleanedTextIsUtf8WithoutNul)
    {
        EXPECT_EQ(MetadataText::cleaned("Caf\xC3\xA9"), "Caf\xC3\xA9");
        EXPECT_EQ(MetadataText::cleaned("Caf\xE9"), "Caf\xC3\xA9");
        EXPECT_EQ(MetadataText::cleaned(std::string("a\0b", 3)), "ab");
    }

    TEST(ImageExtraction, ReadsEveryImageKey)
    {
        testing::TemporaryFolder folder;
        auto path = testing::writeJpeg(folder / "photo.jpg", testing::cameraExif(), 120, 80);

        MetadataDictionary expected {
            { "image.width", "120" },
            { "image.height", "80" },
            { "image.orientation", "6" },
            { "exif.make", "Canon" },
            { "exif.model", "EOS R5" },
            { "exif.camera", "Canon EOS R5" },
            { "exif.lens", "RF24-105mm F4 L IS USM" },
            { "exif.focal", "50" },
            { "exif.aperture", "2.8" },
            { "exif.shutter", "0.008" },
            { "exif.iso", "200" },
            { "exif.date", "2024-05-01T08:20:30Z" },
            { "exif.year", "2024" },
            { "exif.month", "05" },
            { "exif.day", "01" },
            { "gps.lat", MetadataText::shortest(48.0 + 51.0 / 60.0 + 30.15 / 3600.0, true) },
            { "gps.lon", MetadataText::shortest(2.0 + 17.0 / 60.0 + 38.4 / 3600.0, true) },
        };
        EXPECT_EQ(extract(path), expected);
    }

    TEST(ImageExtraction, CaptureDateIsUtcAndItsPartsAreLocal)
    {
        struct Case {
            const char* zone;
            const char* text;
            const char* date;
            const char* year;
            const char* month;
            const char* day;
        };
        const Case cases[] = {
            { "UTC", "2023:12:31 23:30:00", "2023-12-31T23:30:00Z", "2023", "12", "31" },
            { "Europe/Berlin", "2023:12:31 23:30:00", "2023-12-31T22:30:00Z", "2023", "12", "31" },
            { "Asia/Tokyo", "2024:01:01 05:00:00", "2023-12-31T20:00:00Z", "2024", "01", "01" },
            { "America/New_York", "2023:12:31 23:30:00", "2024-01-01T04:30:00Z", "2023", "12",
                "31" },
            { "Europe/Berlin", "2024:07:01 12:00:00", "2024-07-01T10:00:00Z", "2024", "07", "01" },
        };
        testing::TemporaryFolder folder;
        for (const Case& item : cases) {
            ScopedTimeZone zone(item.zone);
            auto path = testing::writeJpeg(
                folder / "date.jpg", { { "Exif.Photo.DateTimeOriginal", item.text } });
            auto values = extract(path);
            EXPECT_EQ(values["exif.date"], item.date) << item.zone;
            EXPECT_EQ(values["exif.year"], item.year) << item.zone;
            EXPECT_EQ(values["exif.month"], item.month) << item.zone;
            EXPECT_EQ(values["exif.day"], item.day) << item.zone;
        }
    }

    TEST(ImageExtraction, UnreadableCaptureDatesGiveNoDateKeys)
    {
        for (const char* text : { "0000:00:00 00:00:00", "2023-12-31 23:30:00",
                 "2023:13:01 10:00:00", "2023:12:31 23:30:00 extra", "", "    :  :     :  :  " }) {
            MetadataDictionary values;
            ImageMetadata::addCaptureDate(text, values);
            EXPECT_TRUE(values.empty()) << '"' << text << '"';
        }
    }

    TEST(ImageExtraction, GpsSignsWholeNumbersAndRanges)
    {
        struct Case {
            std::map<std::string, std::string> tags;
            std::optional<std::string> latitude;
            std::optional<std::string> longitude;
        };
        const Case cases[] = {
            { { { "Exif.GPSInfo.GPSLatitude", "33/1 48/1 0/1" },
                  { "Exif.GPSInfo.GPSLatitudeRef", "S" },
                  { "Exif.GPSInfo.GPSLongitude", "151/1 12/1 0/1" },
                  { "Exif.GPSInfo.GPSLongitudeRef", "E" } },
                "-33.8", "151.2" },
            { { { "Exif.GPSInfo.GPSLatitude", "33/1 48/1 0/1" },
                  { "Exif.GPSInfo.GPSLatitudeRef", "s" },
                  { "Exif.GPSInfo.GPSLongitude", "70/1 30/1 0/1" },
                  { "Exif.GPSInfo.GPSLongitudeRef", "W" } },
                "33.8", "-70.5" },
            // Whole degrees keep their fraction; no reference keeps the sign.
            { { { "Exif.GPSInfo.GPSLatitude", "10/1 0/1 0/1" },
                  { "Exif.GPSInfo.GPSLongitude", "0/1 0/1 0/1" },
                  { "Exif.GPSInfo.GPSLongitudeRef", "W" } },
                "10.0", "-0.0" },
            // Latitude without longitude, and the other way round.
            { { { "Exif.GPSInfo.GPSLatitude", "1/1 30/1 0/1" } }, "1.5", std::nullopt },
            { { { "Exif.GPSInfo.GPSLongitude", "179/1 0/1 0/1" } }, std::nullopt, "179.0" },
            // Off the globe, or not a number: no key.
            { { { "Exif.GPSInfo.GPSLatitude", "91/1 0/1 0/1" },
                  { "Exif.GPSInfo.GPSLongitude", "181/1 0/1 0/1" } },
                std::nullopt, std::nullopt },
            { { { "Exif.GPSInfo.GPSLatitude", "45/0 0/1 0/1" },
                  { "Exif.GPSInfo.GPSLongitude", "4294967295/1 4294967295/1 4294967295/1" } },
                std::nullopt, std::nullopt },
        };
        testing::TemporaryFolder folder;
        for (const Case& item : cases) {
            auto values = extract(testing::writeJpeg(folder / "gps.jpg", item.tags));
            auto latitude = values.find("gps.lat");
            auto longitude = values.find("gps.lon");
            EXPECT_EQ(latitude == values.end() ? std::nullopt
                                               : std::optional<std::string>(latitude->second),
                item.latitude);
            EXPECT_EQ(longitude == values.end() ? std::nullopt
                                                : std::optional<std::string>(longitude->second),
                item.longitude);
        }
    }

    TEST(ImageExtraction, CameraJoinsWhatExists)
    {
        struct Case {
            std::map<std::string, std::string> tags;
            const char* camera;
        };
        const Case cases[] = {
            { { { "Exif.Image.Make", "Nikon" }, { "Exif.Image.Model", "Z 6" } }, "Nikon Z 6" },
            { { { "Exif.Image.Model", "Pixel 8" } }, "Pixel 8" },
            { { { "Exif.Image.Make", "Fujifilm" } }, "Fujifilm" },
            { { { "Exif.Photo.ISOSpeedRatings", "100" } }, "" },
        };
        testing::TemporaryFolder folder;
        for (const Case& item : cases) {
            auto values = extract(testing::writeJpeg(folder / "camera.jpg", item.tags));
            EXPECT_EQ(values["exif.camera"], item.camera);
        }
    }

    TEST(ImageExtraction, MissingTagsAreAbsent)
    {
        testing::TemporaryFolder folder;
        auto values = extract(testing::writeJpeg(folder / "plain.jpg", {}, 30, 20));
        EXPECT_EQ(values,
            (MetadataDictionary { { "image.width", "30" }, { "image.height", "20" },
                { "image.orientation", "1" }, { "exif.camera", "" } }));
    }

    TEST(ImageExtraction, PngWithoutExifHasOnlyImageKeysAndCamera)
    {
        testing::TemporaryFolder folder;
        auto path = folder / "shot.png";
        testing::writePicture(path, 17, 9);
        EXPECT_EQ(extract(path),
            (MetadataDictionary { { "image.width", "17" }, { "image.height", "9" },
                { "image.orientation", "1" }, { "exif.camera", "" } }));
    }

    TEST(ImageExtraction, FormatsOnlyQtKnowsGiveTheirSize)
    {
        testing::TemporaryFolder folder;
        auto path = folder / "icon.xpm";
        testing::writePicture(path, 12, 10);
        EXPECT_EQ(extract(path),
            (MetadataDictionary { { "image.width", "12" }, { "image.height", "10" },
                { "image.orientation", "1" }, { "exif.camera", "" } }));
    }

    TEST(ImageExtraction, SvgPicturesAreNotRead)
    {
        testing::TemporaryFolder folder;
        auto path = folder.createFile("icon.svg",
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"48\" height=\"36\">"
            "<text x=\"2\" y=\"30\">Icon</text></svg>");
        EXPECT_EQ(extract(path), MetadataDictionary {});
    }

    TEST(ImageExtraction, TextThatIsNotUtf8IsReadAsLatin1)
    {
        testing::TemporaryFolder folder;
        auto path = testing::writeJpeg(folder / "latin.jpg", { { "Exif.Image.Make", "Caf\xE9" } });
        auto values = extract(path);
        EXPECT_EQ(values["exif.make"], "Caf\xC3\xA9");
        for (const auto& [key, value] : values)
            EXPECT_TRUE(text::isValidUtf8(value)) << key;
    }

    TEST(PDFExtraction, ReadsPagesTitleAndAuthor)
    {
        testing::TemporaryFolder folder;
        auto path = testing::writePdf(
            folder / "report.pdf", 3, { { "Title", "Annual Report" }, { "Author", "Ada" } });
        EXPECT_EQ(extract(path),
            (MetadataDictionary {
                { "pdf.pages", "3" }, { "pdf.title", "Annual Report" }, { "pdf.author", "Ada" } }));
    }

    TEST(PDFExtraction, MissingInformationIsAbsent)
    {
        testing::TemporaryFolder folder;
        auto withoutAuthor = testing::writePdf(folder / "a.pdf", 1, { { "Title", "Notes" } });
        EXPECT_EQ(extract(withoutAuthor),
            (MetadataDictionary { { "pdf.pages", "1" }, { "pdf.title", "Notes" } }));
        auto withoutTitle = testing::writePdf(folder / "b.pdf", 2, { { "Author", "Bo" } });
        EXPECT_EQ(extract(withoutTitle),
            (MetadataDictionary { { "pdf.pages", "2" }, { "pdf.author", "Bo" } }));
    }

    TEST(PDFExtraction, ExtensionIsMatchedInAnyCaseAndOnlyThere)
    {
        testing::TemporaryFolder folder;
        auto upper = testing::writePdf(folder / "SCAN.PDF", 1, { { "Title", "Scan" } });
        EXPECT_EQ(extract(upper)["pdf.title"], "Scan");
        auto misnamed = testing::writePdf(folder / "scan.txt", 1, { { "Title", "Scan" } });
        EXPECT_THAT(extract(misnamed), Not(Contains(Key("pdf.pages"))));
    }

    /// A file that is no PDF, or a large one whose table of objects is gone, is not read:
    /// poppler would read all of it to rebuild the table, a minute for every few gigabytes.
    TEST(PDFExtraction, OnlyFilesThatBeginAndEndAsPDFsAreOpened)
    {
        testing::TemporaryFolder folder;
        constexpr std::uintmax_t large = 65 * 1024 * 1024; // above what is rebuilt; sparse
        auto appending = [](const std::filesystem::path& path, const std::string& text) {
            std::ofstream(path, std::ios::binary | std::ios::app) << text;
            return path;
        };
        // A PDF whose xref table starts where the small document's does.
        auto document = testing::writePdf(folder / "small.pdf", 1, { { "Title", "T" } });
        auto bytes = testing::readFile(document);
        auto xref = bytes.substr(bytes.rfind("startxref"));
        auto padded = [&](const std::string& name) {
            auto path = folder.createFile(name, bytes);
            std::filesystem::resize_file(path, large);
            return path;
        };
        auto zeros = [&](const std::string& name, std::uintmax_t size) {
            auto path = folder.createFile(name, "");
            std::filesystem::resize_file(path, size);
            return path;
        };
        const std::pair<const char*, std::filesystem::path> opened[] = {
            { "small", document },
            { "large, ending with its table's place", appending(padded("ended.pdf"), "\n" + xref) },
        };
        for (const auto& [label, path] : opened)
            EXPECT_EQ(extract(path)["pdf.title"], "T") << label;
        const std::pair<const char*, std::filesystem::path> refused[] = {
            { "large, its end cut off", padded("cut.pdf") },
            { "small, no header", zeros("zeros.pdf", 4096) },
            { "large, no header", appending(zeros("large-zeros.pdf", large), xref) },
        };
        for (const auto& [label, path] : refused)
            EXPECT_EQ(extract(path), MetadataDictionary {}) << label;
    }

    /// A PDF that needs its password to be opened gives nothing (poppler crashed on its page
    /// count); one whose owner password only restricts its use is read as any other.
    TEST(PDFExtraction, LockedDocumentsGiveNothingAndRestrictedOnesAreRead)
    {
        if (!testing::hasQpdf())
            GTEST_SKIP() << "the qpdf program is not available";
        testing::TemporaryFolder folder;
        auto plain = testing::writePdf(
            folder / "plain.pdf", 3, { { "Title", "Annual Report" }, { "Author", "Ada" } });
        const MetadataDictionary everything { { "pdf.pages", "3" },
            { "pdf.title", "Annual Report" }, { "pdf.author", "Ada" } };
        for (const auto& lock : testing::pdfLocks()) {
            auto path = folder / lock.name;
            ASSERT_TRUE(testing::encryptPdf(plain, path, lock.encryption)) << lock.name;
            EXPECT_EQ(extract(path), lock.needsPassword ? MetadataDictionary {} : everything)
                << lock.name;
        }
    }

    /// Audio and video made once by the ffmpeg program for every media test.
    class MediaExtraction : public ::testing::Test {
    protected:
        static void SetUpTestSuite()
        {
            if (!testing::hasFFmpeg())
                return;
            s_folder = new testing::TemporaryFolder;
            auto cover = testing::writeJpeg(*s_folder / "cover.jpg", {}, 32, 32);
            auto folder = s_folder->path();
            s_ready
                = testing::runFFmpeg({ "-f", "lavfi", "-i", "sine=frequency=440:duration=2.5", "-i",
                      testing::qtPath(cover), "-map", "0", "-map", "1", "-c:a", "libmp3lame",
                      "-c:v", "mjpeg", "-disposition:v", "attached_pic", "-metadata",
                      "title=Night Drive", "-metadata", "artist=The Owls", "-metadata",
                      "album=Roads", "-metadata", "date=2021", "-metadata", "genre=Synthwave",
                      "-metadata", "track=3/12", testing::qtPath(folder / "song.mp3") })
                && testing::runFFmpeg({ "-f", "lavfi", "-i",
                    "testsrc=size=320x240:rate=24000/1001:duration=1.5", "-f", "lavfi", "-i",
                    "sine=duration=1.5", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac",
                    "-shortest", "-metadata", "title=Clip", testing::qtPath(folder / "clip.mp4") })
                && testing::runFFmpeg({ "-f", "lavfi", "-i", "sine=duration=1", "-c:a", "pcm_s16le",
                    "-metadata", "title=Beep", testing::qtPath(folder / "beep.wav") });
            if (s_ready) {
                std::filesystem::copy_file(folder / "clip.mp4", folder / "clip.mkv");
                std::filesystem::copy_file(folder / "clip.mp4", folder / "CLIP.MOV");
            }
        }
        static void TearDownTestSuite()
        {
            delete s_folder;
            s_folder = nullptr;
        }
        void SetUp() override
        {
            if (!s_ready)
                GTEST_SKIP() << "the ffmpeg program is not available";
        }
        static std::filesystem::path file(const char* name) { return *s_folder / name; }

        static inline testing::TemporaryFolder* s_folder = nullptr;
        static inline bool s_ready = false;
    };

    TEST_F(MediaExtraction, AudioWithCoverArtHasTagsAndDurationButNoVideo)
    {
        EXPECT_EQ(extract(file("song.mp3")),
            (MetadataDictionary { { "audio.title", "Night Drive" }, { "audio.artist", "The Owls" },
                { "audio.album", "Roads" }, { "audio.year", "2021" },
                { "audio.genre", "Synthwave" }, { "audio.track", "3/12" },
                { "video.duration", "2" } }));
    }

    TEST_F(MediaExtraction, MovieHasSizeFrameRateCodecAndDuration)
    {
        auto values = extract(file("clip.mp4"));
        EXPECT_EQ(values["video.width"], "320");
        EXPECT_EQ(values["video.height"], "240");
        EXPECT_EQ(values["video.fps"], "23.98");
        EXPECT_EQ(values["video.codec"], "avc1");
        EXPECT_EQ(values["video.duration"], "1");
        EXPECT_EQ(values["audio.title"], "Clip");
        EXPECT_THAT(values, Not(Contains(Key("image.width"))));
        EXPECT_EQ(extract(file("CLIP.MOV")), values);
    }

    TEST_F(MediaExtraction, WaveHasTitleAndDuration)
    {
        EXPECT_EQ(extract(file("beep.wav")),
            (MetadataDictionary { { "audio.title", "Beep" }, { "video.duration", "1" } }));
    }

    /// FFmpeg allocates what a header declares before it reads that far: a tag of a wave
    /// file that claimed 1.5 GB took that much memory, from a file of a few hundred bytes.
    TEST_F(MediaExtraction, DeclaredSizesTakeNoMoreMemoryThanAFileCouldHold)
    {
        std::string wave = testing::readFile(file("beep.wav"));
        auto list = wave.find("LIST");
        ASSERT_NE(list, std::string::npos);
        auto title = wave.find("INAM", list);
        ASSERT_NE(title, std::string::npos);
        auto put = [&](std::size_t offset, std::uint32_t value) {
            for (std::size_t index = 0; index < 4; ++index)
                wave[offset + index] = static_cast<char>(value >> (8 * index));
        };
        put(list + 4, 0xFFFFFFF0);
        put(title + 4, 0x60000000);
        auto path = s_folder->createFile("claims.wav", wave);

        std::int64_t growth = testing::peakMemoryGrowth([&] { extract(path); });
        EXPECT_GE(growth, 0) << "the extraction ended the process";
        EXPECT_LT(growth, 512 << 20);
    }

    TEST_F(MediaExtraction, OtherExtensionsGetNoMediaKeys)
    {
        EXPECT_EQ(extract(file("clip.mkv")), MetadataDictionary {});
    }

    TEST(SpecialFiles, GiveAnEmptyMapWithoutBlocking)
    {
        testing::TemporaryFolder folder;
        auto fifo = folder / "pipe.mp3";
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        auto socketPath = folder / "socket.jpg";
        int socketDescriptor = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
        ASSERT_EQ(
            ::bind(socketDescriptor, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        auto subfolder = folder.createFolder("album.jpg");

        for (const std::filesystem::path& path :
            { fifo, socketPath, subfolder, std::filesystem::path("/dev/null"),
                std::filesystem::path("/dev/zero"), folder / "missing.jpg" })
            EXPECT_EQ(extract(path), MetadataDictionary {}) << path;
        ::close(socketDescriptor);
    }

    TEST(HostileFiles, NeverCrashAndYieldLittle)
    {
        testing::TemporaryFolder folder;
        std::mt19937 random(7);
        std::string noise(200000, '\0');
        for (char& byte : noise)
            byte = static_cast<char>(random());

        // Noise under every extension that picks a reader.
        for (const char* extension : { "jpg", "png", "heic", "tif", "pdf", "mp3", "m4a", "wav",
                 "aiff", "aac", "flac", "mp4", "mov", "m4v", "avi", "xpm" }) {
            auto path = folder.createFile(std::string("noise.") + extension, noise);
            auto values = extract(path);
            for (const auto& [key, value] : values)
                EXPECT_TRUE(text::isValidUtf8(value)) << extension << " " << key;
        }

        // A picture cut short after its metadata.
        auto full = testing::writeJpeg(folder / "full.jpg",
            { { "Exif.Image.Make", "Canon" },
                { "Exif.Photo.DateTimeOriginal", "2020:01:02 03:04:05" } });
        std::string bytes = testing::readFile(full);
        for (std::size_t length : { std::size_t(3), std::size_t(30), bytes.size() / 2 }) {
            auto cut = folder.createFile("cut.jpg", bytes.substr(0, length));
            extract(cut);
        }

        // A playlist that names another file is not followed.
        auto secret = folder.createFile("secret.mp3", "");
        auto playlist = folder.createFile("list.mp4",
            "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\nfile://" + secret.string()
                + "\n#EXT-X-ENDLIST\n");
        EXPECT_EQ(extract(playlist), MetadataDictionary {});

        // An empty file and a PDF whose cross references point nowhere.
        EXPECT_EQ(extract(folder.createFile("empty.mp4", "")), MetadataDictionary {});
        extract(folder.createFile(
            "broken.pdf", "%PDF-1.4\n1 0 obj << /Type /Catalog >>\nstartxref\n999999\n%%EOF\n"));
    }

    /// Pictures whose decoders took far more memory than the files hold: a PNG of a few
    /// hundred bytes took 1.5 GB, an SVGZ picture three times what it inflates to.
    TEST(HostileFiles, PicturesThatClaimMoreThanTheyHoldTakeNoMemory)
    {
        testing::TemporaryFolder folder;
        for (const auto& path : testing::picturesClaimingMore(folder.path())) {
            std::int64_t growth = testing::peakMemoryGrowth([&] { extract(path); });
            EXPECT_GE(growth, 0) << path << ": the extraction ended the process";
            EXPECT_LT(growth, 64 << 20) << path;
            EXPECT_THAT(extract(path), Not(Contains(Key("image.width")))) << path;
        }

        // A picture cut short in its image data still has its size.
        std::string whole = testing::readFile(testing::writeJpeg(folder / "photo.png"));
        auto cut = folder.createFile("cut.png", whole.substr(0, whole.find("IDAT") + 8));
        EXPECT_EQ(extract(cut)["image.width"], "64");
    }

} // namespace
} // namespace sorvik
