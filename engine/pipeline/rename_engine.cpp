#include "engine/pipeline/rename_engine.h"

#include "engine/model/text.h"
#include "engine/pipeline/padded_number.h"

#include <limits>
#include <map>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include <sys/stat.h>
#include <unicode/uchar.h>

namespace sorvik::RenameEngine {

namespace {

    constexpr std::string_view bracketPattern = "\\s*[\\(\\[\\{][^\\)\\]\\}]*[\\)\\]\\}]";
    // Tidying reduces every run of two or more equal characters of this set to one (the
    // expression "([ _\\-.])\\1+" replaced by "$1").
    constexpr std::string_view tidyRunSet = " _-.";
    constexpr std::string_view tidyTrimSet = " _-.";
    // The single-form number keeps every zero its padding asks for, also past the name length
    // limit, so that validation reports such a name as too long. Only a run longer than any
    // path can be is not built: the name is refused as too long either way.
    constexpr std::int64_t longestNumberWidth = 4096;

    const Regex& bracketRegex()
    {
        static const Regex regex = Regex::compile(bracketPattern);
        return regex;
    }

    /// Literal find expressions, compiled once per thread and text.
    const Regex& literalRegex(const std::string& find, bool caseInsensitive)
    {
        thread_local std::map<std::pair<std::string, bool>, Regex> cache;
        auto key = std::make_pair(find, caseInsensitive);
        auto found = cache.find(key);
        if (found != cache.end())
            return found->second;
        if (cache.size() > 64)
            cache.clear();
        return cache.emplace(key, Regex::literal(find, caseInsensitive)).first->second;
    }

    std::string changedExtension(std::string_view newExt)
    {
        std::string_view trimmed = text::trimming(newExt, " \t");
        if (!trimmed.empty() && trimmed.front() == '.')
            trimmed.remove_prefix(1);
        return std::string(trimmed);
    }

    void lowercaseAsciiInPlace(std::string& bytes)
    {
        for (char& character : bytes) {
            if (character >= 'A' && character <= 'Z')
                character = static_cast<char>(character - 'A' + 'a');
        }
    }

    /// The runs of the tidy set reduced. Its characters are ASCII, so working on bytes gives
    /// the same as working on code points, for any UTF-8 text, at a fraction of the cost.
    std::string reducedRuns(std::string_view text)
    {
        std::string result;
        result.reserve(text.size());
        for (char character : text) {
            if (!result.empty() && result.back() == character
                && tidyRunSet.find(character) != std::string_view::npos)
                continue;
            result.push_back(character);
        }
        return result;
    }

