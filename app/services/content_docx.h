#pragma once

#include <cstddef>
#include <string>

namespace sorvik {

class RegularFile;

/// The plain text of a Word document (a zip archive whose "word/document.xml" holds the
/// body): the runs of text in order, "\t" for tabs, "\n" for line breaks and after every
/// paragraph. Reading stops once more than `characterLimit` characters are collected, and
/// never unpacks more than 64 MiB of the body. Fails with `Error` when the file is not such
/// an archive or its body is not well-formed.
std::string docxPlainText(const RegularFile& file, std::size_t characterLimit);

} // namespace sorvik
