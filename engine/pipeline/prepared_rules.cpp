#include "engine/pipeline/prepared_rules.h"

#include "engine/model/text.h"
#include "engine/pipeline/padded_number.h"
#include "engine/pipeline/rename_engine.h"
#include "engine/pipeline/token_resolver.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include <unicode/uchar.h>

namespace sorvik {

namespace {

    constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    constexpr std::array<std::pair<std::int64_t, std::string_view>, 13> romanNumerals { {
        { 1000, "M" },
        { 900, "CM" },
        { 500, "D" },
        { 400, "CD" },
        { 100, "C" },
        { 90, "XC" },
        { 50, "L" },
        { 40, "XL" },
        { 10, "X" },
        { 9, "IX" },
        { 5, "V" },
        { 4, "IV" },
        { 1, "I" },
    } };
    constexpr std::string_view defaultDateFormat = "yyyy-MM-dd";
    constexpr std::array<std::string_view, 4> aiFields { "title", "type", "date", "party" };
    constexpr std::array<std::string_view, 4> sharedAIKeys { "ai.title", "ai.type", "ai.date",
        "ai.party" };
    constexpr std::string_view aiJoiner = "_";
    constexpr char32_t combiningEnclosingKeycap = 0x20E3;
    constexpr char32_t variationSelector16 = 0xFE0F;

    /// The form in which texts are compared ignoring letter case: lower-cased and composed,
    /// so that canonically equivalent texts compare equal byte for byte.
    std::string folded(std::string_view value) { return text::nfc(text::lowercased(value)); }

    Regex::Occurrence regexOccurrence(Occurrence occurrence)
    {
        switch (occurrence) {
        case Occurrence::first:
            return Regex::Occurrence::first;
        case Occurrence::last:
            return Regex::Occurrence::last;
        case Occurrence::all:
            break;
        }
        return Regex::Occurrence::all;
    }

    /// Byte offset of the first occurrence of `needle` (literal, case-sensitive) that begins
    /// and ends between two characters, so that cutting or inserting there never splits one.
    std::optional<std::size_t> findWhole(std::string_view haystack, std::string_view needle)
    {
        if (needle.empty())
            return std::nullopt;
        auto found = haystack.find(needle);
        if (found == std::string_view::npos)
            return std::nullopt;
        if (text::isAscii(haystack) && haystack.find('\r') == std::string_view::npos)
            return found;
        auto boundaries = text::characterBoundaries(haystack);
        auto isBoundary = [&boundaries](std::size_t offset) {
            return std::binary_search(boundaries.begin(), boundaries.end(), offset);
        };
        for (; found != std::string_view::npos; found = haystack.find(needle, found + 1)) {
            if (isBoundary(found) && isBoundary(found + needle.size()))
                return found;
        }
        return std::nullopt;
    }

    /// A count from the settings as a number of characters: negative counts are none.
    std::size_t characterCountSetting(std::int64_t value)
    {
        return static_cast<std::size_t>(std::max<std::int64_t>(value, 0));
    }

    bool isEmojiCharacter(std::string_view character)
    {
        for (char32_t scalar : text::scalars(character)) {
            if (scalar == combiningEnclosingKeycap || scalar == variationSelector16
                || u_hasBinaryProperty(static_cast<UChar32>(scalar), UCHAR_EMOJI_PRESENTATION))
                return true;
        }
        return false;
    }

    void removeEmoji(std::string& name)
    {
        // No ASCII character is presented as an emoji by default.
        if (text::isAscii(name))
            return;
        std::string result;
        result.reserve(name.size());
        for (auto character : text::characters(name)) {
            if (!isEmojiCharacter(character))
                result.append(character);
        }
        name = std::move(result);
    }

    std::string alphaNumber(std::int64_t number)
    {
        std::int64_t remaining = std::max<std::int64_t>(number, 1);
        std::string letters;
        while (true) {
            letters.push_back(alphabet[static_cast<std::size_t>((remaining - 1) % 26)]);
            if (remaining <= 26)
                break;
            remaining = (remaining - 1) / 26;
        }
        std::reverse(letters.begin(), letters.end());
        return letters;
    }

