#pragma once

namespace sorvik {

/// The value of an ASCII hex digit in either case, or -1 for any other character (a byte of
/// a multibyte sequence among them, whatever the signedness of `char`).
constexpr int hexDigitValue(int character)
{
    if (character >= '0' && character <= '9')
        return character - '0';
    if (character >= 'a' && character <= 'f')
        return character - 'a' + 10;
    if (character >= 'A' && character <= 'F')
        return character - 'A' + 10;
    return -1;
}

} // namespace sorvik
