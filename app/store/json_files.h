#pragma once

#include "engine/model/json.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The application's own state lives in small JSON files in one folder,
// $XDG_DATA_HOME/sorvik (by default ~/.local/share/sorvik). Files of an earlier installation
// may still lie in the legacy folder "Tamblewick" beside it; they are only ever read.
//
// Loading decides per file name and per call: the application folder's file when anything
// exists under that name there, else the legacy folder's file, else nothing. A legacy file is
// never copied, moved or deleted; the first save of its name shadows it for good. A primary
// file that cannot be read or decoded is an error: the legacy copy is not tried then. Every
// failure names the file, its full path, what is wrong in sorvik's words and what the user can
// do (`StoredFileError`).
//
// Saving writes pretty-printed JSON with sorted keys and "/" escaped, atomically, into the
// application folder only. Dates, URLs and UUIDs take their own stored forms (seconds since
// 2001 as a number, file URL text, upper-case UUID text), so a value reads back equal.
namespace sorvik::JSONFiles {

/// The application's folder; it need not exist yet. Read from the environment on every call.
std::filesystem::path applicationFolder();
/// The folder of an earlier installation beside it, read but never written.
std::filesystem::path legacyFolder();

/// The file that loading `name` reads: the application folder's when anything exists under
/// that name there, else the legacy folder's when it exists; nothing when neither does.
std::optional<std::filesystem::path> storedPath(std::string_view name);
/// Where `name` is saved: in the application folder.
std::filesystem::path savedPath(std::string_view name);

/// The parsed document in the file at `path`. Fails with `FileError`, or with
/// `JSONSyntaxError` for a text that is not JSON.
json::Json readDocument(const std::filesystem::path& path);

/// Throws the failure of a value saved under `name` that has no JSON form.
[[noreturn]] void throwEncodeFailure(std::string_view name);

/// What the user can do about the file stored under `name`, at `path`, that cannot be read:
/// the way out that fits what it holds ("To start afresh with no saved presets, move …").
std::string unreadableRemedy(std::string_view name, const std::filesystem::path& path);

/// Throws the failure being handled, of reading `name` at `path`, as the user reads it: a
/// `StoredFileError` naming the file, what is wrong and `unreadableRemedy`, of the failure's
/// own kind (`FileError`, `json::DecodeError`). Only to be called inside a `catch`.
[[noreturn]] void failedToLoad(std::string_view name, const std::filesystem::path& path);

/// The parsed document stored under `name`, from the application folder or else the legacy
/// folder; nothing when neither holds it. Fails with `FileError` or `json::DecodeError`, as
/// `failedToLoad` tells them.
std::optional<json::Json> loadDocument(std::string_view name);

/// Writes `document` under `name` into the application folder, creating the folder first.
/// Fails with `FileError`, or `Error` for a value without a JSON form; the old file then
/// stays as it was, and the failure names the file's full path and what the user can do.
void saveDocument(const json::Json& document, std::string_view name);
/// Writes `document` under `name` into `folder`, the application folder as it was when the
/// caller decided to save (a writer on another thread must not read the environment).
void saveDocument(
    const json::Json& document, std::string_view name, const std::filesystem::path& folder);

/// The value stored under `name`, decoded strictly; nothing when the file exists in neither
/// folder. Fails as `loadDocument` does, a value of another shape as `json::DecodeError`.
template <class T> std::optional<T> load(std::string_view name)
{
    auto path = storedPath(name);
    if (!path)
        return std::nullopt;
    try {
        return json::decode<T>(readDocument(*path));
    } catch (...) {
        failedToLoad(name, *path);
    }
}

/// Stores `value` under `name` in the application folder.
template <class T> void save(const T& value, std::string_view name)
{
    json::Json document;
    try {
        document = value;
    } catch (const nlohmann::json::exception&) {
        throwEncodeFailure(name);
    }
    saveDocument(document, name);
}

} // namespace sorvik::JSONFiles
