#include "app/shell/history_sheet.h"

#include "app/shell/elided_label.h"
#include "app/shell/file_manager_reveal.h"
#include "app/store/renamer_store.h"
#include "app/style/ui_style.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <filesystem>
#include <memory>
#include <system_error>

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace sorvik {

namespace {

    bool folderExists(const FileURL& folder)
    {
        std::error_code error;
        return std::filesystem::is_directory(std::filesystem::path(folder.path), error);
    }

} // namespace

HistorySheet::HistorySheet(RenamerStore& store, QWidget* window)
    : QDialog(window)
    , m_store(store)
{
    setObjectName(QStringLiteral("historySheet"));
    setWindowTitle(QString::fromLatin1(titleText));
    setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    setFixedSize(sheetWidth, sheetHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(16);

    auto* header = new QHBoxLayout;
    auto* title = plainLabel(QString::fromLatin1(titleText), this);
    title->setObjectName(QStringLiteral("title"));
    title->setFont(styleFont(TextStyle::title2, QFont::Bold));
    header->addWidget(title);
    header->addStretch(1);
    m_done = new QPushButton(QString::fromLatin1(doneText), this);
    m_done->setObjectName(QStringLiteral("done"));
    m_done->setDefault(true);
    connect(m_done, &QPushButton::clicked, this, &QDialog::accept);
    header->addWidget(m_done);
    layout->addLayout(header);

    m_backup = new QCheckBox(QString::fromLatin1(backupText), this);
    m_backup->setObjectName(QStringLiteral("backupEnabled"));
    m_backup->setChecked(m_store.backupEnabled());
    connect(m_backup, &QCheckBox::toggled, this, [this](bool on) { m_store.setBackupEnabled(on); });
    layout->addWidget(m_backup);

    auto* caption = plainLabel(QString::fromLatin1(captionText), this);
    caption->setObjectName(QStringLiteral("caption"));
    caption->setFont(styleFont(TextStyle::caption));
    caption->setWordWrap(true);
    setTone(*caption, Tone::secondary);
    layout->addWidget(caption);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("records"));
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(m_list, 1);

    rebuild();
    connect(&m_store, &RenamerStore::historyChanged, this, &HistorySheet::rebuild);
    connect(&m_store, &RenamerStore::isPlanningChanged, this, &HistorySheet::refreshButtons);
    connect(&m_store, &RenamerStore::backupEnabledChanged, this, [this] {
        QSignalBlocker blocker(m_backup);
        m_backup->setChecked(m_store.backupEnabled());
    });
    connect(&m_store, &RenamerStore::showingHistoryChanged, this, &HistorySheet::followFlag);
    connect(this, &QDialog::finished, this, [this] { m_store.setShowingHistory(false); });
    // The flag may be up before the sheet exists.
    if (m_store.showingHistory())
        QMetaObject::invokeMethod(this, &HistorySheet::followFlag, Qt::QueuedConnection);
}

HistorySheet::~HistorySheet() = default;

void HistorySheet::setReveal(FileManagerReveal* reveal) { m_reveal = reveal; }

FileManagerReveal& HistorySheet::reveal() const
{
    return m_reveal ? *m_reveal : FileManagerReveal::shared();
}

QString HistorySheet::dateText(Date date)
{
    thread_local std::unique_ptr<icu::DateFormat> format;
    thread_local icu::Locale formatLocale;
    if (!format || formatLocale != icu::Locale::getDefault()) {
        formatLocale = icu::Locale::getDefault();
        format.reset(icu::DateFormat::createDateInstance(icu::DateFormat::kLong, formatLocale));
    }
    if (!format)
        return {};
    icu::UnicodeString text;
    format->format(date.icuDate(), text);
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

void HistorySheet::followFlag()
{
    if (m_store.showingHistory()) {
        if (!isVisible())
            open();
        return;
    }
    if (isVisible())
        done(QDialog::Accepted);
}

void HistorySheet::showEvent(QShowEvent* event)
{
    // Backups may have been pruned since the rows were made.
    rebuild();
    QDialog::showEvent(event);
}

void HistorySheet::rebuild()
{
    m_list->clear();
    m_undoButtons.clear();
    for (const auto& record : m_store.history()) {
        auto* item = new QListWidgetItem(m_list);
        auto* row = makeRow(record);
        item->setSizeHint(row->sizeHint());
        m_list->setItemWidget(item, row);
    }
    refreshButtons();
}

QWidget* HistorySheet::makeRow(const HistoryRecord& record)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(8, 6, 8, 6);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    auto* date = plainLabel(dateText(record.date), row);
    date->setObjectName(QStringLiteral("date"));
    date->setFont(styleFont(TextStyle::body, QFont::Medium));
    texts->addWidget(date);
    auto* count = plainLabel(QStringLiteral("%1 files").arg(record.moves.size()), row);
    count->setObjectName(QStringLiteral("count"));
    setTone(*count, Tone::secondary);
    texts->addWidget(count);
    if (!record.moves.empty()) {
        auto* folder = new ElidedLabel(
            toQString(record.moves.front().from.deletingLastPathComponent().path), row);
        folder->setObjectName(QStringLiteral("folder"));
        folder->setFont(styleFont(TextStyle::caption));
        texts->addWidget(folder);
    }
    layout->addLayout(texts, 1);

    if (record.backupPath && folderExists(*record.backupPath)) {
        auto* show = new QPushButton(QString::fromLatin1(showBackupText), row);
        show->setObjectName(QStringLiteral("showBackup"));
        connect(show, &QPushButton::clicked, this,
            [this, backup = *record.backupPath] { reveal().reveal({ backup }); });
        layout->addWidget(show);
    }

    auto* undo
        = new QPushButton(QString::fromLatin1(record.undone ? undoneText : undoBatchText), row);
    undo->setObjectName(QStringLiteral("undoBatch"));
    connect(undo, &QPushButton::clicked, this, [this, id = record.id] {
        // Once the button's click is over: marking the record undone rebuilds the rows, this
        // button's with them. The sheet stays open.
        QMetaObject::invokeMethod(
            this, [this, id] { m_store.revert(id); }, Qt::QueuedConnection);
    });
    layout->addWidget(undo);
    m_undoButtons.emplace_back(undo, record.undone);
    return row;
}

void HistorySheet::refreshButtons()
{
    for (auto [button, undone] : m_undoButtons)
        button->setEnabled(!undone && !m_store.isPlanning());
}

} // namespace sorvik
