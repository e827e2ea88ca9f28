#include "engine/pipeline/rule_file_data.h"

#include "engine/pipeline/token_parser.h"

namespace sorvik {

bool needsFileData(const RuleKind& kind)
{
    if (const auto* insert = std::get_if<InsertConfig>(&kind.config))
        return TokenParser::requiresMetadata(insert->text);
    if (const auto* pattern = std::get_if<PatternConfig>(&kind.config))
        return TokenParser::requiresMetadata(pattern->templateText);
    return std::holds_alternative<ListConfig>(kind.config)
        || std::holds_alternative<AIConfig>(kind.config)
        || std::holds_alternative<OrganizeConfig>(kind.config);
}

bool needsFileData(const Rule& rule)
{
    return rule.condition.has_value() || needsFileData(rule.kind);
}

} // namespace sorvik
