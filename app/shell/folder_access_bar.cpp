#include "app/shell/folder_access_bar.h"

#include "app/shell/symbol_label.h"
#include "app/store/renamer_store.h"
#include "app/style/brand_colors.h"
#include "app/style/ui_style.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace sorvik {

FolderAccessBar::FolderAccessBar(RenamerStore& store, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
{
    setObjectName(QStringLiteral("folderAccessBar"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // The bar's material: the window's own surface, apart from the canvas below it.
    setWindowSurface(*this);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);

    m_requestRow = new QWidget(this);
    auto* row = new QHBoxLayout(m_requestRow);
    row->setContentsMargins(12, 12, 12, 12);
    m_request = new SymbolLabel(
        "folder.badge.questionmark", [] { return toneColor(Tone::primary); }, nullptr,
        m_requestRow);
    row->addWidget(m_request);
    row->addStretch(1);
    m_grant = new QPushButton(QString::fromLatin1(grantText), m_requestRow);
    m_grant->setObjectName(QStringLiteral("grantAccess"));
    connect(m_grant, &QPushButton::clicked, this, &FolderAccessBar::grant);
    row->addWidget(m_grant);
    layout->addWidget(m_requestRow);

    m_error = plainLabel(QString(), this);
    m_error->setObjectName(QStringLiteral("accessError"));
    m_error->setContentsMargins(8, 8, 8, 8);
    m_error->setWordWrap(true);
    followApplicationPalette(*m_error, [this] {
        auto palette = m_error->palette();
        palette.setColor(QPalette::WindowText,
            isDarkPalette(QGuiApplication::palette()) ? QColor(0xFF, 0x45, 0x3A)
                                                      : QColor(0xD7, 0x00, 0x15));
        m_error->setPalette(palette);
    });
    layout->addWidget(m_error);

    refresh();
    connect(&m_store, &RenamerStore::itemsChanged, this, &FolderAccessBar::refresh);
    connect(&m_store, &RenamerStore::previewsChanged, this, &FolderAccessBar::refresh);
    connect(&m_store.folderAccess(), &FolderAccessManager::errorMessageChanged, this,
        &FolderAccessBar::refresh);
}

QString FolderAccessBar::requestText(const FileURL& folder)
{
    return QStringLiteral("To rename these files, allow access to ")
        + toQString(folder.lastPathComponent()) + QLatin1Char('.');
}

void FolderAccessBar::refresh()
{
    m_folder = m_store.folderNeedingAccess();
    if (m_folder)
        m_request->setText(requestText(*m_folder));
    m_requestRow->setVisible(m_folder.has_value());

    const auto& error = m_store.folderAccess().errorMessage();
    setPlainText(*m_error, error ? toQString(*error) : QString());
    m_error->setVisible(error.has_value());
    setVisible(m_folder || error);
}

void FolderAccessBar::grant()
{
    // Asked again: the list may have changed since the bar was drawn.
    if (auto folder = m_store.folderNeedingAccess())
        m_store.folderAccess().requestAccess(*folder);
    refresh();
}

} // namespace sorvik
