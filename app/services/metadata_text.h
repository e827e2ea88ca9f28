#pragma once

#include <string>
#include <string_view>

// Numbers and texts as metadata values. Numbers ignore the C locale that Qt installs at
// start-up, so a decimal point stays a point for every user.
namespace sorvik::MetadataText {

/// The shortest decimal text that reads back as the same double, always in plain positional
/// form (never an exponent): 33.8, 0.000125, 1733650000. With `keepFraction` an integral value
/// ends in ".0" (1733650000.0). Not-a-number and the infinities give "nan", "inf" and "-inf".
std::string shortest(double value, bool keepFraction);

/// The value rounded to `digits` digits after the point, as C's "%.<digits>f" prints it in the
/// "C" locale: 29.97, 48.858.
std::string fixed(double value, int digits);

/// Text read from a file made safe to keep: NUL characters are dropped (no file name can hold
/// them) and bytes that are not UTF-8 are read as Latin-1, the usual encoding of old tags.
std::string cleaned(std::string_view text);

} // namespace sorvik::MetadataText
