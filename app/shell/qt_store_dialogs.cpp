#include "app/shell/qt_store_dialogs.h"

#include "app/shell/files_and_folders_dialog.h"
#include "app/style/ui_style.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>

#include <memory>

#include <dirent.h>

namespace sorvik {

namespace {

    constexpr QChar replacementCharacter(0xFFFD);

    /// The one entry of the folder at `folder` (bytes) that shows as `name`; nothing when
    /// none or several do.
    std::optional<std::string> entryShownAs(const std::string& folder, const QString& name)
    {
        std::unique_ptr<DIR, int (*)(DIR*)> directory(
            ::opendir(folder.empty() ? "/" : folder.c_str()), ::closedir);
        if (!directory)
            return std::nullopt;
        std::optional<std::string> match;
        while (const dirent* entry = ::readdir(directory.get())) {
            std::string_view bytes(entry->d_name);
            if (toQString(bytes) != name)
                continue;
            if (match)
                return std::nullopt;
            match = std::string(bytes);
        }
        return match;
    }

    QStringList nameFilters(const std::vector<DocumentType>& types)
    {
        QStringList filters;
        for (const auto& type : types)
            filters.append(QStringLiteral("*.") + toQString(type.extension));
        return filters;
    }

} // namespace

QtStoreDialogs::QtStoreDialogs(QWidget* window)
    : m_window(window)
{
}

QtStoreDialogs::~QtStoreDialogs() = default;

std::optional<FileURL> QtStoreDialogs::fileURLFromDialog(const QString& path, bool isDirectory)
{
    if (path.isEmpty() || !path.startsWith(QLatin1Char('/')))
        return std::nullopt;
    if (!path.contains(replacementCharacter)) {
        auto bytes = QFile::encodeName(path);
        return FileURL(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
            isDirectory);
    }
    // Component by component, so that each lookup lists a folder whose bytes are known.
    std::string resolved;
    const auto components = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const auto& component : components) {
        std::string bytes;
        if (component.contains(replacementCharacter)) {
            auto found = entryShownAs(resolved, component);
            if (!found)
                return std::nullopt;
            bytes = std::move(*found);
        } else {
            auto encoded = QFile::encodeName(component);
            bytes.assign(encoded.constData(), static_cast<std::size_t>(encoded.size()));
        }
        resolved += '/';
        resolved += bytes;
    }
    if (resolved.empty())
        resolved = "/";
    return FileURL(resolved, isDirectory);
}

void QtStoreDialogs::presentWarning(
    const std::string& messageText, const std::string& informativeText)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("sorvik"), toQString(messageText),
        QMessageBox::Ok, m_window);
    box.setTextFormat(Qt::PlainText);
    box.setInformativeText(toQString(informativeText));
    box.setWindowModality(m_window ? Qt::WindowModal : Qt::ApplicationModal);
    box.exec();
}

void QtStoreDialogs::prepare(QFileDialog& dialog) const
{
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setWindowModality(m_window ? Qt::WindowModal : Qt::ApplicationModal);
}

std::optional<FileURL> QtStoreDialogs::chooseSaveLocation(
    const std::string& proposedName, const std::vector<DocumentType>& allowedTypes)
{
    QFileDialog dialog(m_window);
    prepare(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(nameFilters(allowedTypes));
    if (!allowedTypes.empty())
        dialog.setDefaultSuffix(toQString(allowedTypes.front().extension));
    dialog.selectFile(toQString(proposedName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return fileURLFromDialog(dialog.selectedFiles().front(), false);
}

std::optional<FileURL> QtStoreDialogs::chooseFileToOpen(
    const std::vector<DocumentType>& allowedTypes)
{
    QFileDialog dialog(m_window);
    prepare(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    auto filters = nameFilters(allowedTypes);
    if (filters.size() > 1)
        filters.prepend(filters.join(QLatin1Char(' ')));
    dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return fileURLFromDialog(dialog.selectedFiles().front(), false);
}

std::optional<QStringList> QtStoreDialogs::askForFilesToAdd(
    const QString& acceptLabel, const QString& message)
{
    FilesAndFoldersDialog dialog(acceptLabel, message, m_window);
    prepare(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.selectedFiles();
}

std::optional<std::vector<FileURL>> QtStoreDialogs::chooseFilesToAdd(
    const std::string& acceptLabel, const std::string& message)
{
    auto chosen = askForFilesToAdd(toQString(acceptLabel), toQString(message));
    if (!chosen)
        return std::nullopt;
    std::vector<FileURL> urls;
    QStringList refused;
    for (const auto& path : *chosen) {
        if (auto url = fileURLFromDialog(path, false))
            urls.push_back(std::move(*url));
        else
            refused.append(path);
    }
    if (!refused.isEmpty()) {
        presentWarning(unreadableNamesText,
            std::string(unreadableNamesInformative) + "\n"
                + toUtf8(refused.join(QLatin1Char('\n'))));
    }
    return urls;
}

std::optional<FileURL> QtStoreDialogs::chooseFolder(
    const FileURL& startFolder, const std::string& acceptLabel, const std::string& message)
{
    QFileDialog dialog(m_window, toQString(message));
    prepare(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setDirectory(toQString(startFolder.path));
    dialog.setLabelText(QFileDialog::Accept, toQString(acceptLabel));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return fileURLFromDialog(dialog.selectedFiles().front(), true);
}

} // namespace sorvik
