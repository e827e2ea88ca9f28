#include "app/shell/file_manager_reveal.h"

#include "tests/app/store/store_test_support.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::waitUntil;

    struct Opened {
        std::vector<QUrl> folders;
        FileManagerReveal::OpenFolder opener()
        {
            return [this](const QUrl& folder) { folders.push_back(folder); };
        }
    };

    TEST(FileManagerReveal, WithoutABusTheFolderOpensAtOnce)
    {
        Opened opened;
        FileManagerReveal reveal(QDBusConnection(QStringLiteral("sorvik-no-bus")), opened.opener());
        QSignalSpy revealed(&reveal, &FileManagerReveal::revealed);
        reveal.reveal({ FileURL("/home/me/Photos/a.jpg"), FileURL("/home/me/b.jpg") });
        ASSERT_EQ(opened.folders.size(), 1u);
        EXPECT_EQ(opened.folders[0].toEncoded(), "file:///home/me/Photos/");
        ASSERT_EQ(revealed.count(), 1);
        EXPECT_FALSE(revealed[0][0].toBool());

        reveal.reveal({});
        EXPECT_EQ(opened.folders.size(), 1u);
    }

    TEST(FileManagerReveal, TheFolderToOpenKeepsTheBytesOfItsName)
    {
        EXPECT_EQ(FileManagerReveal::folderToOpen(FileURL("/srv/caf\xE9/\xFF.txt")).toEncoded(),
            "file:///srv/caf%E9/");
        // A folder is opened itself.
        EXPECT_EQ(FileManagerReveal::folderToOpen(FileURL("/data/Backups/1A2B", true)).toEncoded(),
            "file:///data/Backups/1A2B/");
        EXPECT_EQ(
            FileManagerReveal::folderToOpen(FileURL("/a b/c#d.txt")).toEncoded(), "file:///a%20b/");
    }

    // A file manager on the test's own bus, answering as the desktop's would.
    class FakeFileManager : public QObject {
        Q_OBJECT
        Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

    public:
        QList<QStringList> shown;
        QStringList startupIds;
        bool fails = false;

    public slots:
        void ShowItems(
            const QStringList& uris, const QString& startupId, const QDBusMessage& message)
        {
            shown.append(uris);
            startupIds.append(startupId);
            if (fails) {
                message.setDelayedReply(true);
                QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName)
                    .send(
                        message.createErrorReply(QDBusError::Failed, QStringLiteral("no window")));
            }
        }

    public:
        static inline const QString connectionName = QStringLiteral("sorvik-fake-file-manager");
    };

    // These run on the private bus of `dbus-run-session` (CTest's
    // FileManagerRevealOnAPrivateBus), never on a desktop's own session bus.
    class FileManagerRevealBus : public ::testing::Test {
    protected:
        void SetUp() override
        {
            if (qEnvironmentVariable("SORVIK_TEST_PRIVATE_BUS") != QLatin1String("1"))
                GTEST_SKIP() << "runs on a private bus only";
            ASSERT_TRUE(QDBusConnection::sessionBus().isConnected());
        }

        void TearDown() override
        {
            auto bus = QDBusConnection::connectToBus(
                QDBusConnection::SessionBus, FakeFileManager::connectionName);
            bus.unregisterObject(QString::fromLatin1(FileManagerReveal::path));
            bus.unregisterService(QString::fromLatin1(FileManagerReveal::service));
            QDBusConnection::disconnectFromBus(FakeFileManager::connectionName);
        }

        /// Starts the fake file manager on a connection of its own.
        bool startFileManager()
        {
            auto bus = QDBusConnection::connectToBus(
                QDBusConnection::SessionBus, FakeFileManager::connectionName);
            return bus.isConnected()
                && bus.registerObject(QString::fromLatin1(FileManagerReveal::path), &fileManager,
                    QDBusConnection::ExportAllSlots)
                && bus.registerService(QString::fromLatin1(FileManagerReveal::service));
        }

        FakeFileManager fileManager;
        Opened opened;
        FileManagerReveal reveal { QDBusConnection::sessionBus(), opened.opener() };
        QSignalSpy revealed { &reveal, &FileManagerReveal::revealed };
    };

    TEST_F(FileManagerRevealBus, TheFileManagerShowsTheFilesByTheirExactBytes)
    {
        ASSERT_TRUE(startFileManager());
        FileURL odd("/home/me/caf\xE9 \xFF.jpg");
        reveal.reveal({ odd, FileURL("/home/me/b c.jpg") });
        // Asked, not waited for: nothing has been answered yet.
        EXPECT_EQ(revealed.count(), 0);
        EXPECT_TRUE(fileManager.shown.isEmpty());

        ASSERT_TRUE(revealed.wait(5000));
        EXPECT_TRUE(revealed[0][0].toBool());
        ASSERT_EQ(fileManager.shown.size(), 1);
        EXPECT_EQ(fileManager.shown[0],
            (QStringList { "file:///home/me/caf%E9%20%FF.jpg", "file:///home/me/b%20c.jpg" }));
        EXPECT_EQ(fileManager.startupIds, QStringList { QString() });
        EXPECT_TRUE(opened.folders.empty());
    }

    TEST_F(FileManagerRevealBus, WhenNoFileManagerAnswersTheFolderOpens)
    {
        ASSERT_FALSE(QDBusConnection::sessionBus().interface()->isServiceRegistered(
            QString::fromLatin1(FileManagerReveal::service)));
        reveal.reveal({ FileURL("/home/me/Photos/a.jpg") });
        ASSERT_TRUE(revealed.wait(5000));
        EXPECT_FALSE(revealed[0][0].toBool());
        ASSERT_EQ(opened.folders.size(), 1u);
        EXPECT_EQ(opened.folders[0].toEncoded(), "file:///home/me/Photos/");
    }

    TEST_F(FileManagerRevealBus, AFileManagerThatFailsLeadsToTheFolder)
    {
        fileManager.fails = true;
        ASSERT_TRUE(startFileManager());
        reveal.reveal({ FileURL("/srv/x.txt") });
        ASSERT_TRUE(revealed.wait(5000));
        EXPECT_FALSE(revealed[0][0].toBool());
        EXPECT_EQ(fileManager.shown.size(), 1);
        ASSERT_EQ(opened.folders.size(), 1u);
        EXPECT_EQ(opened.folders[0].toEncoded(), "file:///srv/");
    }

} // namespace
} // namespace sorvik

#include "file_manager_reveal_test.moc"