    std::string romanNumber(std::int64_t number)
    {
        if (number < 1 || number > 3999)
            return std::to_string(number);
        std::string numerals;
        for (const auto& [value, numeral] : romanNumerals) {
            while (number >= value) {
                numerals.append(numeral);
                number -= value;
            }
        }
        return numerals;
    }

    /// The base name a list value gives: without its extension when it ends with the working
    /// one (ignoring letter case), so that a list may name files with or without it.
    std::string listedBaseName(std::string_view value, std::string_view ext)
    {
        if (ext.empty())
            return std::string(value);
        std::string ending = folded(std::string(".").append(ext));
        if (!folded(value).ends_with(ending))
            return std::string(value);
        return std::string(text::dropLast(value, text::characterCount(ext) + 1));
    }

    /// Runs the single-form transform over the working name with `options`. The working name
    /// stands as the last path component of a file beside the real one, so only its text
    /// after a "/" takes part; the extension never does.
    void transformWorkingName(
        std::string& name, const RenameOptions& options, const RenameContext& context)
    {
        if (auto slash = name.rfind('/'); slash != std::string::npos)
            name.erase(0, slash + 1);
        // The transform of nothing is nothing (no numbering or date is asked of it).
        if (name.empty())
            return;
        name = RenameEngine::transformBaseName(
            std::move(name), context.item, context.index, options, nullptr, nullptr);
    }

    /// The effect of one rule on the working name and extension.
    struct RuleStep {
        const PreparedRules& rules;
        std::size_t position;
        const PreparedRules::Preparation& preparation;
        const RenameContext& context;
        std::string& name;
        std::string& ext;

        void operator()(const ReplaceConfig& config) const
        {
            if (!preparation.find)
                return;
            auto occurrence = regexOccurrence(config.occurrence);
            if (config.scope != ReplaceScope::ext)
                name = preparation.find->replacing(name, config.replacement, occurrence);
            if (config.scope != ReplaceScope::name)
                ext = preparation.find->replacing(ext, config.replacement, occurrence);
        }

        void operator()(const RemoveConfig& config) const
        {
            if (config.first > 0)
                name = std::string(text::dropFirst(name, characterCountSetting(config.first)));
            if (config.last > 0)
                name = std::string(text::dropLast(name, characterCountSetting(config.last)));
            if (config.rangeStart < config.rangeEnd) {
                auto boundaries = text::characterBoundaries(name);
                auto count = static_cast<std::int64_t>(boundaries.size() - 1);
                auto start = std::min(std::max<std::int64_t>(config.rangeStart, 0), count);
                auto end = std::min(std::max(config.rangeEnd, start), count);
                auto from = boundaries[static_cast<std::size_t>(start)];
                name.erase(from, boundaries[static_cast<std::size_t>(end)] - from);
            }
            if (auto found = findWhole(name, config.before))
                name.erase(0, *found);
            if (auto found = findWhole(name, config.after))
                name.erase(*found + config.after.size());
        }

        void operator()(const CleanConfig& config) const
        {
            if (config.emoji)
                removeEmoji(name);
            RenameOptions options;
            options.removeWeird = config.weird;
            options.stripAccents = config.accents;
            options.removeDigits = config.digits;
            options.removeBrackets = config.brackets;
            options.tidy = config.tidy;
            transformWorkingName(name, options, context);
        }

        void operator()(const CaseConfig& config) const
        {
            if (!config.pascal) {
                RenameOptions options;
                options.caseStyle = config.style;
                transformWorkingName(name, options, context);
                return;
            }
            std::string joined;
            for (const auto& word : RenameEngine::splitWords(name))
                joined += text::capitalized(text::lowercased(word));
            name = std::move(joined);
        }

        void operator()(const SpaceConfig& config) const
        {
            RenameOptions options;
            options.spaceMode = config.mode;
            transformWorkingName(name, options, context);
        }

