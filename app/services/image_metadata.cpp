#include "app/services/image_metadata.h"

#include "app/services/metadata_extractor.h"
#include "app/services/metadata_text.h"
#include "app/services/regular_file.h"
#include "engine/model/text.h"

#include <QFile>
#include <QImageReader>

#include <exiv2/exiv2.hpp>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <optional>

namespace sorvik::ImageMetadata {

namespace {

    std::mutex xmpToolkitMutex;

    void lockXmpToolkit(void*, bool lock)
    {
        if (lock)
            xmpToolkitMutex.lock();
        else
            xmpToolkitMutex.unlock();
    }

    void setUpExiv2()
    {
        static std::once_flag once;
        std::call_once(once, [] {
            // The XMP toolkit registers namespaces in one global table while it parses; the
            // lock makes that safe for the four extractions that run at once.
            Exiv2::XmpParser::initialize(lockXmpToolkit, nullptr);
            Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
            // HEIC, AVIF and CR3 are read only with the BMFF reader switched on.
            Exiv2::enableBMFF(true);
        });
    }

    bool isVideoType(int imageType)
    {
        // exiv2 also opens movies, but a movie is no image here: its properties come from
        // FFmpeg, for the media extensions only. These are exiv2's type numbers of RIFF, Matroska,
        // QuickTime and ASF; their headers do not compile on their own.
        constexpr int riff = 20, matroska = 21, quickTime = 22, asf = 24;
        return imageType == riff || imageType == matroska || imageType == quickTime
            || imageType == asf;
    }

    /// exiv2's BMFF reader takes every ISO base media file, movies included; only the still
    /// picture brands (HEIF, HEIC, AVIF, Canon CR3, JPEG XL) make an image.
    bool isStillPictureBmff(const RegularFile& file)
    {
        static constexpr std::string_view pictureBrands[] = { "mif1", "msf1", "heic", "heix",
            "heim", "heis", "hevc", "hevx", "avif", "avis", "crx ", "jxl " };
        std::string head = file.readPrefix(512);
        if (head.size() < 16 || head.compare(4, 4, "ftyp") != 0)
            return false;
        auto byte = [&](std::size_t index) { return static_cast<std::uint8_t>(head[index]); };
        std::size_t boxSize = (std::size_t(byte(0)) << 24) | (std::size_t(byte(1)) << 16)
            | (std::size_t(byte(2)) << 8) | std::size_t(byte(3));
        boxSize = std::min(boxSize, head.size());
        auto isPictureBrand = [&](std::size_t offset) {
            std::string_view brand(head.data() + offset, 4);
            return std::find(std::begin(pictureBrands), std::end(pictureBrands), brand)
                != std::end(pictureBrands);
        };
        if (isPictureBrand(8))
            return true;
        for (std::size_t offset = 16; offset + 4 <= boxSize; offset += 4) {
            if (isPictureBrand(offset))
                return true;
        }
        return false;
    }

    struct Keys {
        Exiv2::ExifKey orientation { "Exif.Image.Orientation" };
        Exiv2::ExifKey make { "Exif.Image.Make" };
        Exiv2::ExifKey model { "Exif.Image.Model" };
        Exiv2::ExifKey lensModel { "Exif.Photo.LensModel" };
        Exiv2::ExifKey focalLength { "Exif.Photo.FocalLength" };
        Exiv2::ExifKey fNumber { "Exif.Photo.FNumber" };
        Exiv2::ExifKey exposureTime { "Exif.Photo.ExposureTime" };
        Exiv2::ExifKey isoSpeedRatings { "Exif.Photo.ISOSpeedRatings" };
        Exiv2::ExifKey dateTimeOriginal { "Exif.Photo.DateTimeOriginal" };
        Exiv2::ExifKey latitude { "Exif.GPSInfo.GPSLatitude" };
        Exiv2::ExifKey latitudeRef { "Exif.GPSInfo.GPSLatitudeRef" };
        Exiv2::ExifKey longitude { "Exif.GPSInfo.GPSLongitude" };
        Exiv2::ExifKey longitudeRef { "Exif.GPSInfo.GPSLongitudeRef" };
    };

