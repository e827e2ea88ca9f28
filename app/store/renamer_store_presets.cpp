#include "app/store/renamer_store.h"

#include "app/store/json_files.h"
#include "app/store/preset_document.h"
#include "app/store/saved_session.h"
#include "app/store/stored_file.h"
#include "engine/model/text.h"

#include <exception>

namespace sorvik {

namespace {

    constexpr std::string_view presetsUnreadablePrefix
        = "Your presets could not be read when sorvik started, so they were left unchanged. ";

} // namespace

// ---- Presets ----

void RenamerStore::writePresets(const std::vector<Preset>& presets)
{
    // Saving is refused for good while the file stays; the reason says how to get out of it.
    if (m_presetsReadError)
        throw Error(std::string(presetsUnreadablePrefix) + *m_presetsReadError);
    JSONFiles::save(SavedPresets { 1, presets }, SavedPresets::fileName);
}

bool RenamerStore::replacePresets(std::vector<Preset> presets)
{
    auto failure = writeAndPublishPresets(std::move(presets));
    if (failure)
        setMessage(std::move(*failure));
    return !failure;
}

std::optional<std::string> RenamerStore::writeAndPublishPresets(std::vector<Preset> presets)
{
    try {
        writePresets(presets);
    } catch (const std::exception& error) {
        return std::string(error.what());
    }
    m_presets = std::move(presets);
    emit presetsChanged();
    return std::nullopt;
}

void RenamerStore::savePreset(std::string_view name, std::string symbol, std::string color)
{
    auto trimmed = text::trimmingWhitespaceAndNewlines(name);
    if (trimmed.empty())
        return;
    auto presets = m_presets;
    presets.emplace_back(std::string(trimmed), std::move(symbol), std::move(color), m_rules);
    if (replacePresets(std::move(presets)))
        setShowingSavePreset(false);
}

void RenamerStore::deletePreset(const Uuid& id)
{
    std::vector<Preset> presets;
    presets.reserve(m_presets.size());
    for (const auto& preset : m_presets) {
        if (preset.id != id)
            presets.push_back(preset);
    }
    replacePresets(std::move(presets));
}

void RenamerStore::exportPreset(const Preset& preset)
{
    if (!m_dialogs)
        return;
    auto destination = m_dialogs->chooseSaveLocation(
        PresetDocument::proposedFileName(preset), { PresetDocument::presetDocumentType() });
    if (!destination)
        return;
    try {
        StoredFile::writeAtomically(destination->path, PresetDocument::encode(preset));
    } catch (const std::exception& error) {
        setMessage(std::string(error.what()));
    }
}

void RenamerStore::importPresetWithPanel()
{
    if (!m_dialogs)
        return;
    auto chosen = m_dialogs->chooseFileToOpen(
        { PresetDocument::presetDocumentType(), PresetDocument::jsonDocumentType() });
    if (chosen)
        importPreset(*chosen);
}

void RenamerStore::importPreset(const FileURL& url)
{
    if (auto failure = addPresetFrom(url))
        setMessage(std::move(*failure));
}

void RenamerStore::importPresets(const std::vector<FileURL>& urls)
{
    std::string failures;
    for (const auto& url : urls) {
        auto failure = addPresetFrom(url);
        if (!failure)
            continue;
        if (!failures.empty())
            failures += '\n';
        failures += *failure;
    }
    if (failures.empty())
        return;
    setMessage(m_message ? *m_message + '\n' + failures : failures);
}

std::optional<std::string> RenamerStore::addPresetFrom(const FileURL& url)
{
    // Access to a single file is no grant of its own: a preset document can be read wherever
    // the user picked it.
    Preset imported;
    try {
        imported = PresetDocument::read(url);
    } catch (const std::exception& error) {
        return std::string(error.what());
    }
    auto presets = m_presets;
    presets.push_back(std::move(imported));
    return writeAndPublishPresets(std::move(presets));
}

} // namespace sorvik
