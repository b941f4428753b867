// Showing a saved file: the freedesktop file-manager call on a private
// session bus with a stand-in file manager, and the folder fallback when
// nobody on the bus can show files.

#include "CFileReveal.h"

#include <QDBusConnection>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

class CFakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public slots:
    void ShowItems(const QStringList& uris, const QString& startupId)
    {
        m_vUris << uris;
        m_strStartupId = startupId;
    }

public:
    QStringList m_vUris;
    QString m_strStartupId = QStringLiteral("unset");
};

class CUrlCatcher : public QObject {
    Q_OBJECT
public slots:
    void Open(const QUrl& url) { m_vUrls << url; }

public:
    QList<QUrl> m_vUrls;
};

// A session bus of our own, so that no real file manager is asked and none
// can be started (its service folder is empty). One bus for the whole run:
// the program's session-bus connection is made once per process.
class FileRevealTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!QFile::exists(QStringLiteral("/usr/bin/dbus-daemon")))
            return;
        s_pDir = new QTemporaryDir;
        const QString config = s_pDir->path() + QStringLiteral("/bus.conf");
        QFile conf(config);
        if (!conf.open(QIODevice::WriteOnly))
            return;
        conf.write(QStringLiteral(
                       "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                       " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                       "<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                       "<auth>EXTERNAL</auth><servicedir>%1/services</servicedir>"
                       "<policy context=\"default\"><allow send_destination=\"*\"/><allow own=\"*\"/>"
                       "<allow receive_sender=\"*\"/></policy></busconfig>\n")
                       .arg(s_pDir->path())
                       .toUtf8());
        conf.close();
        QDir(s_pDir->path()).mkdir(QStringLiteral("services"));
        s_pDaemon = new QProcess;
        s_pDaemon->start(QStringLiteral("/usr/bin/dbus-daemon"),
                         {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                          QStringLiteral("--print-address")});
        if (!s_pDaemon->waitForStarted(5000))
            return;
        while (!s_pDaemon->canReadLine())
            if (!s_pDaemon->waitForReadyRead(5000))
                return;
        s_strAddress = QString::fromUtf8(s_pDaemon->readLine()).trimmed();
        // The program's connection is the session bus; it must be this one.
        qputenv("DBUS_SESSION_BUS_ADDRESS", s_strAddress.toUtf8());
    }
    static void TearDownTestSuite()
    {
        if (s_pDaemon) {
            s_pDaemon->terminate();
            s_pDaemon->waitForFinished(5000);
        }
        delete s_pDaemon;
        delete s_pDir;
        s_pDaemon = nullptr;
        s_pDir = nullptr;
    }
    void SetUp() override
    {
        if (!QFile::exists(QStringLiteral("/usr/bin/dbus-daemon")))
            GTEST_SKIP() << "dbus-daemon is not installed";
        ASSERT_FALSE(s_strAddress.isEmpty()) << "the private bus did not start";
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected());
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "Open");
    }
    void TearDown() override
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QDBusConnection::disconnectFromBus(QStringLiteral("fake"));
        // Let the bus see the name go before the next test looks for it.
        QTest::qWait(50);
    }

    static inline QTemporaryDir* s_pDir = nullptr;
    static inline QProcess* s_pDaemon = nullptr;
    static inline QString s_strAddress;
    QTemporaryDir dir;
    CUrlCatcher catcher;
};

TEST_F(FileRevealTest, AsksTheFileManagerToSelectTheFile)
{
    CFakeFileManager manager;
    QDBusConnection fake = QDBusConnection::connectToBus(s_strAddress, QStringLiteral("fake"));
    ASSERT_TRUE(fake.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager,
                                    QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(fake.registerService(QStringLiteral("org.freedesktop.FileManager1")));

    const QString path = dir.path() + QStringLiteral("/월간 보고#1.xls");
    EXPECT_TRUE(CFileReveal::ShowInFileManager(path));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !manager.m_vUris.isEmpty(); }, 5000));
    ASSERT_EQ(manager.m_vUris.size(), 1);
    const QString uri = manager.m_vUris[0];
    EXPECT_TRUE(uri.startsWith(QStringLiteral("file:///"))) << uri.toStdString();
    EXPECT_FALSE(uri.contains(QLatin1Char(' '))) << uri.toStdString();
    EXPECT_EQ(QUrl(uri).toLocalFile(), path);
    EXPECT_EQ(manager.m_strStartupId, QString());
    QTest::qWait(50);
    EXPECT_TRUE(catcher.m_vUrls.isEmpty());
}

TEST_F(FileRevealTest, OpensTheFolderWhenNoFileManagerCanShowIt)
{
    const QString path = dir.path() + QStringLiteral("/report.xls");
    EXPECT_FALSE(CFileReveal::ShowInFileManager(path));
    ASSERT_EQ(catcher.m_vUrls.size(), 1);
    EXPECT_EQ(catcher.m_vUrls[0], QUrl::fromLocalFile(dir.path()));
    // Told not to, it opens nothing and leaves the offer to the caller.
    EXPECT_FALSE(CFileReveal::ShowInFileManager(path, false));
    EXPECT_EQ(catcher.m_vUrls.size(), 1);

    // A name on the bus that does not serve the call: the folder again.
    QDBusConnection fake = QDBusConnection::connectToBus(s_strAddress, QStringLiteral("fake"));
    ASSERT_TRUE(fake.registerService(QStringLiteral("org.freedesktop.FileManager1")));
    CFileReveal::ShowInFileManager(path);
    ASSERT_TRUE(QTest::qWaitFor([&] { return catcher.m_vUrls.size() == 2; }, 5000));
    EXPECT_EQ(catcher.m_vUrls[1], QUrl::fromLocalFile(dir.path()));
}

}   // namespace

#include "CFileRevealTest.moc"
