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
    auto missing = m_manager.notFoundFolders();
    m_rowFolders.insert(m_rowFolders.end(), missing.begin(), missing.end());
    for (std::size_t index = 0; index < m_rowFolders.size(); ++index) {
        auto* item = new QListWidgetItem(m_list);
        auto* row = makeRow(m_rowFolders[index], index >= m_grantedCount);
        // A row that wraps its explanation is as tall as the lines it takes in the list.
        int width = m_list->viewport()->width() > 0 && m_list->isVisible()
            ? m_list->viewport()->width()
            : settingsWidth;
        auto hint = row->sizeHint();
        if (row->hasHeightForWidth())
            hint.setHeight(std::max(hint.height(), row->heightForWidth(width)));
        item->setSizeHint(hint);
        m_list->setItemWidget(item, row);
    }
}

QWidget* FolderAccessSettings::makeRow(const FileURL& folder, bool notFound)
{
    auto* row = new QWidget;
    auto* rowLayout = new QVBoxLayout(row);
    rowLayout->setContentsMargins(8, 4, 8, 4);
    rowLayout->setSpacing(2);
    auto* layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    rowLayout->addLayout(layout);

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

    if (notFound) {
        // What it means and what to do, where the user sees which folder it is.
        auto* explanation
            = plainLabel(QString::fromUtf8(FolderAccessManager::notFoundExplanation), row);
        explanation->setObjectName(QStringLiteral("notFoundExplanation"));
        explanation->setWordWrap(true);
        explanation->setFont(styleFont(TextStyle::caption));
        setTone(*explanation, Tone::secondary);
        rowLayout->addWidget(explanation);
    }
    return row;
}

void FolderAccessSettings::showError()
{
    const auto& error = m_manager.errorMessage();
    setPlainText(*m_error, error ? toQString(*error) : QString());
    m_error->setVisible(error.has_value());
}

} // namespace sorvik