    const Keys& keys()
    {
        static const Keys instance;
        return instance;
    }

    const Exiv2::Value* find(const Exiv2::ExifData& exif, const Exiv2::ExifKey& key)
    {
        auto found = exif.findKey(key);
        if (found == exif.end() || found->count() == 0)
            return nullptr;
        return &found->value();
    }

    bool isText(Exiv2::TypeId type)
    {
        return type == Exiv2::asciiString || type == Exiv2::string || type == Exiv2::xmpText
            || type == Exiv2::comment;
    }

    bool isInteger(Exiv2::TypeId type)
    {
        switch (type) {
        case Exiv2::unsignedByte:
        case Exiv2::unsignedShort:
        case Exiv2::unsignedLong:
        case Exiv2::signedByte:
        case Exiv2::signedShort:
        case Exiv2::signedLong:
        case Exiv2::tiffIfd:
            return true;
        default:
            return false;
        }
    }

    /// The number at `index` of a numeric value; nothing for texts and for a zero denominator.
    std::optional<double> number(const Exiv2::Value& value, long index = 0)
    {
        if (index >= value.count())
            return std::nullopt;
        auto type = value.typeId();
        if (isInteger(type))
            return static_cast<double>(value.toLong(index));
        if (type == Exiv2::unsignedRational) {
            // toRational() reads an unsigned fraction as signed, turning 4294967295/1 into -1.
            if (auto* fractions = dynamic_cast<const Exiv2::URationalValue*>(&value)) {
                auto [numerator, denominator]
                    = fractions->value_.at(static_cast<std::size_t>(index));
                if (denominator == 0)
                    return std::nullopt;
                return static_cast<double>(numerator) / static_cast<double>(denominator);
            }
        }
        if (type == Exiv2::unsignedRational || type == Exiv2::signedRational) {
            auto [numerator, denominator] = value.toRational(index);
            if (denominator == 0)
                return std::nullopt;
            return static_cast<double>(numerator) / static_cast<double>(denominator);
        }
        if (type == Exiv2::tiffDouble) {
            if (auto* doubles = dynamic_cast<const Exiv2::ValueType<double>*>(&value))
                return doubles->value_.at(static_cast<std::size_t>(index));
        }
        if (type == Exiv2::tiffFloat)
            return static_cast<double>(value.toFloat(index));
        return std::nullopt;
    }

    /// A stored value as plain text: a text unchanged, a number as its decimal text (whole
    /// numbers without a fraction).
    std::optional<std::string> defaultText(const Exiv2::Value& value)
    {
        if (isText(value.typeId()))
            return MetadataText::cleaned(value.toString());
        auto numeric = number(value);
        if (!numeric || !std::isfinite(*numeric))
            return std::nullopt;
        return MetadataText::shortest(*numeric, false);
    }

    void store(MetadataDictionary& values, const char* key, std::optional<std::string> text)
    {
        if (text)
            values[key] = std::move(*text);
    }

    /// Degrees, minutes and seconds as decimal degrees; nothing when a part is unreadable.
    std::optional<double> degrees(const Exiv2::Value& value)
    {
        static constexpr double scales[] = { 1.0, 60.0, 3600.0 };
        double total = 0;
        long parts = std::min<long>(value.count(), 3);
        for (long index = 0; index < parts; ++index) {
            auto part = number(value, index);
            if (!part)
                return std::nullopt;
            total += *part / scales[index];
        }
        return total;
    }

