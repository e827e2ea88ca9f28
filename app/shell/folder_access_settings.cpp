#include "app/shell/folder_access_settings.h"

#include "app/shell/elided_label.h"
#include "app/store/folder_access_manager.h"
#include "app/style/ui_style.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <string>

namespace sorvik {

namespace {

    std::string standardizedPath(const FileURL& url) { return url.standardized().path; }

    /// The stored grants whose folder is not open, by the path they were granted under.
    std::vector<FileURL> notFoundFolders(const FolderAccessManager& manager)
    {
        std::vector<FileURL> missing;
        const auto& open = manager.folders();
        for (const auto& [path, data] : manager.bookmarks()) {
            FileURL folder(path, true);
            auto standardized = standardizedPath(folder);
            bool isOpen = std::any_of(open.begin(), open.end(),
                [&](const FileURL& granted) { return standardizedPath(granted) == standardized; });
            if (!isOpen)
                missing.push_back(std::move(folder));
        }
        return missing;
    }

} // namespace

FolderAccessSettings::FolderAccessSettings(FolderAccessManager& manager, QWidget* parent)
    : QWidget(parent)
    , m_manager(manager)
{
    setObjectName(QStringLiteral("folderAccessSettings"));
    setFixedSize(settingsWidth, settingsHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);

    auto* title = plainLabel(QString::fromLatin1(titleText), this);
    title->setObjectName(QStringLiteral("title"));
    title->setFont(styleFont(TextStyle::title2));
    layout->addWidget(title);

    auto* intro = plainLabel(QString::fromLatin1(introText), this);
    intro->setObjectName(QStringLiteral("intro"));
    intro->setWordWrap(true);
    setTone(*intro, Tone::secondary);
    layout->addWidget(intro);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("grantedFolders"));
    m_list->setAccessibleName(QString::fromLatin1(titleText));
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(m_list, 1);

    m_error = plainLabel(QString(), this);
    m_error->setObjectName(QStringLiteral("accessError"));
    m_error->setWordWrap(true);
    setTone(*m_error, Tone::red);
    layout->addWidget(m_error);

    rebuild();
    showError();
    connect(&m_manager, &FolderAccessManager::foldersChanged, this, &FolderAccessSettings::rebuild);
    connect(
        &m_manager, &FolderAccessManager::bookmarksChanged, this, &FolderAccessSettings::rebuild);
    connect(&m_manager, &FolderAccessManager::errorMessageChanged, this,
        &FolderAccessSettings::showError);
}

bool FolderAccessSettings::isNotFound(int row) const
{
    return row >= 0 && static_cast<std::size_t>(row) >= m_grantedCount
        && static_cast<std::size_t>(row) < m_rowFolders.size();
}

void FolderAccessSettings::rebuild()
{
    m_list->clear();
    m_rowFolders = m_manager.folders();
    m_grantedCount = m_rowFolders.size();
    auto missing = notFoundFolders(m_manager);
    m_rowFolders.insert(m_rowFolders.end(), missing.begin(), missing.end());
    for (std::size_t index = 0; index < m_rowFolders.size(); ++index) {
        auto* item = new QListWidgetItem(m_list);
        auto* row = makeRow(m_rowFolders[index], index >= m_grantedCount);
        item->setSizeHint(row->sizeHint());
        m_list->setItemWidget(item, row);
    }
}

QWidget* FolderAccessSettings::makeRow(const FileURL& folder, bool notFound)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(8, 4, 8, 4);

    auto shownPath = toQString(folder.path);
    auto* path = new ElidedLabel(shownPath, row);
    path->setObjectName(QStringLiteral("path"));
    layout->addWidget(path, 1);
    if (notFound) {
        setTone(*path, Tone::tertiary);
        auto* status = plainLabel(QString::fromLatin1(notFoundText), row);
        status->setObjectName(QStringLiteral("notFound"));
        status->setFont(styleFont(TextStyle::caption));
        setTone(*status, Tone::orange);
        layout->addWidget(status);
    }

    auto* remove = new QPushButton(QString::fromLatin1(removeText), row);
    remove->setObjectName(QStringLiteral("remove"));
    remove->setAccessibleName(QString::fromLatin1(removeText) + QLatin1Char(' ') + shownPath);
    connect(remove, &QPushButton::clicked, this, [this, folder] {
        // Once the click is over: a removal that works rebuilds the rows, this one's with them.
        QMetaObject::invokeMethod(
            this, [this, folder] { m_manager.remove(folder); }, Qt::QueuedConnection);
    });
    layout->addWidget(remove);
    return row;
}

void FolderAccessSettings::showError()
{
    const auto& error = m_manager.errorMessage();
    setPlainText(*m_error, error ? toQString(*error) : QString());
    m_error->setVisible(error.has_value());
}

} // namespace sorvik
