#pragma once

#include "engine/model/file_url.h"

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The actions sorvik offers to scripts, as commands of the `sorvik` program:
//   open     "Open in sorvik": adds the files to the window, through the window program (which
//            is started when none runs); files that have no local path are left out;
//   rename   "Rename files with preset": plans the files' new names with a saved preset and
//            prints them; moves the files only with --apply (preview only by default);
//   presets  "Get rename presets": the id and name of every saved preset, in stored order;
//   grant    grants folders, as the window's folder dialog does; renaming needs a grant;
//   grants   the granted folders; those that could not be found are named on standard error.
// Presets are read from "presets.json" on every run, never from the window's memory; a
// command reads only the files it needs. Paths are taken as given (relative ones against the
// current folder) or as file:// URLs; any other URL is refused. A command prints its result on
// standard output and ends with status 0; a failure prints the error's text on standard error
// (a refused batch adds one line per blocked file with its reason) and ends with 1; a command
// line that cannot be understood prints a short usage and ends with 2. SIGINT, SIGTERM or
// SIGHUP (`StopSignals`) never cut a command short in the middle: `rename --apply` drops its
// batch with nothing renamed until the first file moves, and finishes it after; any other
// command stops before it begins or finishes. Either is reported on standard error, and the
// command ends with 128 + the signal's number. Names are printed one per line, escaped where
// they hold a line break or bytes that are not UTF-8 (`printable`).
namespace sorvik::CommandLine {

inline constexpr int success = 0;
inline constexpr int failure = 1;
inline constexpr int usageError = 2;

/// The most names a rename prints.
inline constexpr std::size_t listedNameLimit = 100;

/// The short description of every command.
std::string usage();

/// Whether `name`, the first argument, is a command that runs here without a window: rename,
/// presets, grant, grants, or a request for the usage.
bool isCommand(std::string_view name);

/// Prints `problem` and the usage on `err`, as every command line that cannot be understood
/// does, and returns `usageError`.
int reportUsageError(std::string_view problem, std::ostream& err);

/// The files of `sorvik open [--] [FILE…]` ("Open in sorvik"), given the arguments after
/// "open": in order, as `fileURL` reads them, leaving out every argument that names no local
/// file. Fails with `Error`, whose text is the problem to report, for an option.
std::vector<FileURL> openFiles(
    const std::vector<std::string>& arguments, const std::filesystem::path& currentFolder);

/// The file URL an argument names: an absolute path, a path relative to `currentFolder`, or
/// a "file://" URL; nothing for any other URL. Fails with `Error` for a file URL that no file
/// can have (one holding "%00").
std::optional<FileURL> fileURL(
    std::string_view argument, const std::filesystem::path& currentFolder);

/// A name or path as the commands print it, so that one line is always one name: control
/// characters (C0, DEL, C1, U+2028, U+2029) are escaped ("\n", "\t", "\r", "\xHH",
/// "\uHHHH"), bytes that are not UTF-8 show as "\xHH", and a backslash is doubled.
std::string printable(std::string_view name);

/// Runs the command in `arguments` (the program's arguments after its name) and returns the
/// exit status. At least one argument is expected. Before a command runs, the files of
/// renames that a killed sorvik left half done are put back; any it could not put back are
/// reported on `err`.
int run(const std::vector<std::string>& arguments, const std::filesystem::path& currentFolder,
    std::ostream& out, std::ostream& err);
/// As above; `arguments` are released once they are read.
int run(std::vector<std::string>&& arguments, const std::filesystem::path& currentFolder,
    std::ostream& out, std::ostream& err);

} // namespace sorvik::CommandLine
