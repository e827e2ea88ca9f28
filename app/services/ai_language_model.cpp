#include "app/services/ai_language_model.h"

#include "app/services/content_extractor.h"
#include "app/services/content_text.h"
#include "app/services/title_cleaner.h"
#include "engine/model/error.h"
#include "engine/model/json.h"

#include <algorithm>

namespace sorvik {

void to_json(nlohmann::json& json, const GeneratedFileName& name)
{
    json = nlohmann::json {
        { "title", name.title },
        { "type", name.type },
        { "date", name.date },
        { "party", name.party },
    };
}

void from_json(const nlohmann::json& json, GeneratedFileName& name)
{
    name.title = json::field<std::string>(json, "title");
    name.type = json::field<std::string>(json, "type");
    name.date = json::field<std::string>(json, "date");
    name.party = json::field<std::string>(json, "party");
}

std::string fileNamePrompt::prompt(AIMode mode, std::int64_t maxWords, std::string_view text,
    const std::vector<std::string>& labels)
{
    std::string result = "Mode: ";
    result += caseName(mode);
    result += ". Maximum title words: ";
    result += std::to_string(std::clamp<std::int64_t>(maxWords, 1, maximumTitleWords));
    result += ". Content: ";
    result += contentText::prefixCharacters(text, contentLimits::characters);
    result += "\nImage labels: ";
    for (std::size_t index = 0; index < labels.size(); ++index) {
        if (index > 0)
            result += ", ";
        result += labels[index];
    }
    return result;
}

namespace {

    class UnavailableLanguageModel : public LanguageModel {
    public:
        bool isAvailable() const override { return false; }
        GeneratedFileName generateFileName(std::string_view, std::string_view) override
        {
            throw Error("No language model is available on this computer.");
        }
    };

} // namespace

std::unique_ptr<LanguageModel> LanguageModel::platformDefault()
{
    return std::make_unique<UnavailableLanguageModel>();
}

} // namespace sorvik
