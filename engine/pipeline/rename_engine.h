#pragma once

#include "engine/model/date_formatter.h"
#include "engine/model/file_item.h"
#include "engine/model/regex.h"
#include "engine/model/rename_options.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The single-form renamer: one `RenameOptions` value applied to a name in a fixed order of
// steps (find and replace, removals, clean-up filters, case, spaces, tidying, numbering,
// date, prefix and suffix, extension), the validation of proposed names, and a complete
// preview built on the two. Everything is pure except the preview's existence test.
namespace sorvik::RenameEngine {

/// The reasons a proposed name cannot be used, in the order they are tested.
inline constexpr std::string_view emptyNameReason = "Empty name";
inline constexpr std::string_view forbiddenCharacterReason = "Contains / or :";
inline constexpr std::string_view invalidCharacterReason = "Contains invalid characters";
inline constexpr std::string_view nameTooLongReason = "Name too long";
inline constexpr std::string_view hiddenNameReason = "Would become hidden";

inline constexpr std::string_view duplicateNameReason = "Duplicate name";
inline constexpr std::string_view fileExistsReason = "File already exists";

/// The new full file name of `item` under `options`. `index` numbers the item (from 0);
/// `regex` is used only with `useRegex` (the caller leaves it out when `find` does not
/// compile); `dateFormatter` only when a date source is set.
std::string transform(const FileItem& item, std::int64_t index, const RenameOptions& options,
    const Regex* regex, const DateFormatter* dateFormatter);

/// The steps of `transform` that work on the base name (everything but the extension),
/// applied to `baseName` instead of the item's own; the item is read only for its dates.
/// A caller that runs the transform over a working name uses this, so that no extension,
/// real or stand-in, ever takes part.
std::string transformBaseName(std::string baseName, const FileItem& item, std::int64_t index,
    const RenameOptions& options, const Regex* regex, const DateFormatter* dateFormatter);

/// Words of a text: letters and numbers, split at every other character, between a lower-case
/// and an upper-case letter, and between letters and numbers.
std::vector<std::string> splitWords(std::string_view text);

/// The text in the given case style.
std::string applyCase(CaseStyle style, std::string_view text);

/// The text without decimal digits (any script).
std::string removeDigits(std::string_view text);

/// The text with only the code points for which `isAllowed` holds.
std::string keepAllowed(std::string_view text, const std::function<bool(char32_t)>& isAllowed);

/// Letters (with their marks), decimal digits, and " -_.()": what removing weird characters keeps.
bool isPlainNameCharacter(char32_t scalar);

/// Compiles `pattern`; fails with `Error` when it does not compile.
Regex makeRegex(std::string_view pattern, bool caseInsensitive);

/// Why `name` cannot be used as a file name, or nothing when it can.
std::optional<std::string> validate(std::string_view name);

/// The key under which two targets collide: the standardized path, lower-cased.
std::string collisionKey(const FileURL& url);

/// Whether anything (a dangling symbolic link included) exists at the path.
bool localFileExists(const FileURL& url);
/// Whether two paths name the same file (same device and inode).
bool localIsSameFile(const FileURL& first, const FileURL& second);

/// New names and statuses for `items` (in list order) under one set of options.
std::vector<PreviewRow> preview(const std::vector<FileItem>& items, const RenameOptions& options,
    const std::function<bool(const FileURL&)>& fileExists = localFileExists,
    const std::function<bool(const FileURL&, const FileURL&)>& isSameFile = localIsSameFile);

} // namespace sorvik::RenameEngine