    void addCoordinate(const Exiv2::ExifData& exif, const Exiv2::ExifKey& key,
        const Exiv2::ExifKey& referenceKey, const char* negativeReference, double limit,
        const char* resultKey, MetadataDictionary& values)
    {
        const Exiv2::Value* value = find(exif, key);
        if (!value)
            return;
        auto coordinate = degrees(*value);
        // A position that is not on the globe would only produce a bogus place lookup.
        if (!coordinate || !std::isfinite(*coordinate) || std::fabs(*coordinate) > limit)
            return;
        const Exiv2::Value* reference = find(exif, referenceKey);
        if (reference && isText(reference->typeId()) && reference->toString() == negativeReference)
            *coordinate = -*coordinate;
        values[resultKey] = MetadataText::shortest(*coordinate, true);
    }

    void addExif(const Exiv2::ExifData& exif, MetadataDictionary& values)
    {
        const Keys& k = keys();
        const std::pair<const char*, const Exiv2::ExifKey*> settings[] = {
            { "exif.lens", &k.lensModel },
            { "exif.focal", &k.focalLength },
            { "exif.aperture", &k.fNumber },
            { "exif.shutter", &k.exposureTime },
        };
        for (const auto& [resultKey, key] : settings) {
            if (const Exiv2::Value* value = find(exif, *key))
                store(values, resultKey, defaultText(*value));
        }

        if (const Exiv2::Value* iso = find(exif, k.isoSpeedRatings); iso && !isText(iso->typeId()))
            store(values, "exif.iso", defaultText(*iso));

        std::optional<std::string> make;
        std::optional<std::string> model;
        if (const Exiv2::Value* value = find(exif, k.make))
            make = defaultText(*value);
        if (const Exiv2::Value* value = find(exif, k.model))
            model = defaultText(*value);
        if (make)
            values["exif.make"] = *make;
        if (model)
            values["exif.model"] = *model;
        values["exif.camera"]
            = make && model ? *make + " " + *model : make.value_or(model.value_or(""));

        if (const Exiv2::Value* date = find(exif, k.dateTimeOriginal);
            date && isText(date->typeId()))
            addCaptureDate(date->toString(), values);

        addCoordinate(exif, k.latitude, k.latitudeRef, "S", 90, "gps.lat", values);
        addCoordinate(exif, k.longitude, k.longitudeRef, "W", 180, "gps.lon", values);
    }

    void addPixelSize(int width, int height, MetadataDictionary& values)
    {
        if (width > 0)
            values["image.width"] = std::to_string(width);
        if (height > 0)
            values["image.height"] = std::to_string(height);
    }

