#include "app/shell/qt_store_dialogs.h"

#include "tests/app/store/store_test_support.h"
#include "tests/support/temporary_folder.h"

#include <QApplication>
#include <QFileDialog>
#include <QTimer>

#include <functional>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::TemporaryFolder;

    QString shown(const std::filesystem::path& path)
    {
        return QString::fromUtf8(QByteArray::fromStdString(path.string()));
    }

    TEST(QtStoreDialogsNames, APlainNameIsItsBytes)
    {
        TemporaryFolder files;
        auto path = files.createFile("Ünïcode name.txt");
        auto url = QtStoreDialogs::fileURLFromDialog(shown(path), false);
        ASSERT_TRUE(url);
        EXPECT_EQ(url->path, path.string());
        EXPECT_FALSE(url->isDirectory);
        auto folder = QtStoreDialogs::fileURLFromDialog(shown(files.path()), true);
        ASSERT_TRUE(folder);
        EXPECT_TRUE(folder->isDirectory);
        EXPECT_FALSE(QtStoreDialogs::fileURLFromDialog(QString(), false));
        EXPECT_FALSE(QtStoreDialogs::fileURLFromDialog(QStringLiteral("relative/a.txt"), false));
    }

    TEST(QtStoreDialogsNames, ANameThatIsNotUTF8IsFoundAgainByItsBytes)
    {
        TemporaryFolder files;
        auto path = files.createFile("caf\xE9/r\xE9sum\xE9.txt");
        // What a file dialog hands back for those bytes.
        auto text = shown(files.path()) + QStringLiteral("/caf\uFFFD/r\uFFFDsum\uFFFD.txt");
        auto url = QtStoreDialogs::fileURLFromDialog(text, false);
        ASSERT_TRUE(url);
        EXPECT_EQ(url->path, path.string());
    }

    TEST(QtStoreDialogsNames, AnAmbiguousOrMissingNameIsRefused)
    {
        TemporaryFolder files;
        files.createFile("a\xE9.txt");
        files.createFile("a\xE8.txt");
        EXPECT_FALSE(QtStoreDialogs::fileURLFromDialog(
            shown(files.path()) + QStringLiteral("/a\uFFFD.txt"), false));
        EXPECT_FALSE(QtStoreDialogs::fileURLFromDialog(
            shown(files.path()) + QStringLiteral("/b\uFFFD.txt"), false));
    }

    /// Works the next modal file dialog from inside its event loop.
    void whenTheDialogShows(std::function<void(QFileDialog&)> work)
    {
        QTimer::singleShot(0, [work = std::move(work)] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) {
                ADD_FAILURE() << "no file dialog";
                return;
            }
            work(*dialog);
        });
    }

    TEST(QtStoreDialogs, ChoosingFilesToAddShowsTheAcceptLabelAndMessage)
    {
        TemporaryFolder files;
        auto path = files.createFile("picked.txt");
        QtStoreDialogs dialogs;
        QString label;
        QString title;
        whenTheDialogShows([&](QFileDialog& dialog) {
            label = dialog.labelText(QFileDialog::Accept);
            title = dialog.windowTitle();
            dialog.setDirectory(shown(files.path()));
            dialog.selectFile(QStringLiteral("picked.txt"));
            static_cast<QDialog&>(dialog).accept();
        });
        auto chosen = dialogs.chooseFilesToAdd(
            "Add", "Choose files, or a folder to add everything inside it.");
        EXPECT_EQ(label, "Add");
        EXPECT_EQ(title, "Choose files, or a folder to add everything inside it.");
        ASSERT_TRUE(chosen);
        ASSERT_EQ(chosen->size(), 1u);
        EXPECT_EQ((*chosen)[0].path, path.string());

        whenTheDialogShows([](QFileDialog& dialog) { dialog.reject(); });
        EXPECT_FALSE(dialogs.chooseFilesToAdd("Add", "message"));
    }

    TEST(QtStoreDialogs, ChoosingAFolderToGrantStartsInIt)
    {
        TemporaryFolder files;
        auto start = files.createFolder("start");
        QtStoreDialogs dialogs;
        QString directory;
        whenTheDialogShows([&](QFileDialog& dialog) {
            directory = dialog.directory().absolutePath();
            EXPECT_EQ(dialog.fileMode(), QFileDialog::Directory);
            EXPECT_EQ(dialog.labelText(QFileDialog::Accept), "Allow");
            static_cast<QDialog&>(dialog).accept();
        });
        auto chosen = dialogs.chooseFolder(FileURL(start.string(), true), "Allow",
            "Allow access to the folder containing your files.");
        EXPECT_EQ(directory, shown(start));
        ASSERT_TRUE(chosen);
        EXPECT_TRUE(chosen->isDirectory);
        EXPECT_EQ(chosen->path, start.string());
    }

} // namespace
} // namespace sorvik
