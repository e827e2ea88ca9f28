#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class RegexPattern;
U_NAMESPACE_END

namespace sorvik {

/// A compiled ICU regular expression over UTF-8 text. Expressions come from users (typed,
/// imported with a preset, run by a watch folder), so every match runs under a time limit
/// and a stack limit: an expression that runs out of either counts as not matching and
/// changes nothing. Copies share the compiled pattern; all members are const and safe to
/// call from several threads at once.
class Regex {
public:
    /// Compiles `pattern`; fails with `Error` (ICU's reason) when it does not compile.
    static Regex compile(std::string_view pattern, bool caseInsensitive = false);
    /// Compiles `pattern`, or nothing when it does not compile.
    static std::optional<Regex> tryCompile(std::string_view pattern, bool caseInsensitive = false);
    /// An expression that matches `text` literally.
    static Regex literal(std::string_view text, bool caseInsensitive = false);

    /// The pattern text that matches `text` literally.
    static std::string escapedPattern(std::string_view text);

    /// Whether the expression matches anywhere in the text.
    bool search(std::string_view text) const;

    enum class Occurrence { all, first, last };

    /// The text with matches replaced by the expansion of `replacementTemplate`: "$0" is the
    /// whole match, "$1"… a capture group (further digits are taken while they still name a
    /// group), a "$" not followed by a digit stands for itself, and "\" makes the next
    /// character literal. A match that runs out of time leaves the text unchanged.
    std::string replacing(std::string_view text, std::string_view replacementTemplate,
        Occurrence occurrence = Occurrence::all) const;

    /// Like `replacing`, but the replacement is inserted as it stands.
    std::string replacingLiterally(std::string_view text, std::string_view replacement,
        Occurrence occurrence = Occurrence::all) const;

    int captureGroupCount() const;

private:
    explicit Regex(std::shared_ptr<const icu::RegexPattern> pattern);

    std::string replace(std::string_view text, std::string_view replacement, bool expandTemplate,
        Occurrence occurrence) const;

    std::shared_ptr<const icu::RegexPattern> m_pattern;
};

} // namespace sorvik