    /// Qt's reader for the pixel size, for images exiv2 knows without their size and for
    /// formats exiv2 does not know at all.
    bool addPixelSizeFromQt(const RegularFile& file, MetadataDictionary& values)
    {
        QFile device;
        if (!device.open(file.descriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
            return false;
        QImageReader reader(&device);
        QSize size = reader.size();
        if (!size.isValid())
            return false;
        addPixelSize(size.width(), size.height(), values);
        return true;
    }

    /// A picture whose only readable property is its size.
    bool addImageFromQt(const RegularFile& file, MetadataDictionary& values)
    {
        if (!addPixelSizeFromQt(file, values))
            return false;
        values["image.orientation"] = "1";
        values["exif.camera"] = "";
        return true;
    }

    bool hasQtImageExtension(std::string_view extension)
    {
        if (extension.empty())
            return false;
        static const QList<QByteArray> formats = QImageReader::supportedImageFormats();
        return formats.contains(
            QByteArray(extension.data(), static_cast<qsizetype>(extension.size())));
    }

    /// Parses and formats capture dates. ICU formatters are not safe to share between
    /// threads, so each thread keeps its own, rebuilt when the default time zone changes.
    class CaptureDateFormats {
    public:
        static CaptureDateFormats& current()
        {
            thread_local CaptureDateFormats formats;
            std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createDefault());
            icu::UnicodeString zoneID;
            zone->getID(zoneID);
            if (!formats.m_parser || zoneID != formats.m_zoneID)
                formats.rebuild(zoneID);
            return formats;
        }

        std::optional<UDate> parse(const std::string& text) const
        {
            if (!m_parser)
                return std::nullopt;
            icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(text);
            icu::ParsePosition position(0);
            UDate date = m_parser->parse(unicode, position);
            if (position.getErrorIndex() >= 0 || position.getIndex() != unicode.length())
                return std::nullopt;
            return date;
        }

        std::string format(const icu::SimpleDateFormat& formatter, UDate date) const
        {
            icu::UnicodeString result;
            formatter.format(date, result);
            return text::fromUnicode(result);
        }

        std::unique_ptr<icu::SimpleDateFormat> m_parser;
        std::unique_ptr<icu::SimpleDateFormat> m_year;
        std::unique_ptr<icu::SimpleDateFormat> m_month;
        std::unique_ptr<icu::SimpleDateFormat> m_day;
        std::unique_ptr<icu::SimpleDateFormat> m_internetDate;

    private:
        void rebuild(const icu::UnicodeString& zoneID)
        {
            m_parser.reset();
            icu::Locale posix("en_US_POSIX");
            auto make = [&](const char* pattern) -> std::unique_ptr<icu::SimpleDateFormat> {
                UErrorCode status = U_ZERO_ERROR;
                auto formatter = std::make_unique<icu::SimpleDateFormat>(
                    icu::UnicodeString(pattern), posix, status);
                if (U_FAILURE(status))
                    return nullptr;
                return formatter;
            };
            auto parser = make("yyyy:MM:dd HH:mm:ss");
            m_year = make("yyyy");
            m_month = make("MM");
            m_day = make("dd");
            m_internetDate = make("yyyy-MM-dd'T'HH:mm:ss'Z'");
            if (!parser || !m_year || !m_month || !m_day || !m_internetDate)
                return;
            parser->setLenient(false);
            m_internetDate->adoptTimeZone(icu::TimeZone::createTimeZone("UTC"));
            m_parser = std::move(parser);
            m_zoneID = zoneID;
        }

        icu::UnicodeString m_zoneID;
    };

} // namespace

void addCaptureDate(const std::string& text, MetadataDictionary& values)
{
    CaptureDateFormats& formats = CaptureDateFormats::current();
    auto date = formats.parse(text);
    if (!date)
        return;
    values["exif.date"] = formats.format(*formats.m_internetDate, *date);
    values["exif.year"] = formats.format(*formats.m_year, *date);
    values["exif.month"] = formats.format(*formats.m_month, *date);
    values["exif.day"] = formats.format(*formats.m_day, *date);
}

void read(const RegularFile& file, std::string_view extension, MetadataDictionary& values)
{
    setUpExiv2();
    try {
        auto image = Exiv2::ImageFactory::open(MetadataExtractor::descriptorPath(file), false);
        if (!image.get() || isVideoType(image->imageType()))
            return;
        if (image->imageType() == Exiv2::ImageType::bmff && !isStillPictureBmff(file))
            return;
        try {
            image->readMetadata();
        } catch (...) {
            // A damaged metadata block: the picture itself may still have a size.
            values.clear();
            addImageFromQt(file, values);
            return;
        }
        int width = image->pixelWidth();
        int height = image->pixelHeight();
        if (width > 0 && height > 0)
            addPixelSize(width, height, values);
        else
            addPixelSizeFromQt(file, values);

        const Exiv2::ExifData& exif = image->exifData();
        // Orientation 1 (upright) is what a picture without the tag means.
        std::optional<std::string> orientation;
        if (const Exiv2::Value* value = find(exif, keys().orientation);
            value && !isText(value->typeId()))
            orientation = defaultText(*value);
        values["image.orientation"] = orientation.value_or("1");
        addExif(exif, values);
    } catch (...) {
        // exiv2 does not know the format. Qt may still read a picture in a format of its own.
        if (!values.empty() || !hasQtImageExtension(extension))
            return;
        try {
            addImageFromQt(file, values);
        } catch (...) {
        }
    }
}

} // namespace sorvik::ImageMetadata
