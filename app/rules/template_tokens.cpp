#include "app/rules/template_tokens.h"

#include "app/rules/search_match.h"

namespace sorvik {

std::vector<std::string> matchingTokens(
    const std::vector<std::string>& tokens, std::string_view query)
{
    std::vector<std::string> result;
    for (const auto& token : tokens) {
        if (searchMatches(token, query))
            result.push_back(token);
    }
    return result;
}

std::string appendingToken(std::string_view templateText, std::string_view token)
{
    std::string result(templateText);
    result += '{';
    result += token;
    result += '}';
    return result;
}

std::vector<std::string> templateTokenList()
{
    return { templateTokens.begin(), templateTokens.end() };
}

} // namespace sorvik
