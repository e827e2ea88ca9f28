#pragma once

#include <compare>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace sorvik {

/// The location of a file or folder: an absolute path plus whether it names a folder.
/// The path is bytes, exactly as the file system has them; it is kept without a trailing
/// "/" (except for the root itself). The text form is "file://" + the percent-encoded path,
/// with a trailing "/" for folders; one function makes it, so equal paths give equal text.
struct FileURL {
    std::string path;
    bool isDirectory = false;

    FileURL() = default;
    FileURL(std::string_view path, bool isDirectory = false);

    /// Reads "file:///…" or "file://localhost/…" text; accepts any valid percent escape
    /// except "%00": no file name holds a NUL byte, and a path cut there would name another
    /// file. Gives nothing for anything else; `failure`, when given, is set to the reason
    /// when there is more to say than "not a local file URL".
    static std::optional<FileURL> parse(std::string_view text, std::string* failure = nullptr);

    /// Whether `parse` reads `text`, without making the URL; `failure` as for `parse`.
    static bool isValidText(std::string_view text, std::string* failure = nullptr);

    /// The reason `parse` gives for a URL that holds a NUL byte.
    static constexpr std::string_view nulByteText
        = "A file URL cannot hold \u201C%00\u201D: no file name contains a NUL byte.";

    std::string text() const;
    /// `text()` added to the end of `out`.
    void appendText(std::string& out) const;
    bool isEmpty() const { return path.empty(); }

    /// The last path component ("/" for the root).
    std::string lastPathComponent() const;
    /// The folder that holds this item, as a folder URL.
    FileURL deletingLastPathComponent() const;
    /// This URL with one more path component.
    FileURL appending(std::string_view component, bool isDirectory = false) const;
    /// "." components and empty components removed, ".." resolved against its parent; no
    /// file-system access.
    FileURL standardized() const;
    /// Whether the path is already standard: absolute, without "." or ".." components and
    /// without empty ones, so that `standardized()` gives it back unchanged.
    bool isStandardized() const;
    /// The path's components without the leading "/".
    std::vector<std::string> pathComponents() const;

    friend bool operator==(const FileURL&, const FileURL&) = default;
    friend auto operator<=>(const FileURL&, const FileURL&) = default;
};

/// The path of the folder that holds the item at `path` ("/" for an item at the root): the
/// path of `deletingLastPathComponent`, as a view into `path`.
std::string_view folderPathOf(std::string_view path);

/// The percent-encoded form of a path, as used inside file URL text.
std::string percentEncodePath(std::string_view path);
/// `percentEncodePath(path)` added to the end of `out`.
void appendPercentEncodedPath(std::string& out, std::string_view path);

void to_json(nlohmann::json& json, const FileURL& url);
/// Strict: a string holding an absolute file URL.
void from_json(const nlohmann::json& json, FileURL& url);

} // namespace sorvik

template <> struct std::hash<sorvik::FileURL> {
    std::size_t operator()(const sorvik::FileURL& url) const noexcept
    {
        return std::hash<std::string> {}(url.path) ^ static_cast<std::size_t>(url.isDirectory);
    }
};
