#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sorvik {

/// The plain text of an RTF document: its control words stripped, "\n" for paragraph and
/// line breaks, "\t" for tabs, special characters (\emdash, \'hh in the document's code
/// page, \uN) as the characters they stand for, and the groups that are not body text
/// (font and colour tables, style sheets, document information, pictures, objects, headers,
/// footers, field instructions and every "\*" destination) left out. Parsing stops once
/// more than `characterLimit` characters are collected. Fails with `Error` when the data
/// does not start as an RTF document.
std::string rtfPlainText(std::string_view rtf, std::size_t characterLimit);

} // namespace sorvik
