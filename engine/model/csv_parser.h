#pragma once

#include "engine/model/error.h"

#include <string>
#include <string_view>
#include <vector>

// Reads the list of a rename-from-a-list rule: one column of new names, or two columns of an
// old name and a new name. The delimiter is "," or ";", whichever the first line holds more of
// (a tie, or neither, gives ","). Double quotes enclose a field that may hold the delimiter, line
// breaks and doubled quotes; fields are never trimmed. Blank lines, and lines whose fields are
// all empty, are dropped. Positions are user-perceived characters, so a quote or delimiter
// followed by a combining mark is ordinary text, and CR LF is one line break.
namespace sorvik::CSVParser {

/// The text is not a list of one or two columns with balanced quotes.
class ParseError : public Error {
public:
    ParseError();
};

/// One line of the list: one or two fields, in the order they appear.
using Record = std::vector<std::string>;

/// The records of the text, in order. Fails with `ParseError` when a quoted field is still
/// open at the end, when anything but the delimiter or a line break follows a closing quote,
/// when a record has three or more fields, or when the text is not valid UTF-8. Nothing is
/// returned in part.
std::vector<Record> parse(std::string_view text);

} // namespace sorvik::CSVParser
