#include "app/rules/rule_titles.h"

#include "engine/model/rename_options.h"

#include <array>
#include <cstdint>
#include <variant>

namespace sorvik {

namespace {

    struct KindWords {
        std::string_view title;
        std::string_view symbolName;
    };

    // In the order of the kinds.
    constexpr std::array<KindWords, 14> kindWords { {
        { "Find & Replace", "textformat" },
        { "Remove Characters", "textformat" },
        { "Clean Up", "sparkles" },
        { "Change Case", "textformat" },
        { "Spaces", "textformat" },
        { "Insert Text", "textformat" },
        { "Numbering", "number" },
        { "Date", "calendar" },
        { "Pattern", "textformat" },
        { "Limit Length", "textformat" },
        { "Extension", "textformat" },
        { "Rename from List", "textformat" },
        { "AI Rename", "wand.and.stars" },
        { "Organize", "folder.badge.gearshape" },
    } };

    static_assert(kindWords.size() == std::variant_size_v<RuleKind::Config>);

    // The sum wraps around like the two's complement numbers it adds, without the undefined
    // overflow of a signed sum.
    std::int64_t wrappingSum(std::int64_t first, std::int64_t second)
    {
        return static_cast<std::int64_t>(
            static_cast<std::uint64_t>(first) + static_cast<std::uint64_t>(second));
    }

    struct Summary {
        std::string_view title;

        std::string operator()(const ReplaceConfig& config) const
        {
            return config.find + " \u2192 " + config.replacement;
        }
        std::string operator()(const CaseConfig& config) const
        {
            return config.pascal ? std::string("PascalCase") : std::string(rawValue(config.style));
        }
        std::string operator()(const InsertConfig& config) const { return config.text; }
        std::string operator()(const NumberingConfig& config) const
        {
            return std::to_string(config.start) + ", "
                + std::to_string(wrappingSum(config.start, config.step)) + "\u2026";
        }
        std::string operator()(const PatternConfig& config) const { return config.templateText; }
        template <class Config> std::string operator()(const Config&) const
        {
            return std::string(title);
        }
    };

} // namespace

std::string_view title(const RuleKind& kind) { return kindWords[kind.position()].title; }

std::string_view symbolName(const RuleKind& kind) { return kindWords[kind.position()].symbolName; }

std::string summary(const Rule& rule)
{
    return std::visit(Summary { title(rule.kind) }, rule.kind.config);
}

} // namespace sorvik
