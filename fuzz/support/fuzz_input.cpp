#include "fuzz/support/fuzz_input.h"

#include "app/services/heuristic_namer.h"
#include "engine/model/text.h"

#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace sorvik::fuzzing {

InputFile::InputFile(std::string_view name)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "sorvik-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        std::abort();
    m_folder = pattern;
    m_path = m_folder / name;
}

InputFile::~InputFile()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
}

const std::filesystem::path& InputFile::write(const std::uint8_t* data, std::size_t size)
{
    int descriptor = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (descriptor < 0)
        std::abort();
    std::size_t written = 0;
    while (written < size) {
        ssize_t count = ::write(descriptor, data + written, size - written);
        if (count <= 0)
            std::abort();
        written += static_cast<std::size_t>(count);
    }
    ::close(descriptor);
    return m_path;
}

RegularFile InputFile::open(const std::uint8_t* data, std::size_t size)
{
    auto file = RegularFile::open(write(data, size));
    if (!file)
        std::abort();
    return std::move(*file);
}

void checkValues(const MetadataDictionary& values, std::initializer_list<std::string_view> prefixes)
{
    for (const auto& [key, value] : values) {
        bool known = false;
        for (auto prefix : prefixes)
            known = known || std::string_view(key).starts_with(prefix);
        if (!known || value.find('\0') != std::string::npos)
            std::abort();
        checkText(value);
    }
}

void checkText(std::string_view text)
{
    if (!text::isValidUtf8(text))
        std::abort();
}

void checkContent(const Content& content)
{
    checkText(content.text);
    if (text::characterCount(content.text) > contentLimits::characters
        || content.labels.size() > contentLimits::labels)
        std::abort();
    checkValues(basicAIAnswer(content.text, content.labels, 12), { "ai." });
}

} // namespace sorvik::fuzzing
