#pragma once

#include "engine/model/file_url.h"

#include <cstdint>
#include <string>

// The text file that a rename-from-a-list rule imports its list from (CSV or plain text). It
// is read the way preset documents are: opened once without waiting on a pipe or a device,
// only when it is a regular file, and never beyond the size limit. It is read as UTF-8, so
// bytes of any other encoding are refused before anyone reads them as a list.
namespace sorvik::ListFile {

/// A list file of this many bytes or more is refused.
inline constexpr std::int64_t sizeLimit = 2'000'000;

/// The whole text of the file at `url`, exactly as stored (a leading U+FEFF included). Fails
/// with `FileError`: as `PresetDocument::readBytes` does (the system's reason, not a regular
/// file, `fileReadTooLarge` from `sizeLimit` bytes on), and with
/// `fileReadInapplicableStringEncoding` for bytes that are not UTF-8.
std::string read(const FileURL& url);

} // namespace sorvik::ListFile
