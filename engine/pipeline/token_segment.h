#pragma once

#include <optional>
#include <string>
#include <variant>

namespace sorvik {

/// One piece of a parsed token template: literal text, or one braced token.
struct TokenSegment {
    /// Text copied into the result unchanged.
    struct Literal {
        std::string text;
    };

    /// One braced token: `name` before the first ":" of the head, `format` after it (absent
    /// without a ":"), `fallback` after the first "|" of the braced text (absent without a
    /// "|"), and `original`, the token exactly as written, braces included.
    struct Token {
        std::string name;
        std::optional<std::string> format;
        std::optional<std::string> fallback;
        std::string original;
    };

    std::variant<Literal, Token> value;

    static TokenSegment literal(std::string text);
    static TokenSegment token(std::string name, std::optional<std::string> format,
        std::optional<std::string> fallback, std::string original);

    /// The literal's text, or nothing for a token.
    const Literal* asLiteral() const { return std::get_if<Literal>(&value); }
    /// The token, or nothing for a literal.
    const Token* asToken() const { return std::get_if<Token>(&value); }

    /// Same case, and every text canonically equivalent (an absent format or fallback equals
    /// only an absent one).
    friend bool operator==(const TokenSegment& first, const TokenSegment& second);
};

} // namespace sorvik
