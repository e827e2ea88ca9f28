#include "app/store/preset_document.h"

#include "app/store/file_error.h"
#include "app/store/saved_session.h"
#include "app/store/stored_file.h"
#include "app/store/stored_file_error.h"
#include "engine/model/json.h"
#include "engine/model/text.h"

namespace sorvik::PresetDocument {

const DocumentType& presetDocumentType()
{
    static const DocumentType type { "app.sorvik.mac.preset", "application/x-sorvik-preset",
        std::string(fileExtension) };
    return type;
}

const DocumentType& jsonDocumentType()
{
    static const DocumentType type { "public.json", "application/json", "json" };
    return type;
}

std::string proposedFileName(const Preset& preset)
{
    return preset.name + "." + std::string(fileExtension);
}

std::string encode(const Preset& preset)
{
    json::Json document;
    try {
        document = preset;
    } catch (const nlohmann::json::exception&) {
        throw Error("The preset \u201C" + text::fromUnicode(text::toUnicode(preset.name))
            + "\u201D couldn\u2019t be written as a document.");
    }
    return json::serialize(document);
}

std::string readBytes(const std::filesystem::path& path, std::int64_t limit)
{
    return StoredFile::read(path, limit);
}

Preset read(const FileURL& url)
{
    auto bytes = readBytes(url.path);
    Preset preset;
    try {
        preset = json::decode<Preset>(StoredFile::parseJSON(bytes));
    } catch (const std::exception&) {
        // The user's own document: what is wrong with it is all there is to say.
        StoredFile::rethrowUnreadable(url.path, {});
    }
    if (preset.schemaVersion != 1)
        throw FileError::withCode(FileError::Code::fileReadCorruptFile, url.path);

    preset.id = Uuid::random();
    preset.isBuiltIn = false;
    makeRuleIDsUnique(preset.rules);
    return preset;
}

} // namespace sorvik::PresetDocument
