// "지원 파일 만들기" of the log window: the zip holds the hour's packet log
// the window wrote, as python3's zipfile reads it.

#include "CDlgLog.h"
#include "CManualClock.h"
#include "CSupportBundle.h"
#include "CUiPrompts.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(CDlgLogSupport, SupportFileHoldsTheLoggedHourAndFailsWithAReason)
{
    QTemporaryDir dir;
    CManualClock clock(QDateTime::currentSecsSinceEpoch());
    CDlgLog log(nullptr, dir.filePath(QStringLiteral("Log/")).toStdString(), clock);
    log.GetDlgItemAs<QCheckBox>(CDlgLog::IDC_CHECK_SAVE)->setChecked(true);
    const uint8_t frame[] = {0x02, 0x02, 0x31, 0x00, 0x31, 0x03};
    log.AppendPacket(0, frame, int(sizeof frame));

    std::vector<QString> messages;
    CUiPrompts::SetInfoHook([&](const QString& text, const QString&) { messages.push_back(text); });
    QString target = dir.filePath(QStringLiteral("support.zip"));
    CUiPrompts::SetSaveFileHook([&](const QString&, const QString&, const QString&) { return target; });
    log.GetDlgItemAs<QPushButton>(CDlgLog::IDC_BUTTON_SUPPORT)->click();
    ASSERT_TRUE(QFile::exists(target)) << (messages.empty() ? std::string() : messages.back().toStdString());

    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1])\n"
                                 "print('\\n'.join(z.namelist()))\n"
                                 "print([z.read(n).decode() for n in z.namelist() if n.endswith('_LOG.log')][0])"),
                  target});
    ASSERT_TRUE(python.waitForFinished(30000));
    const QString out = QString::fromUtf8(python.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QStringLiteral("about.txt"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("SEND-[")) && out.contains(QStringLiteral("02 02 31 00 31 03")))
        << out.toStdString() << python.readAllStandardError().toStdString();

    // A folder that does not exist: a reason, no file.
    target = dir.filePath(QStringLiteral("missing/support.zip"));
    messages.clear();
    log.OnSupportFile();
    EXPECT_FALSE(QFile::exists(target));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_FALSE(messages[0].isEmpty());
    CUiPrompts::ClearHooks();
}
