#pragma once

#include "engine/pipeline/rename_context.h"
#include "engine/pipeline/token_segment.h"

#include <string>
#include <string_view>

/// Turns parsed templates into text for one file. Literal text stands as written. A token is
/// resolved by its name: the built-in names draw on the name and extension the caller passes,
/// the file item, the run's counter and the context's "today"; names with a metadata prefix
/// draw on the file's metadata dictionary; any other name stays exactly as written, braces,
/// format and fallback included. A resolved token whose value is empty takes its fallback,
/// and every resolved value is cleaned so that it fits in a file name: "/" and ":" become
/// "-", and runs of white space become one space with none at either end.
///
/// Nothing here fails: a value that does not read as a date or number is kept as it is, and a
/// date pattern that ICU refuses gives an empty value, so the fallback applies. Parsed
/// templates and date formatters are kept per thread, so rendering the same template for
/// many files does the expensive work once.
namespace sorvik::TokenResolver {

/// The text of one segment for the file of `context`; `baseName` and `ext` stand for the
/// tokens "name" and "ext".
std::string resolve(const TokenSegment& segment, std::string_view baseName, std::string_view ext,
    const RenameContext& context);

/// Every segment of the parsed template resolved with the same name, extension and context,
/// joined with nothing between them. An empty template renders as an empty text.
std::string render(std::string_view templateText, const RenameContext& context,
    std::string_view baseName, std::string_view ext);

} // namespace sorvik::TokenResolver
