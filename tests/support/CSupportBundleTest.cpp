// The support file on a fake program folder and a fake sysfs tree, read back
// by python3's zipfile.

#include "CSupportBundle.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

void Write(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
}

void Link(const QString& target, const QString& link)
{
    QDir().mkpath(QFileInfo(link).path());
    ASSERT_TRUE(QFile::link(target, link));
}

// name → content of every entry, as an independent reader sees the zip.
QMap<QString, QByteArray> ReadZip(const QString& path)
{
    QProcess python;
    python.start("python3", {"-c",
                             "import sys, zipfile, base64\n"
                             "z = zipfile.ZipFile(sys.argv[1])\n"
                             "assert z.testzip() is None\n"
                             "for n in z.namelist():\n"
                             "    print(base64.b64encode(n.encode()).decode(), base64.b64encode(z.read(n)).decode())\n",
                             path});
    python.waitForFinished(60000);
    QMap<QString, QByteArray> entries;
    for (const QByteArray& line : python.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2)
            entries.insert(QString::fromUtf8(QByteArray::fromBase64(parts[0])), QByteArray::fromBase64(parts[1]));
    }
    return entries;
}

struct FakeSystem {
    QTemporaryDir dir;
    QString Path(const QString& relative) const { return dir.filePath(relative); }

    FakeSystem()
    {
        // Program folder: logs of several hours, five crash records, the
        // settings with a password, the archive.
        for (const char* log : {"Log/2026-12-07/2026-12-07_10_LOG.log", "Log/2026-12-07/2026-12-07_00_LOG.log",
                                "Log/2026-12-06/2026-12-06_10_LOG.log", "Log/2026-12-06/2026-12-06_09_LOG.log",
                                "Log/2026-12-01/2026-12-01_10_LOG.log", "Log/2026-12-07/notes.txt",
                                "Log/2026-12-07/2026-12-06_11_LOG.log"})
            Write(Path(log), QByteArray("SEND-[x] 02 02 31 00 33 03  (6 BYTE)\n") + log);
        for (int i = 1; i <= 5; ++i)
            Write(Path(QStringLiteral("Dmp/2026-12-0%1_08-00-00.dmp").arg(i)), "crash " + QByteArray::number(i));
        Write(Path("data/brevane.ini"), "[REPORT]\r\nCOMPANY=한빛정밀\r\n[admin]\r\n password = "
                                        "pbkdf2-sha256$100000$c2FsdA==$SECRETHASH\r\n[OTHER]\r\nX=1\r\n");
        Write(Path("data/archive.sqlite"), "RECORD-MARKER 2026-12-07 123.4 KN");

        // sysfs: one FT260 on hid-generic with a hidraw node, a mouse, and
        // the bridge's tty with its node.
        const QString usb = Path("root/sys/devices/pci0000:00/usb1/1-2");
        Write(usb + "/idVendor", "0403\n");
        Write(usb + "/idProduct", "6030\n");
        const QString hid = usb + "/1-2:1.0/0003:0403:6030.0004";
        QDir().mkpath(hid + "/hidraw/hidraw3");
        QDir().mkpath(Path("root/sys/bus/hid/drivers/hid-generic"));
        Link(Path("root/sys/bus/hid/drivers/hid-generic"), hid + "/driver");
        Link(hid, Path("root/sys/bus/hid/devices/0003:0403:6030.0004"));
        QDir().mkpath(Path("root/sys/devices/mouse/0003:046D:C52B.0001"));
        Link(Path("root/sys/devices/mouse/0003:046D:C52B.0001"), Path("root/sys/bus/hid/devices/0003:046D:C52B.0001"));
        QDir().mkpath(usb + "/1-2:1.1/tty/ttyFT0");
        Link(usb + "/1-2:1.1", usb + "/1-2:1.1/tty/ttyFT0/device");
        Link(usb + "/1-2:1.1/tty/ttyFT0", Path("root/sys/class/tty/ttyFT0"));
        Write(Path("root/dev/ttyFT0"), "");
    }

    SupportBundleInput Input() const
    {
        SupportBundleInput input;
        input.strLogDir = Path("Log/");
        input.strDumpDir = Path("Dmp/");
        input.strIniPath = Path("data/brevane.ini");
        input.strProgramVersion = "0.1.0";
        input.meter = {"PM-01", "SN12345", "V1.2"};
        input.archiveCounts = {{"계측기", "2"}, {"다운로드", "14"}, {"기록", "1520"}};
        input.strRoot = Path("root");
        input.dtNow = QDateTime(QDate(2026, 12, 7), QTime(10, 30, 0));
        return input;
    }
};

} // namespace