        void operator()(const InsertConfig& config) const
        {
            std::string inserted = TokenResolver::render(config.text, context, name, ext);
            switch (config.position) {
            case InsertPosition::prefix:
                name.insert(0, inserted);
                break;
            case InsertPosition::suffix:
                name.append(inserted);
                break;
            case InsertPosition::index: {
                auto boundaries = text::characterBoundaries(name);
                auto at = std::min(characterCountSetting(config.index), boundaries.size() - 1);
                name.insert(boundaries[at], inserted);
                break;
            }
            case InsertPosition::afterText:
                if (auto found = findWhole(name, config.marker))
                    name.insert(*found + config.marker.size(), inserted);
                break;
            }
        }

        void operator()(const NumberingConfig& config) const
        {
            std::int64_t ordinal = config.perFolder ? context.folderIndex : context.index;
            std::int64_t product = 0;
            std::int64_t number = 0;
            // A number beyond 64 bits cannot be written; the rule then leaves the name alone.
            if (__builtin_mul_overflow(ordinal, config.step, &product)
                || __builtin_add_overflow(config.start, product, &number))
                return;
            std::string numberText;
            switch (config.style) {
            case NumberStyle::decimal:
                numberText = RenamePipeline::paddedNumber(number, config.padding);
                break;
            case NumberStyle::alpha:
                numberText = alphaNumber(number);
                break;
            case NumberStyle::roman:
                numberText = romanNumber(number);
                break;
            }
            switch (config.placement) {
            case NumberPlacement::prefix:
                name.insert(0, numberText + config.separator);
                break;
            case NumberPlacement::suffix:
                name.append(config.separator).append(numberText);
                break;
            case NumberPlacement::replace:
                name = config.baseText.empty() ? numberText
                                               : config.baseText + config.separator + numberText;
                break;
            }
        }

        void operator()(const DateConfig& config) const
        {
            if (config.source == DateSource::none)
                return;
            std::string date = TokenResolver::render(preparation.dateTemplate, context, name, ext);
            if (config.placement == Placement::prefix)
                name = date + config.separator + name;
            else
                name = name + config.separator + date;
        }

        void operator()(const PatternConfig& config) const
        {
            name = TokenResolver::render(config.templateText, context, name, ext);
        }

        void operator()(const LimitConfig& config) const
        {
            auto kept = characterCountSetting(config.maxCharacters);
            name
                = std::string(config.keepEnd ? text::suffix(name, kept) : text::prefix(name, kept));
        }

        void operator()(const ExtConfig& config) const
        {
            switch (config.mode) {
            case ExtMode::keep:
                break;
            case ExtMode::lower:
                ext = text::lowercased(ext);
                break;
            case ExtMode::upper:
                ext = text::uppercased(ext);
                break;
            case ExtMode::change:
                ext = std::string(text::trimming(config.value, ". "));
                break;
            case ExtMode::remove:
                ext.clear();
                break;
            }
        }

        void operator()(const ListConfig& config) const
        {
            if (!preparation.listRows)
                return;
            const auto& listRows = *preparation.listRows;
            std::string_view value;
            if (!config.byName) {
                if (context.index < 0
                    || static_cast<std::uint64_t>(context.index) >= listRows.size())
                    return;
                const auto& row = listRows[static_cast<std::size_t>(context.index)];
                if (row.empty())
                    return;
                value = row.back();
            } else {
                auto found = rules.listRowMatching(position, context.item);
                if (!found)
                    return;
                value = listRows[*found][1];
            }
            name = listedBaseName(value, ext);
        }

        void operator()(const AIConfig& config) const
        {
            auto field = [this](std::size_t index) -> std::string_view {
                const auto& metadata = context.metadata;
                if (auto own = metadata.find(preparation.aiKeys[index]); own != metadata.end())
                    return own->second;
                if (auto shared = metadata.find(sharedAIKeys[index]); shared != metadata.end())
                    return shared->second;
                return {};
            };
            std::string_view title = field(0);
            if (title.empty())
                return;
            std::string_view date = config.includeDate ? field(2) : std::string_view();
            std::vector<std::string_view> parts;
            if (config.mode == AIMode::documents)
                parts = { date, field(1), field(3), title };
            else
                parts = { date, title };
            std::string joined;
            for (auto part : parts) {
                if (part.empty())
                    continue;
                if (!joined.empty())
                    joined.append(aiJoiner);
                joined.append(part);
            }
            name = std::move(joined);
        }

