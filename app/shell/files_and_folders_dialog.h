#pragma once

#include <QFileDialog>

namespace sorvik {

// Qt's own file dialog made to choose files and folders together, several at once, which
// none of its modes does: in its several-files mode a selected folder is opened rather than
// chosen. Here the accept button takes whatever is selected, folders included; a folder is
// still opened by a double click, or by typing its name with a trailing "/" (or ".."). The accept
// button keeps its own label also while a folder is selected (Qt would relabel it "Open").
//
// A selected name that Qt shows with U+FFFD (its bytes are not UTF-8) is taken as it is: the
// caller looks it up among the bytes of its folder. A typed name that names nothing is left
// to Qt, which says so.
class FilesAndFoldersDialog : public QFileDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FilesAndFoldersDialog)

public:
    /// A dialog over `parent` whose accept button reads `acceptLabel`, titled `message`.
    FilesAndFoldersDialog(const QString& acceptLabel, const QString& message, QWidget* parent);

    /// The accept button, as the dialog labels it.
    QString acceptLabel() const { return m_acceptLabel; }

public slots:
    void accept() override;

private:
    void keepAcceptLabel();

    QString m_acceptLabel;
};

} // namespace sorvik