TEST(SupportBundle, HoldsRecentLogsNewestDumpsSettingsAndFacts)
{
    FakeSystem fake;
    CSupportBundle bundle(fake.Input());
    const QString zipPath = fake.Path("support.zip");
    Write(zipPath, "an older support file");
    QString error;
    ASSERT_TRUE(bundle.Write(zipPath, &error)) << error.toStdString();
    EXPECT_FALSE(QFile::exists(zipPath + ".part"));

    const QMap<QString, QByteArray> zip = ReadZip(zipPath);
    // The last 24 hours before 10:30 run from 10:30 yesterday: the hour of
    // 10:00 yesterday is in, 09:00 yesterday and last week are out, and so
    // are files that are not hourly logs of their day's folder.
    const QStringList expected{"devices.txt",
                               "brevane.ini",
                               "Log/2026-12-06/2026-12-06_10_LOG.log",
                               "Log/2026-12-07/2026-12-07_00_LOG.log",
                               "Log/2026-12-07/2026-12-07_10_LOG.log",
                               "Dmp/2026-12-05_08-00-00.dmp",
                               "Dmp/2026-12-04_08-00-00.dmp",
                               "Dmp/2026-12-03_08-00-00.dmp",
                               "about.txt"};
    EXPECT_EQ(bundle.Entries(), expected);
    QStringList names = zip.keys();
    QStringList sorted = expected;
    names.sort();
    sorted.sort();
    EXPECT_EQ(names, sorted);

    EXPECT_EQ(zip["Dmp/2026-12-05_08-00-00.dmp"], QByteArray("crash 5"));
    EXPECT_TRUE(zip["Log/2026-12-06/2026-12-06_10_LOG.log"].startsWith("SEND-[x] 02 02 31"));

    const QByteArray ini = zip["brevane.ini"];
    EXPECT_TRUE(ini.contains(QStringLiteral("COMPANY=한빛정밀\r\n").toUtf8()));
    EXPECT_TRUE(ini.contains("X=1\r\n"));
    EXPECT_TRUE(ini.contains(" password =" + QStringLiteral("(삭제됨)").toUtf8() + "\r\n"));
    for (auto it = zip.begin(); it != zip.end(); ++it) {
        EXPECT_FALSE(it.value().contains("SECRETHASH")) << it.key().toStdString();
        EXPECT_FALSE(it.value().contains("pbkdf2")) << it.key().toStdString();
        EXPECT_FALSE(it.value().contains("RECORD-MARKER")) << it.key().toStdString();
    }

    const QString devices = QString::fromUtf8(zip["devices.txt"]);
    EXPECT_TRUE(devices.contains(QStringLiteral("HID 0003:0403:6030.0004  드라이버: hid-generic  hidraw: hidraw3")))
        << devices.toStdString();
    EXPECT_TRUE(devices.contains(QStringLiteral("TTY /dev/ttyFT0")));
    EXPECT_FALSE(devices.contains(QStringLiteral("046D")));

    const QString about = QString::fromUtf8(zip["about.txt"]);
    EXPECT_TRUE(about.contains(QStringLiteral("프로그램 버전: 0.1.0")));
    EXPECT_TRUE(about.contains(QStringLiteral("측정기 S/N SN12345")));
    EXPECT_TRUE(about.contains(QStringLiteral("기록 보관함: 계측기 2, 다운로드 14, 기록 1520")));
}

TEST(SupportBundle, EmptySystemStillWritesAndAFailureSaysWhy)
{
    QTemporaryDir dir;
    SupportBundleInput input;
    input.strLogDir = dir.filePath("Log/");
    input.strDumpDir = dir.filePath("Dmp/");
    input.strIniPath = dir.filePath("missing.ini");
    input.strRoot = dir.filePath("root");
    CSupportBundle bundle(input);
    QString error;
    ASSERT_TRUE(bundle.Write(dir.filePath("s.zip"), &error)) << error.toStdString();
    const QMap<QString, QByteArray> zip = ReadZip(dir.filePath("s.zip"));
    EXPECT_EQ(zip.keys(), (QStringList{"about.txt", "devices.txt"}));
    EXPECT_TRUE(QString::fromUtf8(zip["devices.txt"]).contains(QStringLiteral("보이지 않습니다")));
    EXPECT_TRUE(QString::fromUtf8(zip["about.txt"]).contains(QStringLiteral("장비 조회 기록 없음")));

    // A folder that cannot be written: a reason, nothing left behind.
    EXPECT_FALSE(bundle.Write(dir.filePath("no-such-folder/s.zip"), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(SupportBundle, PasswordLinesAreReplacedWhereverTheyStand)
{
    const QByteArray ini = "[ADMIN]\nPASSWORD=a\n[ADMIN]\nPassword=b\n[REPORT]\nPASSWORD=keep\nNOTE=pbkdf2-sha256$1$x$y";
    EXPECT_EQ(CSupportBundle::SettingsWithoutPassword(ini),
              QStringLiteral("[ADMIN]\nPASSWORD=(삭제됨)\n[ADMIN]\nPassword=(삭제됨)\n[REPORT]\nPASSWORD=keep\nNOTE=(삭제됨)")
                  .toUtf8());
}
