#pragma once

// What the readers' fuzz targets share: the input written to a file, for the readers that
// open files, and the checks every reader's answer must pass.

#include "app/services/content_extractor.h"
#include "engine/model/metadata_dictionary.h"
#include "engine/model/regular_file.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string_view>

namespace sorvik::fuzzing {

/// A file of the given name in a fresh folder under the system's temporary folder, written
/// anew with every input and removed with its folder when the object is destroyed.
class InputFile {
public:
    explicit InputFile(std::string_view name);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    /// Replaces the file's contents with the input; aborts when it cannot be written.
    const std::filesystem::path& write(const std::uint8_t* data, std::size_t size);
    /// Replaces the file's contents with the input and opens it.
    RegularFile open(const std::uint8_t* data, std::size_t size);

private:
    std::filesystem::path m_folder;
    std::filesystem::path m_path;
};

/// Aborts unless every key begins with one of `prefixes` and every value is valid UTF-8
/// without a NUL character: what the rename engine may be handed.
void checkValues(
    const MetadataDictionary& values, std::initializer_list<std::string_view> prefixes);

/// Aborts unless `text` is valid UTF-8.
void checkText(std::string_view text);

/// Aborts unless content extraction kept to its limits (2,000 characters of valid UTF-8, four
/// labels) and the naming heuristic, run over it as the AI rule runs it, gives valid UTF-8.
void checkContent(const Content& content);

} // namespace sorvik::fuzzing
