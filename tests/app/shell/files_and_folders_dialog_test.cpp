#include "app/shell/files_and_folders_dialog.h"

#include "app/shell/qt_store_dialogs.h"
#include "app/store/renamer_store.h"
#include "tests/app/store/store_test_support.h"
#include "tests/support/temporary_folder.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <set>
#include <string>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::TemporaryFolder;

    QString shown(const std::filesystem::path& path)
    {
        return QString::fromUtf8(QByteArray::fromStdString(path.string()));
    }

    QLineEdit& nameField(QFileDialog& dialog)
    {
        return *dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    }

    QPushButton& acceptButton(QFileDialog& dialog)
    {
        auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        for (auto* button : buttons->buttons()) {
            if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole)
                return *static_cast<QPushButton*>(button);
        }
        throw std::logic_error("no accept button");
    }

    /// Types `names` into the dialog's name field, as the user does (quoted when several).
    void type(QFileDialog& dialog, const QStringList& names)
    {
        QString text;
        if (names.size() == 1) {
            text = names.front();
        } else {
            for (const auto& name : names)
                text += QLatin1Char('"') + name + QStringLiteral("\" ");
        }
        nameField(dialog).setText(text);
    }

    /// Selects the entries shown as `names` in the dialog's list, as clicks do, once the
    /// dialog has listed its folder.
    void select(QFileDialog& dialog, const QStringList& names)
    {
        auto* view = dialog.findChild<QAbstractItemView*>(QStringLiteral("listView"));
        ASSERT_TRUE(view);
        auto* model = view->model();
        ASSERT_TRUE(
            testing::waitUntil([&] { return model->rowCount(view->rootIndex()) >= names.size(); }));
        auto root = view->rootIndex();
        QItemSelection selection;
        for (int row = 0; row < model->rowCount(root); ++row) {
            auto index = model->index(row, 0, root);
            if (names.contains(index.data().toString()))
                selection.select(index, index);
        }
        ASSERT_EQ(selection.indexes().size(), names.size());
        view->selectionModel()->select(
            selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    class FilesAndFoldersDialogTest : public ::testing::Test {
    protected:
        FilesAndFoldersDialogTest()
        {
            files.createFile("Trip/IMG_1.jpg");
            files.createFile("notes.txt");
            dialog.setDirectory(shown(files.path()));
        }

        TemporaryFolder files;
        FilesAndFoldersDialog dialog { QStringLiteral("Add"),
            QStringLiteral("Choose files, or a folder to add everything inside it."), nullptr };
    };

    TEST_F(FilesAndFoldersDialogTest, AFolderAndAFileAreChosenTogether)
    {
        EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFiles);
        EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_EQ(dialog.windowTitle(), "Choose files, or a folder to add everything inside it.");
        type(dialog, { QStringLiteral("Trip"), QStringLiteral("notes.txt") });
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        QStringList expected { shown(files / "notes.txt"), shown(files / "Trip") };
        auto chosen = dialog.selectedFiles();
        chosen.sort(Qt::CaseInsensitive);
        EXPECT_EQ(chosen, expected);
    }

    TEST_F(FilesAndFoldersDialogTest, ASelectedFolderIsChosenNotOpened)
    {
        type(dialog, { QStringLiteral("Trip") });
        // Qt would call its button "Open" here, and open the folder.
        EXPECT_EQ(acceptButton(dialog).text(), "Add");
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(dialog.selectedFiles(), QStringList { shown(files / "Trip") });
        EXPECT_EQ(dialog.directory().absolutePath(), shown(files.path()));
    }

    TEST_F(FilesAndFoldersDialogTest, ATypedFolderWithItsSlashOrDotDotIsOpened)
    {
        dialog.show();
        type(dialog, { QStringLiteral("Trip/") });
        dialog.accept();
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.directory().absolutePath(), shown(files / "Trip"));

        type(dialog, { QStringLiteral("..") });
        dialog.accept();
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.directory().absolutePath(), shown(files.path()));
        dialog.reject();
    }

    TEST_F(FilesAndFoldersDialogTest, NothingChosenOrAMissingNameIsNotAccepted)
    {
        dialog.show();
        nameField(dialog).clear();
        dialog.accept();
        EXPECT_TRUE(dialog.isVisible());

        // Qt says that the name is not there; that message is answered here.
        QTimer::singleShot(0, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->accept();
        });
        type(dialog, { QStringLiteral("missing.txt") });
        dialog.accept();
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_NE(dialog.result(), QDialog::Accepted);
        dialog.reject();
    }

    /// Works the next modal dialog from inside its event loop.
    void whenModal(std::function<void(QWidget&)> work)
    {
        QTimer::singleShot(0, [work = std::move(work)] {
            auto* modal = QApplication::activeModalWidget();
            if (!modal) {
                ADD_FAILURE() << "no modal dialog";
                return;
            }
            work(*modal);
        });
    }

    TEST(QtStoreDialogsChooser, ChosenFoldersAndFilesAreAddedTogether)
    {
        TemporaryFolder files;
        files.createFile("Trip/IMG_1.jpg");
        files.createFile("plain.txt");
        QtStoreDialogs dialogs;
        QString label;
        whenModal([&](QWidget& modal) {
            auto* dialog = qobject_cast<FilesAndFoldersDialog*>(&modal);
            ASSERT_TRUE(dialog);
            dialog->setDirectory(shown(files.path()));
            select(*dialog, { QStringLiteral("Trip"), QStringLiteral("plain.txt") });
            label = acceptButton(*dialog).text();
            static_cast<QDialog*>(dialog)->accept();
        });
        auto chosen = dialogs.chooseFilesToAdd(
            std::string(RenamerStore::addFilesLabel), std::string(RenamerStore::addFilesMessage));
        EXPECT_EQ(label, "Add");
        ASSERT_TRUE(chosen);
        std::set<std::string> paths;
        for (const auto& url : *chosen)
            paths.insert(url.path);
        // In the order the list shows them, which is the file system model's to decide.
        EXPECT_EQ(paths,
            (std::set<std::string> { (files / "Trip").string(), (files / "plain.txt").string() }));
    }

    // Qt's dialog lists no name that is not UTF-8 (its folder can be chosen instead), but
    // such a name can still be typed as Qt shows it.
    TEST(QtStoreDialogsChooser, ATypedNameShownWithReplacementsIsFoundByItsBytes)
    {
        TemporaryFolder files;
        auto folder = files.createFolder("caf\xE9");
        QtStoreDialogs dialogs;
        whenModal([&](QWidget& modal) {
            auto& dialog = static_cast<QFileDialog&>(modal);
            dialog.setDirectory(shown(files.path()));
            type(dialog, { QStringLiteral("caf\uFFFD") });
            static_cast<QDialog&>(dialog).accept();
        });
        auto chosen = dialogs.chooseFilesToAdd("Add", "message");
        ASSERT_TRUE(chosen);
        ASSERT_EQ(chosen->size(), 1u);
        EXPECT_EQ((*chosen)[0].path, folder.string());
    }

    TEST(QtStoreDialogsChooser, ANameThatMatchesTwoEntriesIsRefusedAndSaidSo)
    {
        TemporaryFolder files;
        files.createFolder("a\xE9");
        files.createFolder("a\xE8");
        QtStoreDialogs dialogs;
        QString warning;
        whenModal([&](QWidget& modal) {
            auto& dialog = static_cast<QFileDialog&>(modal);
            dialog.setDirectory(shown(files.path()));
            type(dialog, { QStringLiteral("a\uFFFD") });
            whenModal([&](QWidget& box) {
                warning = static_cast<QMessageBox&>(box).text();
                static_cast<QMessageBox&>(box).accept();
            });
            static_cast<QDialog&>(dialog).accept();
        });
        auto chosen = dialogs.chooseFilesToAdd("Add", "message");
        EXPECT_EQ(warning, QtStoreDialogs::unreadableNamesText);
        ASSERT_TRUE(chosen);
        EXPECT_TRUE(chosen->empty());
    }

} // namespace
} // namespace sorvik
