#pragma once

#include "app/store/store_dialogs.h"
#include "engine/model/file_url.h"
#include "engine/model/preset.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// A preset document holds exactly one preset as its JSON object, pretty-printed with sorted
// keys, in a file ending in ".twpreset". Reading one is careful about what it is handed: the
// file is opened once, without waiting on a pipe or a device, must be a regular file, and is
// never read beyond the size limit, so a file that grows while it is read can neither stall
// the window nor fill the memory. An imported preset is a new preset of the user's: a new id,
// never built in, and rule ids that repeat within it are replaced so that each rule is one.
namespace sorvik::PresetDocument {

inline constexpr std::string_view fileExtension = "twpreset";
/// A document of this many bytes or more is refused.
inline constexpr std::int64_t sizeLimit = 2'000'000;

/// The preset document type, made once on first use.
const DocumentType& presetDocumentType();
/// The public JSON type, which the import dialog offers as well.
const DocumentType& jsonDocumentType();

/// The name the export dialog proposes: the preset's name and ".twpreset".
std::string proposedFileName(const Preset& preset);

/// The document of `preset`. Fails with `Error` for a preset without a JSON form (text that
/// is not UTF-8).
std::string encode(const Preset& preset);

/// The bytes of the regular file at `path`, opened once and read without blocking on
/// anything but the disk. Fails with `FileError`: the system's reason when it cannot be
/// opened or its size cannot be read, `fileReadUnknown` for anything but a regular file,
/// `fileReadTooLarge` when it holds `limit` bytes or more (told by its size or, for a file that
/// reports less than it holds, by reading no more than `limit` bytes).
std::string readBytes(const std::filesystem::path& path, std::int64_t limit = sizeLimit);

/// The preset in the document at `url`, ready to join the user's presets: a new id, not built
/// in, repeated rule ids replaced by new ones. Fails as `readBytes` does, with
/// `json::DecodeError` for a document that is not one preset object, and with `FileError`
/// `fileReadCorruptFile` for a schema version other than 1.
Preset read(const FileURL& url);

} // namespace sorvik::PresetDocument
