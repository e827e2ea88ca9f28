#pragma once

#include "engine/model/file_url.h"

#include <functional>
#include <optional>
#include <string>

class QString;
class QWidget;

// What the list editor needs to import a list from a file: a way to ask for the file and a
// way to read it. They are handed in, so the editor never sees the store that reads files
// and tests ask no dialog.
namespace sorvik {

struct ListImport {
    /// Asks for one existing file, over `parent`; nothing when cancelled.
    std::function<std::optional<FileURL>(QWidget* parent)> chooseFile = chooseListFile;
    /// The whole text of the file. Fails with `Error`, whose text the editor shows. The
    /// application reads with the store's bounded reader (`ListFile::read`); without a reader
    /// nothing is imported.
    std::function<std::string(const FileURL& url)> readFile;

    /// A file dialog for one CSV or plain-text file.
    static std::optional<FileURL> chooseListFile(QWidget* parent);
};

/// The path in the file system of a path a file dialog hands back. A dialog shows names that
/// are not UTF-8 with U+FFFD in place of their bad bytes; such a component is found again in
/// a listing of its folder's bytes when exactly one name there shows the same. Nothing when a
/// component cannot be found that way.
std::optional<std::string> fileSystemPath(const QString& dialogPath);

} // namespace sorvik
