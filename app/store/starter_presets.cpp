#include "app/store/starter_presets.h"

#include "engine/model/rule_configs.h"

#include <string>
#include <utility>

namespace sorvik {

namespace {

    constexpr const char* starterColor = "3478F6";

    Preset starter(std::string name, std::string symbol, std::vector<RuleKind> kinds)
    {
        std::vector<Rule> rules;
        rules.reserve(kinds.size());
        for (auto& kind : kinds)
            rules.emplace_back(std::move(kind));
        return Preset(std::move(name), std::move(symbol), starterColor, std::move(rules));
    }

    CleanConfig clean(bool weird, bool accents, bool digits, bool brackets, bool emoji, bool tidy)
    {
        return CleanConfig { weird, accents, digits, brackets, emoji, tidy };
    }

    NumberingConfig numbering(NumberPlacement placement, std::string baseText)
    {
        return NumberingConfig { placement, 1, 1, 3, "_", std::move(baseText), false,
            NumberStyle::decimal };
    }

} // namespace

std::vector<Preset> starterPresets()
{
    std::vector<Preset> presets;
    presets.reserve(10);
    presets.push_back(
        starter("AI: Documents", "doc.text", { AIConfig { AIMode::documents, 6, true } }));
    presets.push_back(starter("AI: Photos", "photo", { AIConfig { AIMode::photos, 6, true } }));
    presets.push_back(starter("Clean Downloads", "sparkles",
        { clean(true, true, false, false, false, true), SpaceConfig { SpaceMode::dash } }));
    presets.push_back(starter(
        "Photos by Date", "camera", { PatternConfig { "{exif.date:yyyy-MM-dd|Undated}_{name}" } }));
    presets.push_back(starter("Lowercase & dashes", "textformat",
        { CaseConfig { CaseStyle::lower, false }, SpaceConfig { SpaceMode::dash } }));
    presets.push_back(
        starter("Number sequence", "number", { numbering(NumberPlacement::replace, "File") }));
    presets.push_back(starter("Music Library", "music.note",
        { PatternConfig { "{audio.artist|Unknown}_{audio.album|Album}_{audio.track:2|00}_{audio."
                          "title|Track}" } }));
    presets.push_back(starter("PDF Titles", "doc", { PatternConfig { "{pdf.title|Untitled}" } }));
    presets.push_back(starter("Web filenames", "globe",
        { clean(false, true, false, false, false, true), CaseConfig { CaseStyle::kebab, false },
            ExtConfig { ExtMode::lower, "" } }));
    presets.push_back(starter("Date and sequence", "calendar",
        { DateConfig { DateSource::modified, "yyyy-MM-dd", Placement::prefix, "_" },
            numbering(NumberPlacement::suffix, "") }));
    return presets;
}

} // namespace sorvik