    std::string capitalizedWord(std::string_view word)
    {
        return text::capitalized(text::lowercased(word));
    }

} // namespace

std::string transformBaseName(std::string base, const FileItem& item, std::int64_t index,
    const RenameOptions& options, const Regex* regex, const DateFormatter* dateFormatter)
{
    if (!options.find.empty()) {
        if (options.useRegex) {
            if (regex)
                base = regex->replacing(base, options.replaceWith);
        } else {
            base = literalRegex(options.find, !options.caseSensitive)
                       .replacingLiterally(base, options.replaceWith);
        }
    }
    if (options.removeFirst >= 1)
        base = std::string(text::dropFirst(base, static_cast<std::size_t>(options.removeFirst)));
    if (options.removeLast >= 1)
        base = std::string(text::dropLast(base, static_cast<std::size_t>(options.removeLast)));
    if (options.removeBrackets)
        base = bracketRegex().replacingLiterally(base, "");
    if (options.stripAccents)
        base = text::foldingDiacriticsAndWidth(base);
    if (options.removeDigits)
        base = removeDigits(base);
    if (options.removeWeird)
        base = keepAllowed(base, isPlainNameCharacter);
    if (options.caseStyle != CaseStyle::keep)
        base = applyCase(options.caseStyle, base);

    switch (options.spaceMode) {
    case SpaceMode::keep:
        break;
    case SpaceMode::remove:
        base = text::replacingAll(base, " ", "");
        break;
    case SpaceMode::underscore:
        base = text::replacingAll(base, " ", "_");
        break;
    case SpaceMode::dash:
        base = text::replacingAll(base, " ", "-");
        break;
    case SpaceMode::dot:
        base = text::replacingAll(base, " ", ".");
        break;
    }

    if (options.tidy || options.removeWeird || options.removeDigits || options.removeBrackets) {
        base = reducedRuns(base);
        std::string_view trimmed = text::trimming(base, tidyTrimSet);
        if (trimmed.size() != base.size())
            base = std::string(trimmed);
    }

    if (options.numberOn) {
        // An index whose number does not fit in 64 bits gets no number at all.
        std::int64_t product = 0;
        std::int64_t number = 0;
        if (!__builtin_mul_overflow(index, options.numberStep, &product)
            && !__builtin_add_overflow(options.numberStart, product, &number)) {
            std::string numberString
                = RenamePipeline::paddedNumber(number, options.numberPadding, longestNumberWidth);
            switch (options.numberPlacement) {
            case NumberPlacement::prefix:
                base = numberString + options.numberSeparator + base;
                break;
            case NumberPlacement::suffix:
                base = base + options.numberSeparator + numberString;
                break;
            case NumberPlacement::replace:
                base = options.numberBaseText.empty()
                    ? numberString
                    : options.numberBaseText + options.numberSeparator + numberString;
                break;
            }
        }
    }

    if (options.dateSource != DateSource::none && dateFormatter) {
        Date date = options.dateSource == DateSource::modified ? item.modified
            : options.dateSource == DateSource::created        ? item.created
                                                               : Date::now();
        std::string dateText = dateFormatter->format(date).value_or("");
        dateText = text::replacingAll(text::replacingAll(dateText, "/", "-"), ":", "-");
        if (options.datePlacement == Placement::prefix)
            base = dateText + options.dateSeparator + base;
        else
            base = base + options.dateSeparator + dateText;
    }

    if (options.prefix.empty() && options.suffix.empty())
        return base;
    return options.prefix + base + options.suffix;
}

std::string transform(const FileItem& item, std::int64_t index, const RenameOptions& options,
    const Regex* regex, const DateFormatter* dateFormatter)
{
    std::string base
        = transformBaseName(item.baseName(), item, index, options, regex, dateFormatter);
    std::string ext = item.ext();
    switch (options.extMode) {
    case ExtMode::keep:
        break;
    case ExtMode::lower:
        ext = text::lowercased(ext);
        break;
    case ExtMode::upper:
        ext = text::uppercased(ext);
        break;
    case ExtMode::change:
        ext = changedExtension(options.newExt);
        break;
    case ExtMode::remove:
        ext.clear();
        break;
    }
    return ext.empty() ? base : base + "." + ext;
}

std::vector<std::string> splitWords(std::string_view input)
{
    std::vector<std::string> words;
    std::string current;
    std::string_view previous;
    for (auto character : text::characters(input)) {
        bool isLetter = text::isLetter(character);
        bool isNumber = text::isNumber(character);
        if (!isLetter && !isNumber) {
            if (!current.empty())
                words.push_back(std::move(current));
            current.clear();
            previous = character;
            continue;
        }
        if (!current.empty()) {
            bool previousIsLetter = text::isLetter(previous);
            bool previousIsNumber = text::isNumber(previous);
            bool startsWord = (text::isLowercase(previous) && text::isUppercase(character))
                || (previousIsLetter && isNumber) || (previousIsNumber && isLetter);
            if (startsWord) {
                words.push_back(std::move(current));
                current.clear();
            }
        }
        current.append(character);
        previous = character;
    }
    if (!current.empty())
        words.push_back(std::move(current));
    return words;
}

std::string applyCase(CaseStyle style, std::string_view input)
{
    switch (style) {
    case CaseStyle::keep:
        return std::string(input);
    case CaseStyle::lower:
        return text::lowercased(input);
    case CaseStyle::upper:
        return text::uppercased(input);
    case CaseStyle::title:
        return text::capitalized(input);
    case CaseStyle::sentence: {
        std::string lowered = text::lowercased(input);
        std::string result;
        result.reserve(lowered.size());
        bool done = false;
        for (auto character : text::characters(lowered)) {
            if (!done && text::isLetter(character)) {
                result += text::uppercased(character);
                done = true;
            } else {
                result.append(character);
            }
        }
        return result;
    }
    case CaseStyle::camel: {
        auto words = splitWords(input);
        if (words.empty())
            return std::string(input);
        std::string result = text::lowercased(words.front());
        for (std::size_t index = 1; index < words.size(); ++index)
            result += capitalizedWord(words[index]);
        return result;
    }
    case CaseStyle::snake:
    case CaseStyle::kebab: {
        std::string separator = style == CaseStyle::snake ? "_" : "-";
        std::string result;
        for (const auto& word : splitWords(input)) {
            if (!result.empty())
                result += separator;
            result += text::lowercased(word);
        }
        return result;
    }
    }
    return std::string(input);
}

std::string removeDigits(std::string_view input)
{
    return keepAllowed(input, [](char32_t scalar) {
        return u_charType(static_cast<UChar32>(scalar)) != U_DECIMAL_DIGIT_NUMBER;
    });
}

std::string keepAllowed(std::string_view input, const std::function<bool(char32_t)>& isAllowed)
{
    std::string result;
    result.reserve(input.size());
    for (char32_t scalar : text::scalars(input)) {
        if (isAllowed(scalar))
            text::appendScalar(result, scalar);
    }
    return result;
}

bool isPlainNameCharacter(char32_t scalar)
{
    switch (scalar) {
    case U' ':
    case U'-':
    case U'_':
    case U'.':
    case U'(':
    case U')':
        return true;
    default:
        break;
    }
    auto category = U_GET_GC_MASK(static_cast<UChar32>(scalar));
    return (category & (U_GC_L_MASK | U_GC_M_MASK | U_GC_ND_MASK)) != 0;
}

Regex makeRegex(std::string_view pattern, bool caseInsensitive)
{
    return Regex::compile(pattern, caseInsensitive);
}

std::optional<std::string> validate(std::string_view name)
{
    if (name.empty() || name == "." || name == "..")
        return std::string(emptyNameReason);
    if (name.find('/') != std::string_view::npos || name.find(':') != std::string_view::npos)
        return std::string(forbiddenCharacterReason);
    // A name sorvik cannot represent as text, or one holding U+0000 (which no file system
    // call can carry), is never written.
    if (name.find('\0') != std::string_view::npos || !text::isValidUtf8(name))
        return std::string(invalidCharacterReason);
    if (name.size() > 255)
        return std::string(nameTooLongReason);
    if (name.front() == '.')
        return std::string(hiddenNameReason);
    return std::nullopt;
}

std::string collisionKey(const FileURL& url)
{
    std::string path = url.standardized().path;
    // Bytes that are not UTF-8 have no case but their ASCII letters.
    if (text::isAscii(path) || !text::isValidUtf8(path)) {
        lowercaseAsciiInPlace(path);
        return path;
    }
    return text::lowercased(path);
}

bool localFileExists(const FileURL& url)
{
    struct stat status { };
    return ::lstat(url.path.c_str(), &status) == 0;
}

bool localIsSameFile(const FileURL& first, const FileURL& second)
{
    struct stat firstStatus { };
    struct stat secondStatus { };
    if (::lstat(first.path.c_str(), &firstStatus) != 0
        || ::lstat(second.path.c_str(), &secondStatus) != 0)
        return false;
    return firstStatus.st_dev == secondStatus.st_dev && firstStatus.st_ino == secondStatus.st_ino;
}

std::vector<PreviewRow> preview(const std::vector<FileItem>& items, const RenameOptions& options,
    const std::function<bool(const FileURL&)>& fileExists,
    const std::function<bool(const FileURL&, const FileURL&)>& isSameFile)
{
    DateFormatter dateFormatter(options.dateFormat.empty() ? "yyyy-MM-dd" : options.dateFormat);
    std::optional<Regex> regex;
    if (options.useRegex && !options.find.empty())
        regex = Regex::tryCompile(options.find, !options.caseSensitive);

    std::vector<std::string> newNames;
    newNames.reserve(items.size());
    std::int64_t seen = 0;
    std::unordered_map<std::string, std::int64_t> seenInFolder;
    for (const auto& item : items) {
        if (!item.included) {
            newNames.push_back(item.name());
            continue;
        }
        std::int64_t index = seen;
        if (options.numberPerFolder)
            index = seenInFolder[item.folderURL().path]++;
        ++seen;
        // A name that is not UTF-8 is never run through text operations; it stays as it is
        // and validation turns the row away.
        if (!text::isValidUtf8(item.name())) {
            newNames.push_back(item.name());
            continue;
        }
        newNames.push_back(
            transform(item, index, options, regex ? &*regex : nullptr, &dateFormatter));
    }

    // A target that is another row's source is free once the batch has moved that file
    // away. One that only differs from a source in letter case is that source only where the
    // volume ignores case: there it is the same file, elsewhere another one.
    std::unordered_set<std::string> sourcePaths;
    std::unordered_map<std::string, std::size_t> sourceKeys;
    std::unordered_map<std::string, int> targetCounts;
    std::vector<FileURL> targets;
    targets.reserve(items.size());
    for (std::size_t position = 0; position < items.size(); ++position) {
        targets.push_back(items[position].folderURL().appending(newNames[position]));
        if (!items[position].included)
            continue;
        sourcePaths.insert(items[position].url.standardized().path);
        sourceKeys.emplace(collisionKey(items[position].url), position);
        ++targetCounts[collisionKey(targets.back())];
    }
    auto isTaken = [&](const FileURL& target, const std::string& targetKey) {
        if (sourcePaths.contains(target.standardized().path) || !fileExists(target))
            return false;
        auto source = sourceKeys.find(targetKey);
        return source == sourceKeys.end() || !isSameFile(target, items[source->second].url);
    };

    std::vector<PreviewRow> rows;
    rows.reserve(items.size());
    for (std::size_t position = 0; position < items.size(); ++position) {
        const FileItem& item = items[position];
        const std::string& newName = newNames[position];
        const FileURL& target = targets[position];
        auto status = [&]() -> RenameStatus {
            if (!item.included)
                return RenameStatus::skipped();
            if (auto reason = validate(newName))
                return RenameStatus::invalid(*reason);
            std::string targetKey = collisionKey(target);
            if (targetCounts[targetKey] > 1)
                return RenameStatus::conflict(std::string(duplicateNameReason));
            if (text::canonicallyEqual(newName, item.name()))
                return RenameStatus::unchanged();
            if (targetKey == collisionKey(item.url)) {
                // A change of letter case only. On a case-sensitive volume another file may
                // hold the new spelling; only the file itself, or nothing, may be there.
                if (fileExists(target) && !isSameFile(target, item.url))
                    return RenameStatus::conflict(std::string(fileExistsReason));
                return RenameStatus::ready();
            }
            if (isTaken(target, targetKey))
                return RenameStatus::conflict(std::string(fileExistsReason));
            return RenameStatus::ready();
        }();
        rows.emplace_back(item, newName, std::move(status), target);
    }
    return rows;
}

} // namespace sorvik::RenameEngine
