#include "app/shell/files_footer.h"

#include "app/shell/file_list_model.h"
#include "app/shell/symbol_label.h"
#include "app/store/renamer_store.h"
#include "app/style/brand_colors.h"
#include "app/style/brand_primary_button.h"
#include "app/style/ui_style.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>

namespace sorvik {

FilesFooter::FilesFooter(RenamerStore& store, const FileListModel& model, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_model(model)
{
    setObjectName(QStringLiteral("filesFooter"));
    // The bar's material: the window's own surface below the list.
    setWindowSurface(*this);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    setFont(styleFont(TextStyle::callout));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 8, 12, 8);
    layout->setSpacing(12);

    m_files = plainLabel(QString(), this);
    m_files->setObjectName(QStringLiteral("fileCount"));
    setTone(*m_files, Tone::secondary);
    layout->addWidget(m_files);

    auto accent = [] { return BrandColors::color(BrandColor::brandAccent); };
    m_changes = new SymbolLabel("pencil", accent, accent, this);
    m_changes->setObjectName(QStringLiteral("changeCount"));
    layout->addWidget(m_changes);

    auto orange = [] { return toneColor(Tone::orange); };
    m_skipped = new SymbolLabel("exclamationmark.triangle.fill", orange, orange, this);
    m_skipped->setObjectName(QStringLiteral("skippedCount"));
    m_skipped->setToolTip(plainToolTip(QString::fromLatin1(skippedHelp)));
    layout->addWidget(m_skipped);

    layout->addStretch(1);

    m_select = new QToolButton(this);
    m_select->setObjectName(QStringLiteral("selectMenu"));
    m_select->setText(QString::fromLatin1(selectText));
    m_select->setPopupMode(QToolButton::InstantPopup);
    m_select->setToolButtonStyle(Qt::ToolButtonTextOnly);
    auto* menu = new QMenu(m_select);
    menu->addAction(
        QString::fromLatin1(includeAllText), this, [this] { m_store.setAllIncluded(true); });
    menu->addAction(
        QString::fromLatin1(excludeAllText), this, [this] { m_store.setAllIncluded(false); });
    menu->addSeparator();
    menu->addAction(QString::fromLatin1(clearListText), this, [this] {
        m_store.setItems({});
        emit listCleared();
    });
    m_select->setMenu(menu);
    layout->addWidget(m_select);

    m_undo = new QPushButton(QString::fromLatin1(undoRenameText), this);
    m_undo->setObjectName(QStringLiteral("undoRename"));
    connect(m_undo, &QPushButton::clicked, this, [this] { m_store.undoLastApply(); });
    layout->addWidget(m_undo);

    m_rename = new BrandPrimaryButton(this);
    m_rename->setObjectName(QStringLiteral("rename"));
    m_rename->setMinimumWidth(renameLabelWidth
        + 2 * (BrandPrimaryButton::horizontalPadding + BrandPrimaryButton::ringMargin));
    connect(m_rename, &QPushButton::clicked, this, [this] { m_store.apply(); });
    layout->addWidget(m_rename);
    for (auto key : { Qt::Key_Return, Qt::Key_Enter }) {
        auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | key), this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] {
            if (m_rename->isEnabled())
                m_rename->click();
        });
    }

    refreshCounts();
    refreshAccess();
    connect(&m_model, &FileListModel::countsChanged, this, [this] {
        refreshCounts();
        refreshRename();
    });
    connect(&m_store, &RenamerStore::isPlanningChanged, this, &FilesFooter::refreshRename);
    connect(&m_store, &RenamerStore::itemsChanged, this, &FilesFooter::refreshAccess);
    connect(&m_store, &RenamerStore::previewsChanged, this, &FilesFooter::refreshAccess);
    connect(&m_store, &RenamerStore::undoStackChanged, this, &FilesFooter::refreshRename);
}

QString FilesFooter::renameLabel(std::size_t readyCount, bool folderNeedsAccess)
{
    if (folderNeedsAccess)
        return QString::fromLatin1(grantToRenameText);
    if (readyCount > 0)
        return QStringLiteral("Rename %1 Files").arg(readyCount);
    return QString::fromLatin1(renameText);
}

void FilesFooter::refreshCounts()
{
    const auto& counts = m_model.counts();
    setPlainText(*m_files, QStringLiteral("%1 files").arg(counts.files));
    m_changes->setText(QStringLiteral("%1 will change").arg(counts.ready));
    m_changes->setVisible(counts.ready > 0);
    m_skipped->setText(QStringLiteral("%1 skipped").arg(counts.problems));
    m_skipped->setVisible(counts.problems > 0);
}

void FilesFooter::refreshAccess()
{
    // Once per change of the list or the preview: the walk covers every listed file.
    m_folderNeedsAccess = m_store.folderNeedingAccess().has_value();
    refreshRename();
}

void FilesFooter::refreshRename()
{

    auto ready = m_model.counts().ready;
    m_rename->setText(escapeMnemonics(renameLabel(ready, m_folderNeedsAccess)));
    m_rename->setEnabled(!m_store.isPlanning() && (ready > 0 || m_folderNeedsAccess));
    m_undo->setEnabled(!m_store.undoStack().empty());
}

} // namespace sorvik
