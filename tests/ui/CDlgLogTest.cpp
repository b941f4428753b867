// The packet log: the entry line, the emptying after 2000 entries, the
// hourly files and their absence while "Log Save" is off, and hiding.

#include "CDlgLog.h"
#include "ILinkClock.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QApplication>
#include <QScrollBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTest>

#include <gtest/gtest.h>

#include <ctime>
#include <deque>

namespace {
// Hands out the given times one reading at a time; the last one stays.
class CSequenceClock : public ILinkClock {
public:
    explicit CSequenceClock(std::deque<int64_t> times)
        : m_times(std::move(times))
    {
    }
    void SleepMs(int) override {}
    int64_t NowSeconds() override
    {
        if (m_times.size() > 1) {
            const int64_t t = m_times.front();
            m_times.pop_front();
            return t;
        }
        return m_times.front();
    }
    int64_t MonotonicUs() override { return 0; }
    void Push(int64_t t) { m_times.push_back(t); }

private:
    std::deque<int64_t> m_times;
};

int64_t Local(int year, int month, int day, int hour, int minute, int second)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return int64_t(std::mktime(&tm));
}

QPlainTextEdit* Box(CDlgLog& log)
{
    return log.GetDlgItemAs<QPlainTextEdit>(CDlgLog::IDC_EDIT_PACKET);
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}
}   // namespace

TEST(CDlgLog, EntriesListDirectionTimeHexBytesAndCount)
{
    CSequenceClock clock({Local(2026, 12, 6, 9, 15, 7)});
    CDlgLog log(nullptr, std::string(), clock);
    const uint8_t frame[] = {0x02, 0x02, 0x31, 0x00, 0x31, 0x03};
    const uint8_t high[] = {0xAB, 0xF0};
    log.AppendPacket(0, frame, 6);
    log.AppendPacket(1, nullptr, 0);
    log.AppendPacket(7, high, 2);
    log.AppendPacket(1, high, -3);   // no bytes listed, the count still shown
    log.AppendPacket(0, nullptr, 4); // no bytes to list

    EXPECT_EQ(Box(log)->toPlainText(),
              QStringLiteral("SEND-[2026-12-06 09:15:07] 02 02 31 00 31 03  (6 BYTE)\n"
                             "RECV-[2026-12-06 09:15:07]  (0 BYTE)\n"
                             "RECV-[2026-12-06 09:15:07] AB F0  (2 BYTE)\n"
                             "RECV-[2026-12-06 09:15:07]  (-3 BYTE)\n"
                             "SEND-[2026-12-06 09:15:07]  (4 BYTE)\n"));
    EXPECT_FALSE(log.isVisible());   // entries arrive while hidden
}

TEST(CDlgLog, TheEntryAfterTwoThousandStartsAnEmptyBoxAndClearEmptiesIt)
{
    CSequenceClock clock({Local(2026, 12, 6, 9, 15, 7)});
    CDlgLog log(nullptr, std::string(), clock);
    uint8_t n[2];
    for (int i = 0; i < CDlgLog::kMaxLines; ++i) {
        n[0] = uint8_t(i >> 8);
        n[1] = uint8_t(i);
        log.AppendPacket(0, n, 2);
    }
    EXPECT_EQ(Box(log)->blockCount(), 2001);
    EXPECT_TRUE(Box(log)->toPlainText().startsWith(QStringLiteral("SEND-[2026-12-06 09:15:07] 00 00 ")));

    log.AppendPacket(1, n, 1);
    EXPECT_EQ(Box(log)->toPlainText(), QStringLiteral("RECV-[2026-12-06 09:15:07] 07  (1 BYTE)\n"));

    log.AppendPacket(1, n, 1);
    log.GetDlgItemAs<QPushButton>(CDlgLog::IDC_BUTTON_CLEAR)->click();
    EXPECT_EQ(Box(log)->toPlainText(), QString());
    log.AppendPacket(0, n, 2);
    EXPECT_EQ(Box(log)->toPlainText(), QStringLiteral("SEND-[2026-12-06 09:15:07] 07 CF  (2 BYTE)\n"));
}

