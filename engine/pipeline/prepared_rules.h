#pragma once

#include "engine/model/csv_parser.h"
#include "engine/model/regex.h"
#include "engine/model/rule.h"
#include "engine/pipeline/rename_context.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace sorvik {

/// A rule stack made ready for one run over many files, and the rule application itself.
///
/// Everything that depends only on the rules is done once, when the stack is prepared: find
/// texts are compiled into expressions, list texts parsed and indexed by old name, the date
/// rule's template and the keys of each AI rule's own answers spelled out. `apply` then runs
/// the stack over one file's name, rule after rule, each seeing the result of those before.
/// A rule whose work cannot be done (a pattern that does not compile, a list without a
/// matching row, numbering that overflows, an AI rule without a title) has no effect; the
/// row blockers report those problems on the row. A name that is not valid UTF-8 is never
/// run through a rule: text operations cannot represent it.
class PreparedRules {
public:
    /// What one rule of the stack needs at run time besides its settings.
    struct Preparation {
        /// Replace: the expression that finds what to replace; nothing when `find` is empty or
        /// does not compile.
        std::optional<Regex> find;
        /// Replace with `regex` on: `find` does not compile as an expression without options.
        bool hasInvalidExpression = false;
        /// List: the parsed rows; nothing when the text does not parse.
        std::optional<std::vector<CSVParser::Record>> listRows;
        /// List by name: the position of the first two-field row for each old name, keyed by
        /// the name lower-cased and composed.
        std::unordered_map<std::string, std::size_t> listRowByName;
        /// Date: the token template that draws the date.
        std::string dateTemplate;
        /// AI rename: the rule's own keys for the title, type, date and party.
        std::array<std::string, 4> aiKeys;
    };

    explicit PreparedRules(std::vector<Rule> rules);

    const std::vector<Rule>& rules() const { return m_rules; }
    const Preparation& preparation(std::size_t position) const { return m_preparations[position]; }

    /// Whether the rule at `position` takes part for the item: it is enabled, and its
    /// condition group, when it has one, holds.
    bool applies(std::size_t position, const FileItem& item) const;

    /// Whether some rule of the stack is an enabled AI rename rule, whatever its condition.
    bool hasEnabledAIRule() const { return m_hasEnabledAIRule; }

    /// The first two-field row of the list rule at `position` whose first field equals,
    /// ignoring letter case, the item's name on disk or that name without its extension;
    /// nothing when no row does or the list does not parse.
    std::optional<std::size_t> listRowMatching(std::size_t position, const FileItem& item) const;

    /// The new full file name of the context's file: its base name and extension run through
    /// every rule that applies, in stack order, then joined with "." unless the extension
    /// ended up empty.
    std::string apply(const RenameContext& context) const;

private:
    std::vector<Rule> m_rules;
    std::vector<Preparation> m_preparations;
    bool m_hasEnabledAIRule = false;
};

} // namespace sorvik
