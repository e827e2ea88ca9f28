// Feeds arbitrary bytes, as a picture, to the reader of image properties (exiv2, and Qt for
// the pixel size). It must never crash, and it gives only image, EXIF and GPS keys as UTF-8,
// the position on the globe.
#include "app/services/image_metadata.h"
#include "engine/model/regular_file.h"
#include "fuzz/support/fuzz_input.h"

#include <cmath>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace sorvik;
    static fuzzing::InputFile input("input.jpg");
    RegularFile file = input.open(data, size);
    MetadataDictionary values;
    // An extension Qt knows, so that formats exiv2 does not know reach Qt too.
    ImageMetadata::read(file, "jpg", values);
    fuzzing::checkValues(values, { "image.", "exif.", "gps." });
    for (auto [key, limit] : { std::pair { "gps.lat", 90.0 }, std::pair { "gps.lon", 180.0 } }) {
        if (auto found = values.find(key); found != values.end()) {
            double degrees = std::stod(found->second);
            if (!std::isfinite(degrees) || std::fabs(degrees) > limit)
                std::abort();
        }
    }
    return 0;
}