TEST(CDlgLog, TheBoxFollowsTheNewestEntry)
{
    CSequenceClock clock({Local(2026, 12, 6, 9, 15, 7)});
    CDlgLog log(nullptr, std::string(), clock);
    log.show();
    const uint8_t frame[] = {0x02, 0x02, 0x31, 0x00, 0x31, 0x03};
    for (int i = 0; i < 300; ++i)
        log.AppendPacket(i % 2, frame, 6);
    QApplication::processEvents();
    const QScrollBar* bar = Box(log)->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST(CDlgLog, NewEntriesKeepTheUsersSelectionAndAScrolledBackView)
{
    CSequenceClock clock({Local(2026, 12, 6, 9, 15, 7)});
    QWidget owner;
    CDlgLog log(&owner, std::string(), clock);
    EXPECT_TRUE(log.windowFlags().testFlag(Qt::Tool));
    EXPECT_FALSE(log.isModal());
    log.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&log));
    const uint8_t frame[] = {0x02, 0x02, 0x31, 0x00, 0x31, 0x03};
    for (int i = 0; i < 300; ++i)
        log.AppendPacket(0, frame, 6);

    // The user selects the second entry and scrolls back to the top.
    QTextCursor select(Box(log)->document()->findBlockByNumber(1));
    select.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    Box(log)->setTextCursor(select);
    const QString selected = select.selectedText();
    QScrollBar* bar = Box(log)->verticalScrollBar();
    bar->setValue(0);

    log.AppendPacket(1, frame, 6);
    EXPECT_EQ(Box(log)->textCursor().selectedText(), selected);
    EXPECT_EQ(Box(log)->blockCount(), 302);
    EXPECT_TRUE(Box(log)->toPlainText().endsWith(QStringLiteral("RECV-[2026-12-06 09:15:07] 02 02 31 00 31 03  (6 BYTE)\n")));
    EXPECT_EQ(bar->value(), 0);

    // Back at the end, the view follows again.
    bar->setValue(bar->maximum());
    const int before = bar->maximum();
    log.AppendPacket(1, frame, 6);
    EXPECT_GT(bar->maximum(), before);
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST(CDlgLog, SavedEntriesGoToHourlyFilesFromASecondClockReading)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    // Each entry reads the clock twice: for its stamp and for its file.
    CSequenceClock clock({Local(2026, 12, 6, 9, 59, 58), Local(2026, 12, 6, 9, 59, 58),
                          Local(2026, 12, 6, 9, 59, 59), Local(2026, 12, 6, 10, 0, 0),
                          Local(2026, 12, 6, 23, 59, 59), Local(2026, 12, 7, 0, 0, 1)});
    // Without its closing separator the folder still takes the day folders.
    CDlgLog log(nullptr, (temp.path() + QStringLiteral("/Log")).toStdString(), clock);
    log.GetDlgItemAs<QCheckBox>(CDlgLog::IDC_CHECK_SAVE)->setChecked(true);
    const uint8_t a = 0x01, b = 0x02, c = 0x03;
    log.AppendPacket(0, &a, 1);
    log.AppendPacket(1, &b, 1);
    log.AppendPacket(0, &c, 1);

    const QString day6 = temp.path() + QStringLiteral("/Log/2026-12-06/");
    EXPECT_EQ(ReadFile(day6 + QStringLiteral("2026-12-06_09_LOG.log")),
              QByteArray("SEND-[2026-12-06 09:59:58] 01  (1 BYTE)\r\n"));
    EXPECT_EQ(ReadFile(day6 + QStringLiteral("2026-12-06_10_LOG.log")),
              QByteArray("RECV-[2026-12-06 09:59:59] 02  (1 BYTE)\r\n"));
    EXPECT_EQ(ReadFile(temp.path() + QStringLiteral("/Log/2026-12-07/2026-12-07_00_LOG.log")),
              QByteArray("SEND-[2026-12-06 23:59:59] 03  (1 BYTE)\r\n"));
    EXPECT_FALSE(QFile::exists(day6 + QStringLiteral("2026-12-06_23_LOG.log")));

    // Files are appended to, entry after entry.
    clock.Push(Local(2026, 12, 7, 0, 30, 0));
    log.AppendPacket(1, &a, 1);
    EXPECT_EQ(ReadFile(temp.path() + QStringLiteral("/Log/2026-12-07/2026-12-07_00_LOG.log")),
              QByteArray("SEND-[2026-12-06 23:59:59] 03  (1 BYTE)\r\n"
                         "RECV-[2026-12-07 00:00:01] 01  (1 BYTE)\r\n"));
}

TEST(CDlgLog, NothingIsWrittenWhileLogSaveIsOffAndFailuresAreSilent)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    CSequenceClock clock({Local(2026, 12, 6, 9, 15, 7)});
    CDlgLog log(nullptr, (temp.path() + QStringLiteral("/Log/")).toStdString(), clock);
    const uint8_t a = 0x55;
    log.AppendPacket(0, &a, 1);
    EXPECT_TRUE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());

    // A log folder below a plain file cannot be made: the entry is still shown.
    QFile blocker(temp.path() + QStringLiteral("/file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    CDlgLog blocked(nullptr, (temp.path() + QStringLiteral("/file/Log/")).toStdString(), clock);
    blocked.GetDlgItemAs<QCheckBox>(CDlgLog::IDC_CHECK_SAVE)->setChecked(true);
    blocked.AppendPacket(1, &a, 1);
    EXPECT_EQ(Box(blocked)->toPlainText(), QStringLiteral("RECV-[2026-12-06 09:15:07] 55  (1 BYTE)\n"));
}

TEST(CDlgLog, CloseEscapeAndToggleOnlyHideTheWindow)
{
    CSequenceClock clock({Local(2026, 12, 6, 9, 15, 7)});
    CDlgLog log(nullptr, std::string(), clock);
    EXPECT_EQ(log.windowTitle(), QStringLiteral("Log"));
    EXPECT_FALSE(log.GetDlgItem(IDOK)->isEnabled());
    EXPECT_TRUE(log.GetDlgItem(IDOK)->isHidden());
    EXPECT_FALSE(log.GetDlgItemAs<QCheckBox>(CDlgLog::IDC_CHECK_SAVE)->isChecked());
    EXPECT_TRUE(Box(log)->isReadOnly());
    EXPECT_EQ(Box(log)->lineWrapMode(), QPlainTextEdit::NoWrap);

    log.ToggleVisible();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&log));
    QTest::keyClick(&log, Qt::Key_Escape);
    EXPECT_FALSE(log.isVisible());

    log.ToggleVisible();
    EXPECT_TRUE(log.isVisible());
    log.m_btnCancel->click();
    EXPECT_FALSE(log.isVisible());

    log.ToggleVisible();
    log.close();   // the caption's close box
    EXPECT_FALSE(log.isVisible());
    const uint8_t a = 0x01;
    log.AppendPacket(0, &a, 1);
    EXPECT_EQ(Box(log)->blockCount(), 2);
}
