#include "app/services/image_metadata.h"

#include "app/services/descriptor_io.h"
#include "app/services/metadata_text.h"
#include "app/services/qt_image_guard.h"
#include "engine/model/regular_file.h"
#include "engine/model/text.h"

#include <QFile>
#include <QImageReader>

#include <exiv2/exiv2.hpp>
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
        if (!QtImageGuard::mayDecode(file, reader))
            return false;
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

    struct WallTime {
        int year = 0;
        int month = 0;
        int day = 0;
        int hour = 0;
        int minute = 0;
        int second = 0;
    };

    /// Reads "yyyy:MM:dd HH:mm:ss" strictly: every field in range, nothing before or after.
    /// Fields may be written with fewer digits, as a non-lenient date formatter accepts.
    std::optional<WallTime> parseWallTime(std::string_view text)
    {
        WallTime time;
        std::size_t position = 0;
        auto number = [&](int& field, std::size_t maxDigits, char separator) {
            std::size_t start = position;
            int value = 0;
            while (position < text.size() && position - start < maxDigits && text[position] >= '0'
                && text[position] <= '9')
                value = value * 10 + (text[position++] - '0');
            if (position == start)
                return false;
            field = value;
            if (separator == '\0')
                return position == text.size();
            return position < text.size() && text[position++] == separator;
        };
        if (!number(time.year, 4, ':') || !number(time.month, 2, ':') || !number(time.day, 2, ' ')
            || !number(time.hour, 2, ':') || !number(time.minute, 2, ':')
            || !number(time.second, 2, '\0'))
            return std::nullopt;
        static constexpr int monthLengths[] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
        bool isLeapYear = (time.year % 4 == 0 && time.year % 100 != 0) || time.year % 400 == 0;
        if (time.year < 1 || time.month < 1 || time.month > 12 || time.day < 1
            || time.day > monthLengths[time.month - 1] + (time.month == 2 && isLeapYear ? 1 : 0)
            || time.hour > 23 || time.minute > 59 || time.second > 59)
            return std::nullopt;
        return time;
    }

    /// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
    std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day)
    {
        year -= month <= 2;
        std::int64_t era = (year >= 0 ? year : year - 399) / 400;
        auto yearOfEra = static_cast<unsigned>(year - era * 400);
        unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
        unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
        return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
    }

    WallTime civilFromSeconds(std::int64_t seconds)
    {
        std::int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
        std::int64_t secondOfDay = seconds - days * 86400;
        days += 719468;
        std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
        auto dayOfEra = static_cast<unsigned>(days - era * 146097);
        unsigned yearOfEra
            = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
        unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
        unsigned monthIndex = (5 * dayOfYear + 2) / 153;
        WallTime time;
        time.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
        time.month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
        time.year = static_cast<int>(
            static_cast<std::int64_t>(yearOfEra) + era * 400 + (time.month <= 2));
        time.hour = static_cast<int>(secondOfDay / 3600);
        time.minute = static_cast<int>(secondOfDay / 60 % 60);
        time.second = static_cast<int>(secondOfDay % 60);
        return time;
    }

    std::string padded(int value, int width)
    {
        std::string digits = std::to_string(value);
        if (static_cast<int>(digits.size()) < width)
            digits.insert(
                0, static_cast<std::size_t>(width - static_cast<int>(digits.size())), '0');
        return digits;
    }

} // namespace

void addCaptureDate(const std::string& text, MetadataDictionary& values)
{
    auto wallTime = parseWallTime(text);
    if (!wallTime)
        return;
    // The wall time is read in the current time zone (ICU's default, which follows TZ).
    std::int64_t localSeconds
        = daysFromCivil(wallTime->year, static_cast<unsigned>(wallTime->month),
              static_cast<unsigned>(wallTime->day))
            * 86400
        + wallTime->hour * 3600 + wallTime->minute * 60 + wallTime->second;
    std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createDefault());
    int32_t rawOffset = 0;
    int32_t daylightOffset = 0;
    UErrorCode status = U_ZERO_ERROR;
    zone->getOffset(
        static_cast<UDate>(localSeconds) * 1000.0, true, rawOffset, daylightOffset, status);
    if (U_FAILURE(status))
        return;
    WallTime utc = civilFromSeconds(localSeconds - (rawOffset + daylightOffset) / 1000);
    values["exif.date"] = padded(utc.year, 4) + "-" + padded(utc.month, 2) + "-"
        + padded(utc.day, 2) + "T" + padded(utc.hour, 2) + ":" + padded(utc.minute, 2) + ":"
        + padded(utc.second, 2) + "Z";
    values["exif.year"] = padded(wallTime->year, 4);
    values["exif.month"] = padded(wallTime->month, 2);
    values["exif.day"] = padded(wallTime->day, 2);
}

namespace {

    /// False when exiv2 does not know the file's format.
    bool readWithExiv2(const RegularFile& file, MetadataDictionary& values)
    {
        Exiv2::Image::AutoPtr image;
        try {
            Exiv2::BasicIo::AutoPtr io(new DescriptorIo(file));
            image = Exiv2::ImageFactory::open(io);
        } catch (...) {
            return false;
        }
        if (!image.get())
            return false;
        if (isVideoType(image->imageType())
            || (image->imageType() == Exiv2::ImageType::bmff && !isStillPictureBmff(file)))
            return true;
        try {
            image->readMetadata();
        } catch (...) {
            // A damaged metadata block: the picture itself may still have a size.
            addImageFromQt(file, values);
            return true;
        }
        try {
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
            // What was stored before the failure stays.
        }
        return true;
    }

} // namespace

void read(const RegularFile& file, std::string_view extension, MetadataDictionary& values)
{
    setUpExiv2();
    try {
        // Qt may still read a picture in a format exiv2 does not know.
        if (!readWithExiv2(file, values) && hasQtImageExtension(extension))
            addImageFromQt(file, values);
    } catch (...) {
    }
}

} // namespace sorvik::ImageMetadata