        void operator()(const OrganizeConfig&) const
        {
            // The subfolder is the pipeline's matter; the name stays as it is.
        }
    };

    PreparedRules::Preparation prepare(const Rule& rule)
    {
        PreparedRules::Preparation preparation;
        if (const auto* replace = std::get_if<ReplaceConfig>(&rule.kind.config)) {
            if (replace->find.empty())
                return preparation;
            bool caseInsensitive = !replace->caseSensitive;
            if (replace->regex) {
                preparation.find = Regex::tryCompile(replace->find, caseInsensitive);
                preparation.hasInvalidExpression = caseInsensitive
                    ? !Regex::tryCompile(replace->find).has_value()
                    : !preparation.find.has_value();
            } else {
                preparation.find
                    = Regex::tryCompile(Regex::escapedPattern(replace->find), caseInsensitive);
            }
        } else if (const auto* list = std::get_if<ListConfig>(&rule.kind.config)) {
            try {
                preparation.listRows = CSVParser::parse(list->text);
            } catch (const Error&) {
                return preparation;
            }
            if (!list->byName)
                return preparation;
            const auto& listRows = *preparation.listRows;
            for (std::size_t row = 0; row < listRows.size(); ++row) {
                if (listRows[row].size() == 2)
                    preparation.listRowByName.try_emplace(folded(listRows[row][0]), row);
            }
        } else if (const auto* date = std::get_if<DateConfig>(&rule.kind.config)) {
            std::string_view token = date->source == DateSource::modified ? "date.modified"
                : date->source == DateSource::created                     ? "date.created"
                                                                          : "today";
            std::string_view format = date->format.empty() ? defaultDateFormat : date->format;
            preparation.dateTemplate
                = std::string("{").append(token).append(":").append(format).append("}");
        } else if (std::holds_alternative<AIConfig>(rule.kind.config)) {
            std::string prefix = "ai." + rule.id.text() + ".";
            for (std::size_t index = 0; index < aiFields.size(); ++index)
                preparation.aiKeys[index] = prefix + std::string(aiFields[index]);
        }
        return preparation;
    }

} // namespace

PreparedRules::PreparedRules(std::vector<Rule> rules)
    : m_rules(std::move(rules))
{
    m_preparations.reserve(m_rules.size());
    for (const Rule& rule : m_rules) {
        m_preparations.push_back(prepare(rule));
        if (rule.isEnabled && std::holds_alternative<AIConfig>(rule.kind.config))
            m_hasEnabledAIRule = true;
    }
}

bool PreparedRules::applies(std::size_t position, const FileItem& item) const
{
    const Rule& rule = m_rules[position];
    return rule.isEnabled && (!rule.condition || rule.condition->matches(item));
}

std::optional<std::size_t> PreparedRules::listRowMatching(
    std::size_t position, const FileItem& item) const
{
    const auto& byName = m_preparations[position].listRowByName;
    std::string name = item.name();
    if (byName.empty() || !text::isValidUtf8(name))
        return std::nullopt;
    std::optional<std::size_t> first;
    for (const std::string& candidate : { name, item.baseName() }) {
        if (auto found = byName.find(folded(candidate)); found != byName.end())
            first = std::min(first.value_or(found->second), found->second);
    }
    return first;
}

std::string PreparedRules::apply(const RenameContext& context) const
{
    const FileItem& item = context.item;
    std::string name = item.name();
    if (!text::isValidUtf8(name))
        return name;
    std::string ext = item.isDirectory ? std::string() : extensionOfName(name);
    if (!ext.empty())
        name.resize(name.size() - ext.size() - 1);
    for (std::size_t position = 0; position < m_rules.size(); ++position) {
        if (!applies(position, item))
            continue;
        std::visit(RuleStep { *this, position, m_preparations[position], context, name, ext },
            m_rules[position].kind.config);
    }
    if (ext.empty())
        return name;
    name.push_back('.');
    name.append(ext);
    return name;
}

} // namespace sorvik
