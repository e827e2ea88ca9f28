#include "engine/pipeline/token_segment.h"

#include "engine/model/text.h"

namespace sorvik {

namespace {

    bool equivalent(
        const std::optional<std::string>& first, const std::optional<std::string>& second)
    {
        if (!first || !second)
            return !first && !second;
        return text::canonicallyEqual(*first, *second);
    }

} // namespace

TokenSegment TokenSegment::literal(std::string text) { return { Literal { std::move(text) } }; }

TokenSegment TokenSegment::token(std::string name, std::optional<std::string> format,
    std::optional<std::string> fallback, std::string original)
{
    return { Token {
        std::move(name), std::move(format), std::move(fallback), std::move(original) } };
}

bool operator==(const TokenSegment& first, const TokenSegment& second)
{
    if (const auto* literal = first.asLiteral()) {
        const auto* other = second.asLiteral();
        return other && text::canonicallyEqual(literal->text, other->text);
    }
    const auto* token = first.asToken();
    const auto* other = second.asToken();
    return other && text::canonicallyEqual(token->name, other->name)
        && equivalent(token->format, other->format) && equivalent(token->fallback, other->fallback)
        && text::canonicallyEqual(token->original, other->original);
}

} // namespace sorvik
