#include "app/rules/list_import.h"

#include <QFile>
#include <QFileDialog>
#include <QString>

#include <filesystem>
#include <system_error>

namespace sorvik {

namespace {

    std::string bytesOf(const QString& name)
    {
        auto bytes = QFile::encodeName(name);
        return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }

    // The one name in `folder` that a dialog shows as `shown`.
    std::optional<std::string> findShownName(const std::string& folder, const QString& shown)
    {
        std::error_code error;
        std::filesystem::directory_iterator entries(folder, error);
        if (error)
            return std::nullopt;
        std::optional<std::string> found;
        for (const auto& entry : entries) {
            auto name = entry.path().filename().string();
            if (QFile::decodeName(QByteArray(name.data(), qsizetype(name.size()))) != shown)
                continue;
            if (found)
                return std::nullopt;
            found = name;
        }
        return found;
    }

} // namespace

std::optional<std::string> fileSystemPath(const QString& dialogPath)
{
    if (!dialogPath.contains(QChar::ReplacementCharacter))
        return bytesOf(dialogPath);
    if (!dialogPath.startsWith(u'/'))
        return std::nullopt;
    std::string path;
    for (const auto& component : dialogPath.split(u'/', Qt::SkipEmptyParts)) {
        std::optional<std::string> name = bytesOf(component);
        if (component.contains(QChar::ReplacementCharacter))
            name = findShownName(path.empty() ? std::string("/") : path, component);
        if (!name)
            return std::nullopt;
        path += "/" + *name;
    }
    return path.empty() ? std::string("/") : path;
}

std::optional<FileURL> ListImport::chooseListFile(QWidget* parent)
{
    auto chosen
        = QFileDialog::getOpenFileName(parent, QString(), QString(), QStringLiteral("*.csv *.txt"));
    if (chosen.isEmpty())
        return std::nullopt;
    if (auto path = fileSystemPath(chosen))
        return FileURL(*path);
    // A name that cannot be found again fails to read as a file that is not there, naming
    // it; it is never taken for another file that happens to have the name as shown.
    std::error_code error;
    auto shown = bytesOf(chosen);
    if (std::filesystem::symlink_status(shown, error).type()
        == std::filesystem::file_type::not_found)
        return FileURL(shown);
    return std::nullopt;
}

} // namespace sorvik
