#include "engine/model/csv_parser.h"

#include "engine/model/text.h"

#include <algorithm>

namespace sorvik::CSVParser {

ParseError::ParseError()
    : Error("Invalid CSV. Use one or two columns and balanced quotes.")
{
}

namespace {

    enum class Symbol { quote, semicolon, comma, lineFeed, carriageReturn, lineBreakPair, other };

    Symbol classifyAscii(char character)
    {
        switch (character) {
        case '"':
            return Symbol::quote;
        case ';':
            return Symbol::semicolon;
        case ',':
            return Symbol::comma;
        case '\n':
            return Symbol::lineFeed;
        case '\r':
            return Symbol::carriageReturn;
        default:
            return Symbol::other;
        }
    }

    /// What one character means to the parser. Characters are compared by canonical
    /// equivalence, so a character whose decomposition is ";" (U+037E) counts as a semicolon.
    Symbol classify(std::string_view character)
    {
        if (character.size() == 1)
            return classifyAscii(character.front());
        if (character == "\r\n")
            return Symbol::lineBreakPair;
        if (text::isAscii(character))
            return Symbol::other;
        std::string decomposed = text::nfd(character);
        if (decomposed.size() == 1)
            return classifyAscii(decomposed.front());
        return Symbol::other;
    }

    bool isLineBreak(Symbol symbol)
    {
        return symbol == Symbol::lineFeed || symbol == Symbol::carriageReturn
            || symbol == Symbol::lineBreakPair;
    }

    bool hasText(const Record& record)
    {
        return std::any_of(
            record.begin(), record.end(), [](const std::string& field) { return !field.empty(); });
    }

} // namespace

std::vector<Record> parse(std::string_view input)
{
    if (!text::isValidUtf8(input))
        throw ParseError();
    auto characters = text::characters(input);
    std::vector<Symbol> symbols;
    symbols.reserve(characters.size());
    for (std::string_view character : characters)
        symbols.push_back(classify(character));

    std::size_t start = 0;
    if (!characters.empty() && characters.front() == "\xEF\xBB\xBF")
        start = 1;

    std::size_t semicolons = 0;
    std::size_t commas = 0;
    for (std::size_t index = start; index < symbols.size() && !isLineBreak(symbols[index]);
         ++index) {
        semicolons += symbols[index] == Symbol::semicolon;
        commas += symbols[index] == Symbol::comma;
    }
    const Symbol delimiter = semicolons > commas ? Symbol::semicolon : Symbol::comma;

    std::vector<Record> records;
    Record record;
    std::string field;
    bool insideQuotes = false;
    bool justClosed = false;

    auto finishRecord = [&] {
        record.push_back(std::move(field));
        field.clear();
        if (hasText(record)) {
            if (record.size() > 2)
                throw ParseError();
            records.push_back(std::move(record));
        }
        record.clear();
    };

    for (std::size_t index = start; index < characters.size(); ++index) {
        Symbol symbol = symbols[index];
        if (insideQuotes) {
            if (symbol != Symbol::quote) {
                field += characters[index];
                continue;
            }
            if (index + 1 < characters.size() && symbols[index + 1] == Symbol::quote) {
                field += '"';
                ++index;
                continue;
            }
            insideQuotes = false;
            justClosed = true;
            continue;
        }
        if (symbol == Symbol::quote && field.empty() && !justClosed) {
            insideQuotes = true;
            continue;
        }
        if (symbol == delimiter) {
            record.push_back(std::move(field));
            field.clear();
            justClosed = false;
            continue;
        }
        if (isLineBreak(symbol)) {
            if (symbol == Symbol::carriageReturn && index + 1 < characters.size()
                && symbols[index + 1] == Symbol::lineFeed)
                ++index;
            finishRecord();
            justClosed = false;
            continue;
        }
        if (justClosed)
            throw ParseError();
        field += characters[index];
    }
    if (insideQuotes)
        throw ParseError();
    finishRecord();
    return records;
}

} // namespace sorvik::CSVParser
