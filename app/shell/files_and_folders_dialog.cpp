#include "app/shell/files_and_folders_dialog.h"

#include <QAbstractItemView>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace sorvik {

namespace {

    constexpr QChar replacementCharacter(0xFFFD);

    /// Whether `path` names something the dialog can hand back: it exists, or Qt shows it
    /// with U+FFFD and the caller looks it up by its bytes.
    bool canBeChosen(const QString& path)
    {
        return path.contains(replacementCharacter) || QFileInfo::exists(path);
    }

} // namespace

FilesAndFoldersDialog::FilesAndFoldersDialog(
    const QString& acceptLabel, const QString& message, QWidget* parent)
    : QFileDialog(parent, message)
    , m_acceptLabel(acceptLabel)
{
    setObjectName(QStringLiteral("filesAndFoldersDialog"));
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFiles);
    setLabelText(QFileDialog::Accept, acceptLabel);

    // Qt relabels the accept button whenever the selection or the typed name changes; these
    // connections are made after its own, so they run after it.
    if (auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        connect(name, &QLineEdit::textChanged, this, &FilesAndFoldersDialog::keepAcceptLabel);
    for (auto* view : findChildren<QAbstractItemView*>()) {
        if (auto* selection = view->selectionModel()) {
            connect(selection, &QItemSelectionModel::selectionChanged, this,
                &FilesAndFoldersDialog::keepAcceptLabel);
        }
    }
    connect(this, &QFileDialog::directoryEntered, this, &FilesAndFoldersDialog::keepAcceptLabel);
    keepAcceptLabel();
}

void FilesAndFoldersDialog::keepAcceptLabel()
{
    auto* buttons = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    if (!buttons)
        return;
    for (auto* button : buttons->buttons()) {
        if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole) {
            button->setText(m_acceptLabel);
            button->setAccessibleName(m_acceptLabel);
        }
    }
}

void FilesAndFoldersDialog::accept()
{
    const auto chosen = selectedFiles();
    if (chosen.isEmpty())
        return;
    // Qt's own handling: a typed ".." or a folder typed with its "/" is opened, and a name
    // that is not there is reported.
    auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    auto typed = name ? name->text() : QString();
    bool opensFolder = typed == QStringLiteral("..") || typed.endsWith(QLatin1Char('/'));
    if (opensFolder || !std::all_of(chosen.begin(), chosen.end(), canBeChosen)) {
        QFileDialog::accept();
        return;
    }
    // A folder is taken as chosen; the base class would open it instead.
    QDialog::accept();
}

} // namespace sorvik
