// The main window on the simulated meter, with a driven clock: detection,
// the device search, identity and clock, the two record downloads, the
// selection buttons, the information text and the exit question.

#include "CArchiveSink.h"
#include "CBrevaneDlg.h"
#include "CDlgLog.h"
#include "CIniSysInfo.h"
#include "CManualClock.h"
#include "CSimBridge.h"
#include "CSimMeter.h"
#include "CSpreadSheet.h"
#include "CSqliteArchive.h"
#include "CUiPrompts.h"
#include "UiTestSupport.h"

#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <atomic>
#include <chrono>
#include <deque>
#include <thread>

namespace {

// A bridge that is present but may not be opened by this user.
class CLockedBridge : public IBridgeLibrary {
public:
    std::vector<HidInterfaceInfo> EnumerateHidInterfaces() override
    {
        return {{"/dev/hidraw7", true, 0x0403, 0x6030}};
    }
    int OpenByDevicePath(const std::string&, std::unique_ptr<IBridgeDevice>*) override
    {
        return BRIDGE_ACCESS_DENIED;
    }
};

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest()
        : clock(LocalSeconds(2026, 12, 7, 10, 0, 0))
        , meter(clock)
        , bridge(meter, clock)
    {
        sysInfo.ComposePaths((dir.path() + QStringLiteral("/brevane")).toStdString(),
                             [](const std::string&) { return true; });
        sysInfo.m_szCompany = "브레베인 주식회사";
        sysInfo.m_szReportName = "월간 점검";
        sysInfo.m_szUserName = "홍길동";
        CUiPrompts::SetInfoHook([this](const QString& text, const QString& caption) {
            messages.push_back({text, caption});
        });
        CUiPrompts::SetYesNoHook([this](const QString& text, const QString& caption) {
            questions.push_back({text, caption});
            if (answers.empty())
                return false;
            const bool answer = answers.front();
            answers.pop_front();
            return answer;
        });
        meter.SetStoredRecords({
            Rec(2026, 12, 6, 9, 0, 0, 98),
            Rec(2026, 12, 7, 8, 30, 0, 1234, 0),
            Rec(2026, 12, 7, 23, 59, 59, 65535, 2),
            Rec(2026, 12, 8, 0, 0, 0, 500, 7),
        });
        dlg = std::make_unique<CBrevaneDlg>(bridge, clock, sysInfo);
        dlg->InitDialog();
    }
    ~MainWindowTest() override { CUiPrompts::ClearHooks(); }

    QString Info(int col, int row) { return dlg->InfoGrid().GetCellText(col, row); }
    QString Data(int sheet, int col, int row)
    {
        dlg->DataGrid().SetAddressedSheet(sheet);
        const QString text = dlg->DataGrid().GetCellText(col, row);
        dlg->DataGrid().SetAddressedSheet(dlg->DataMode() + 1);
        return text;
    }
    int Rows(int sheet)
    {
        dlg->DataGrid().SetAddressedSheet(sheet);
        const int rows = dlg->DataGrid().GetRowCount();
        dlg->DataGrid().SetAddressedSheet(dlg->DataMode() + 1);
        return rows;
    }
    QWidget* Item(int id) { return dlg->GetDlgItem(id); }
    QString LastMessage() { return messages.empty() ? QString() : messages.back().first; }
    void SetDates(int y1, int m1, int d1, int y2, int m2, int d2)
    {
        dlg->m_dtStart->setDate(QDate(y1, m1, d1));
        dlg->m_dtEnd->setDate(QDate(y2, m2, d2));
    }

    QTemporaryDir dir;
    CManualClock clock;
    CSimMeter meter;
    CSimBridge bridge;
    CIniSysInfo sysInfo;
    std::unique_ptr<CBrevaneDlg> dlg;
    std::vector<std::pair<QString, QString>> messages;
    std::vector<std::pair<QString, QString>> questions;
    std::deque<bool> answers;
};

TEST_F(MainWindowTest, DetectionDrivesTitleAndButtons)
{
    const int detected[] = {CBrevaneDlg::IDC_BUTTON_SEARCH, CBrevaneDlg::IDC_BUTTON_QUERY,
                            CBrevaneDlg::IDC_BUTTON_READ_TIME, CBrevaneDlg::IDC_BUTTON_SET_TIME,
                            CBrevaneDlg::IDC_EDIT_NUMBER};
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("압력 계측기 : 연결장비 없음"));
    for (int id : detected)
        EXPECT_FALSE(Item(id)->isEnabled()) << id;
    EXPECT_TRUE(Item(CBrevaneDlg::IDC_BUTTON_EXCEL)->isEnabled());
    EXPECT_FALSE(Item(CBrevaneDlg::IDC_BUTTON_ADMIN)->isHidden());
    EXPECT_FALSE(Item(CBrevaneDlg::IDC_BUTTON_LOG)->isHidden());
    EXPECT_GE(dlg->width(), 1280);
    EXPECT_GE(dlg->height(), 720);

    dlg->OnTimer(CBrevaneDlg::TIMER_DETECT);

    WaitIdle(dlg->Session());
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("압력 계측기 : 장비 연결 성공"));
    for (int id : detected)
        EXPECT_TRUE(Item(id)->isEnabled()) << id;

    bridge.SetUnplugged(true);
    dlg->OnTimer(CBrevaneDlg::TIMER_DETECT);
    WaitIdle(dlg->Session());
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("압력 계측기 : 연결장비 없음"));
    for (int id : detected)
        EXPECT_FALSE(Item(id)->isEnabled()) << id;

    bridge.SetUnplugged(false);
    dlg->OnTimer(CBrevaneDlg::TIMER_DETECT);
    WaitIdle(dlg->Session());
    EXPECT_TRUE(Item(CBrevaneDlg::IDC_BUTTON_SEARCH)->isEnabled());
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainWindowTest, LayoutFollowsTheWindowSize)
{
    EXPECT_EQ(dlg->minimumSize(), QSize(1280, 720));
    dlg->show();
    dlg->resize(1500, 900);
    const int W = dlg->width();
    const int H = dlg->height();
    ASSERT_EQ(W, 1500);
    const QRect S = Item(CBrevaneDlg::IDC_BUTTON_SEARCH)->geometry();
    const int bottom = S.y() + S.height();
    const int right = S.x() + S.width();
    EXPECT_EQ(Item(CBrevaneDlg::IDC_GRID_INFO)->geometry(), QRect(right + 10, S.y(), W - right - 20, bottom - S.y()));
    EXPECT_EQ(Item(CBrevaneDlg::IDC_GRID_DATA)->geometry(), QRect(10, bottom + 45, W - 20, H - bottom - 95));
    EXPECT_EQ(Item(CBrevaneDlg::IDC_BUTTON_QUERY)->geometry(), QRect(W - 120, bottom + 10, 110, 25));
    EXPECT_EQ(Item(CBrevaneDlg::IDC_STATIC_START)->geometry(), QRect(W - 575, bottom + 10, 145, 25));
    EXPECT_EQ(Item(CBrevaneDlg::IDC_RADIO_OUTPUT)->geometry(), QRect(131, bottom + 20, 120, 25));
    EXPECT_EQ(Item(CBrevaneDlg::IDC_BUTTON_SET_TIME)->geometry(), QRect(285, H - 42, 140, 34));
    EXPECT_EQ(Item(CBrevaneDlg::IDC_EDIT_NUMBER)->geometry(), QRect(740, H - 37, 120, 24));
    EXPECT_EQ(Item(CBrevaneDlg::IDC_BUTTON_EXCEL)->geometry(), QRect(W - 130, H - 40, 120, 30));
    EXPECT_EQ(Item(CBrevaneDlg::IDC_BUTTON_LOG)->geometry(), QRect(W - 505, H - 40, 120, 30));

    // The header grid's four columns and rows fill it; the record columns
    // keep their proportions and fill the records grid's width.
    CSpreadSheet& info = dlg->InfoGrid();
    EXPECT_NEAR(info.GetColumnWidth(1), info.GetColumnWidth(4), 1e-6);
    CSpreadSheet& data = dlg->DataGrid();
    EXPECT_NEAR(data.GetColumnWidth(3) / data.GetColumnWidth(2), 20.0 / 7.0, 1e-6);
}

TEST_F(MainWindowTest, HeaderGridShowsLabelsAndStoredReportTexts)
{
    EXPECT_EQ(Info(1, 1), QStringLiteral("작성 일시"));
    EXPECT_EQ(Info(3, 3), QStringLiteral("측정기 S/N"));
    EXPECT_EQ(Info(3, 4), QStringLiteral("버전 정보"));
    EXPECT_EQ(Info(2, 2), QStringLiteral("월간 점검"));
    EXPECT_EQ(Info(4, 1), QStringLiteral("브레베인 주식회사"));
    EXPECT_EQ(Info(4, 2), QStringLiteral("홍길동"));
    dlg->InfoGrid().SetActiveCell(2, 2);
    EXPECT_EQ(dlg->InfoGrid().GetCellType(), EGridCellType::Edit);
    dlg->InfoGrid().SetActiveCell(2, 3);
    EXPECT_EQ(dlg->InfoGrid().GetCellType(), EGridCellType::StaticText);
}

TEST_F(MainWindowTest, DeviceSearchInMemoryModeReadsIdentityAndTodaysRecords)
{
    dlg->OnTimer(CBrevaneDlg::TIMER_DETECT);
    WaitIdle(dlg->Session());
    clock.AdvanceUs(3'000'000);
    dlg->OnDeviceSearch();
    WaitIdle(dlg->Session());

    EXPECT_TRUE(messages.empty()) << LastMessage().toStdString();
    EXPECT_EQ(Info(2, 3), QStringLiteral("SIM-METER"));
    EXPECT_EQ(Info(4, 3), QStringLiteral("SN250100042"));
    EXPECT_EQ(Info(4, 4), QStringLiteral("1.05"));
    EXPECT_TRUE(Info(2, 1).startsWith(QStringLiteral("2026-12-07 10:00:0"))) << Info(2, 1).toStdString();
    EXPECT_EQ(dlg->m_dtStart->date(), QDate(2026, 12, 7));

    // Today from 00:00:00 to 23:59:59: the record at 23:59:59 is in, the
    // one at midnight after is not.
    ASSERT_EQ(Rows(1), 2);
    EXPECT_EQ(Data(1, 1, 1), QStringLiteral("1"));
    EXPECT_EQ(Data(1, 2, 1), QStringLiteral("1"));
    EXPECT_EQ(Data(1, 3, 1), QStringLiteral("2026-12-07 08:30:00"));
    EXPECT_EQ(Data(1, 4, 1), QStringLiteral("12.5 톤"));
    EXPECT_EQ(Data(1, 5, 1), QStringLiteral("VR70"));
    EXPECT_EQ(Data(1, 2, 2), QStringLiteral("2"));
    EXPECT_EQ(Data(1, 3, 2), QStringLiteral("2026-12-07 23:59:59"));
    EXPECT_EQ(Data(1, 4, 2), QStringLiteral("668.7 톤"));
    EXPECT_EQ(Data(1, 5, 2), QStringLiteral("VR300"));
}

TEST_F(MainWindowTest, MemoryRangeAndEmptyRange)
{
    dlg->OnTimer(CBrevaneDlg::TIMER_DETECT);
    WaitIdle(dlg->Session());
    SetDates(2026, 12, 6, 2026, 12, 8);
    dlg->QueryRecords();
    WaitIdle(dlg->Session());
    ASSERT_EQ(Rows(1), 4);
    EXPECT_EQ(Data(1, 4, 1), QStringLiteral(" 1.0 톤"));
    EXPECT_EQ(Data(1, 5, 4), QString());   // unknown load-cell type

    SetDates(2026, 11, 1, 2026, 11, 30);
    dlg->QueryRecords();
    WaitIdle(dlg->Session());
    EXPECT_EQ(Rows(1), 0);
    EXPECT_EQ(LastMessage(), QStringLiteral("메모리 데이터 없음!"));
}

TEST_F(MainWindowTest, SelectionButtonsActOnMemoryOnly)
{
    dlg->OnTimer(CBrevaneDlg::TIMER_DETECT);
    WaitIdle(dlg->Session());
    SetDates(2026, 12, 6, 2026, 12, 8);
    dlg->QueryRecords();
    WaitIdle(dlg->Session());
    ASSERT_EQ(Rows(1), 4);
    CSpreadSheet& g = dlg->DataGrid();
    g.SetInteger(1, 2, 0);
    g.SetInteger(1, 4, 0);
    dlg->OnInvert();
    int v[5] = {};
    for (int r = 1; r <= 4; ++r)
        g.GetInteger(1, r, &v[r]);
    EXPECT_EQ(v[1], 0);
    EXPECT_EQ(v[2], 1);
    EXPECT_EQ(v[3], 0);
    EXPECT_EQ(v[4], 1);

    dlg->OnModeOutput();
    dlg->OnSelectAll();
    dlg->OnModeMemory();
    g.GetInteger(1, 1, &v[1]);
    EXPECT_EQ(v[1], 0);
    dlg->OnSelectAll();
    for (int r = 1; r <= 4; ++r) {
        g.GetInteger(1, r, &v[r]);
        EXPECT_EQ(v[r], 1);
    }
    dlg->OnClearAll();
    for (int r = 1; r <= 4; ++r) {
        g.GetInteger(1, r, &v[r]);
        EXPECT_EQ(v[r], 0);
    }
}

TEST_F(MainWindowTest, OutputModeSearchAndRepeatedQuery)
{
    std::vector<CSimMeter::Record> series;
    for (int i = 0; i < 5; ++i)
        series.push_back(Rec(2026, 12, 7, 9, 0, i, 1000 + i * 10, i % 3));
    meter.SetOutputSeries(series);
    dlg->OnTimer(CBrevaneDlg::TIMER_DETECT);
    WaitIdle(dlg->Session());
    dlg->OnModeOutput();
    EXPECT_TRUE(Item(CBrevaneDlg::IDC_DATE_START)->isHidden());
    dlg->OnDeviceSearch();
    WaitIdle(dlg->Session());

    EXPECT_TRUE(messages.empty()) << LastMessage().toStdString();
    EXPECT_EQ(Rows(1), 0);
    ASSERT_EQ(Rows(2), 8);
    EXPECT_EQ(Data(2, 1, 1), QStringLiteral("측정횟수"));
    EXPECT_EQ(Data(2, 1, 2), QStringLiteral("5"));
    EXPECT_EQ(Data(2, 3, 2), QStringLiteral("100.0 KN"));   // minimum 1000 x 0.1 kN
    EXPECT_EQ(Data(2, 4, 2), QStringLiteral("104.0 KN"));
    EXPECT_EQ(Data(2, 5, 3), QStringLiteral("기타"));
    EXPECT_EQ(Data(2, 1, 4), QStringLiteral("1"));
    EXPECT_EQ(Data(2, 2, 4), QStringLiteral("2026-12-07 09:00:00"));
    EXPECT_EQ(Data(2, 3, 5), QStringLiteral("101.0 KN"));
    EXPECT_EQ(Data(2, 4, 6), QStringLiteral("VR300"));
    EXPECT_EQ(Data(2, 5, 8), QStringLiteral("-"));

    // A shorter series replaces every row from 4 down and rewrites row 2.
    meter.SetOutputSeries({Rec(2026, 12, 7, 11, 0, 0, 65535, 0), Rec(2026, 12, 7, 11, 0, 1, 7, 0)});
    dlg->QueryRecords();
    WaitIdle(dlg->Session());
    ASSERT_EQ(Rows(2), 5);
    EXPECT_EQ(Data(2, 1, 1), QStringLiteral("측정횟수"));
    EXPECT_EQ(Data(2, 1, 2), QStringLiteral("2"));
    EXPECT_EQ(Data(2, 1, 3), QStringLiteral("No"));
    EXPECT_EQ(Data(2, 3, 4), QStringLiteral("6553.5 KN"));
    EXPECT_EQ(Data(2, 3, 5), QStringLiteral("0.7 KN"));
}

TEST_F(MainWindowTest, ClockSetThenReadBack)
{
    dlg->OnTimer(CBrevaneDlg::TIMER_DETECT);
    WaitIdle(dlg->Session());
    answers = {false};
    dlg->SetDeviceClock();
    WaitIdle(dlg->Session());
    ASSERT_EQ(questions.size(), 1u);
    // The question names the time that would be written.
    const QString asked = QDateTime::fromSecsSinceEpoch(clock.NowSeconds()).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    EXPECT_EQ(questions[0].first, QStringLiteral("장비시간을 %1 (으)로 설정하시겠습니까?").arg(asked));
    EXPECT_EQ(questions[0].second, QStringLiteral("설정"));
    EXPECT_TRUE(messages.empty());

    meter.SetMeterTime(LocalSeconds(2001, 1, 1, 0, 0, 0));
    answers = {true};
    const int64_t setAt = clock.NowSeconds();
    dlg->SetDeviceClock();
    WaitIdle(dlg->Session());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].first, QStringLiteral("성공"));
    // The clock text shows what was written.
    EXPECT_EQ(dlg->findChild<QLabel*>(QString::number(CBrevaneDlg::IDC_STATIC_CLOCK))->text(),
              QDateTime::fromSecsSinceEpoch(setAt).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));

    clock.AdvanceUs(5'000'000);
    dlg->ReadDeviceClock();
    WaitIdle(dlg->Session());
    auto* clockText = dlg->findChild<QLabel*>(QString::number(CBrevaneDlg::IDC_STATIC_CLOCK));
    const QString expected = QDateTime::fromSecsSinceEpoch(setAt + 5).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QString shown = clockText->text();
    // The set and the read each take a few tens of milliseconds on the wire.
    EXPECT_TRUE(shown == expected
                || shown == QDateTime::fromSecsSinceEpoch(setAt + 6).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
        << shown.toStdString() << " vs " << expected.toStdString();
    EXPECT_EQ(dlg->findChild<QLineEdit*>(QString::number(CBrevaneDlg::IDC_EDIT_NUMBER))->text(),
              QStringLiteral("000-1234-5678"));
}

TEST_F(MainWindowTest, ClockReadFailureAndUnsetClock)
{
    dlg->OnTimer(CBrevaneDlg::TIMER_DETECT);
    WaitIdle(dlg->Session());
    auto* clockText = dlg->findChild<QLabel*>(QString::number(CBrevaneDlg::IDC_STATIC_CLOCK));
    meter.SetMeterTime(LocalSeconds(1970, 6, 1, 0, 0, 0));
    dlg->ReadDeviceClock();
    WaitIdle(dlg->Session());
    EXPECT_EQ(clockText->text(), QStringLiteral("0000-00-00 00:00:00"));
    EXPECT_TRUE(messages.empty());

    meter.Faults().SetByName("no-reply");
    dlg->ReadDeviceClock();
    WaitIdle(dlg->Session());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].first.startsWith(QStringLiteral("장비시간 읽기 실패 : ")))
        << messages[0].first.toStdString();
    EXPECT_TRUE(messages[0].first.contains(QStringLiteral("UART 읽기 실패 (-1092)")))
        << messages[0].first.toStdString();
    EXPECT_EQ(clockText->text(), QStringLiteral("0000-00-00 00:00:00"));
}

TEST_F(MainWindowTest, SilentMeterLeavesIdentityEmptyAndTypedTextsAlone)
{
    dlg->OnTimer(CBrevaneDlg::TIMER_DETECT);
    WaitIdle(dlg->Session());
    dlg->OnDeviceSearch();
    WaitIdle(dlg->Session());
    ASSERT_EQ(Info(2, 3), QStringLiteral("SIM-METER"));
    dlg->InfoGrid().SetCellText(2, 2, QStringLiteral("직접 입력한 보고서"));

    meter.Faults().SetByName("no-reply");
    messages.clear();
    dlg->OnDeviceSearch();
    WaitIdle(dlg->Session());
    EXPECT_EQ(Info(2, 3), QString());
    EXPECT_EQ(Info(4, 3), QString());
    EXPECT_EQ(Info(4, 4), QString());
    EXPECT_EQ(Info(2, 2), QStringLiteral("직접 입력한 보고서"));
    EXPECT_EQ(Info(4, 1), QStringLiteral("브레베인 주식회사"));
    // The download then times out and says so.
    ASSERT_FALSE(messages.empty());
    EXPECT_TRUE(LastMessage().contains(QStringLiteral("(-1086)"))) << LastMessage().toStdString();
    // A silent meter costs three 2.5 s time-outs and the stream's idle
    // limit, all in driven time.
    EXPECT_GE(clock.SleptMs(), 3 * 2500);
}

TEST_F(MainWindowTest, IncompleteDownloadKeepsRowsAndSaysSo)
{
    std::vector<CSimMeter::Record> many;
    for (int i = 0; i < 6; ++i)
        many.push_back(Rec(2026, 12, 7, 1, 0, i, 100 + i));
    meter.SetStoredRecords(many);
    meter.Faults().SetByName("corrupt-in-stream");
    dlg->OnTimer(CBrevaneDlg::TIMER_DETECT);
    WaitIdle(dlg->Session());
    dlg->QueryRecords();
    WaitIdle(dlg->Session());
    EXPECT_EQ(Rows(1), 5);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(LastMessage().contains(QStringLiteral("5건 수신"))) << LastMessage().toStdString();
    EXPECT_TRUE(LastMessage().contains(QStringLiteral("패킷 수신 실패"))) << LastMessage().toStdString();
    EXPECT_TRUE(dlg->StatusLine().contains(QStringLiteral("완전하지 않습니다"))) << dlg->StatusLine().toStdString();
}

TEST_F(MainWindowTest, RunningDownloadShowsProgressAndStopsOnRequestKeepingItsRows)
{
    std::vector<CSimMeter::Record> many;
    for (int i = 0; i < 3000; ++i)
        many.push_back(Rec(2026, 12, 7, i / 3600, i / 60 % 60, i % 60, 100 + i % 500));
    meter.SetStoredRecords(many);
    dlg->OnTimer(CBrevaneDlg::TIMER_DETECT);
    WaitIdle(dlg->Session());

    // The link's thread holds at its twentieth poll (a second of records) until the user has pressed
    // the stop button, so the stop lands in the middle of the stream.
    std::atomic<bool> reached{false};
    std::atomic<bool> clicked{false};
    int polls = 0;
    clock.SetSleepHook([&](int ms) {
        if (ms != 50 || ++polls != 20)
            return;
        reached = true;
        for (int i = 0; i < 10000 && !clicked.load(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    dlg->QueryRecords();
    EXPECT_TRUE(dlg->StatusLine().startsWith(QStringLiteral("데이터 수신 중"))) << dlg->StatusLine().toStdString();
    EXPECT_FALSE(Item(CBrevaneDlg::IDC_BUTTON_QUERY)->isEnabled());
    EXPECT_FALSE(Item(CBrevaneDlg::IDC_RADIO_OUTPUT)->isEnabled());
    EXPECT_FALSE(Item(CBrevaneDlg::IDC_BUTTON_EXCEL)->isEnabled());
    ASSERT_FALSE(dlg->StopButton()->isHidden());
    for (int i = 0; i < 10000 && !reached.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    dlg->StopButton()->click();
    clicked = true;
    WaitIdle(dlg->Session());
    clock.SetSleepHook(nullptr);

    const int rows = Rows(1);
    EXPECT_GT(rows, 0);
    EXPECT_LT(rows, 3000);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(LastMessage(), QStringLiteral("사용자가 데이터 수신을 중지했습니다. 목록에 %1건이 있습니다.").arg(rows));
    EXPECT_EQ(Data(1, 1, rows), QStringLiteral("1"));
    EXPECT_TRUE(dlg->StatusLine().contains(QStringLiteral("완전하지 않습니다"))) << dlg->StatusLine().toStdString();
    EXPECT_TRUE(dlg->StopButton()->isHidden());
    EXPECT_TRUE(Item(CBrevaneDlg::IDC_BUTTON_QUERY)->isEnabled());

    // The rest of the stream was read off: the next download is whole and
    // the line goes.
    dlg->QueryRecords();
    WaitIdle(dlg->Session());
    EXPECT_EQ(Rows(1), 3000);
    EXPECT_EQ(messages.size(), 1u) << LastMessage().toStdString();
    EXPECT_EQ(dlg->StatusLine(), QString());
}

TEST_F(MainWindowTest, ReversedDateRangeIsRefusedBeforeAnythingIsAsked)
{
    dlg->OnTimer(CBrevaneDlg::TIMER_DETECT);
    WaitIdle(dlg->Session());
    SetDates(2026, 12, 6, 2026, 12, 8);
    dlg->QueryRecords();
    WaitIdle(dlg->Session());
    ASSERT_EQ(Rows(1), 4);

    SetDates(2026, 12, 8, 2026, 12, 6);
    dlg->QueryRecords();
    EXPECT_FALSE(dlg->Session().IsBusy());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(LastMessage(), QStringLiteral("종료일(2026-12-06)이 시작일(2026-12-08)보다 앞섭니다. 날짜를 확인하십시오."));
    EXPECT_EQ(Rows(1), 4);
}

TEST_F(MainWindowTest, InfoTextFromHelpFileOrBuiltIn)
{
    // Without help.dat: the built-in notice, without tabs.
    QTest::keyClick(dlg.get(), Qt::Key_F1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].second, QStringLiteral("정보"));
    EXPECT_EQ(messages[0].first, CBrevaneDlg::BuiltInInfoText());
    EXPECT_FALSE(messages[0].first.contains(QLatin1Char('\t')));
    static_cast<QPushButton*>(Item(CBrevaneDlg::IDC_BUTTON_INFO))->click();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].first, messages[0].first);

    // help.dat is UTF-16LE; its tabs stay and it ends at a zero unit.
    const QString help = QStringLiteral("도움말\t탭\n둘째 줄");
    QFile file(QString::fromStdString(sysInfo.m_szExeDir) + QStringLiteral("/help.dat"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QByteArray bytes(reinterpret_cast<const char*>(help.utf16()), help.size() * 2);
    bytes.append('\0').append('\0').append("xx", 2);
    file.write(bytes);
    file.close();
    QTest::keyClick(dlg->m_gridInfo, Qt::Key_F1);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[2].first, help);

    // An empty help.dat gives an empty box.
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.close();
    dlg->ShowInfoText();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[3].first, QString());
}

TEST_F(MainWindowTest, EscapeAsksBeforeClosing)
{
    answers = {false};
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].first, QStringLiteral("프로그램을 종료하시겠습니까?"));
    EXPECT_EQ(questions[0].second, QStringLiteral("프로그램 종료"));
    EXPECT_EQ(dlg->result(), 0);

    answers = {true};
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    EXPECT_EQ(dlg->result(), int(QDialog::Accepted));
}

TEST_F(MainWindowTest, PacketLogSeesEveryTransfer)
{
    dlg->OnTimer(CBrevaneDlg::TIMER_DETECT);
    WaitIdle(dlg->Session());
    dlg->ReadDeviceClock();
    WaitIdle(dlg->Session());
    ASSERT_NE(dlg->LogWindow(), nullptr);
    auto* box = dlg->LogWindow()->findChild<QWidget*>(QStringLiteral("1050"));
    ASSERT_NE(box, nullptr);
    const QString text = box->property("plainText").toString();
    EXPECT_TRUE(text.contains(QStringLiteral("02 02 4B 00 4B 03  (6 BYTE)"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("RECV-["))) << text.toStdString();

    EXPECT_TRUE(dlg->LogWindow()->isHidden());
    dlg->OnLog();
    EXPECT_FALSE(dlg->LogWindow()->isHidden());
    dlg->OnLog();
    EXPECT_TRUE(dlg->LogWindow()->isHidden());
}

TEST(MainWindowAccess, PermissionProblemIsExplained)
{
    CManualClock clock;
    CLockedBridge bridge;
    QTemporaryDir dir;
    CIniSysInfo sysInfo;
    sysInfo.ComposePaths((dir.path() + QStringLiteral("/brevane")).toStdString(),
                         [](const std::string&) { return true; });
    std::vector<QString> messages;
    CUiPrompts::SetInfoHook([&](const QString& text, const QString&) { messages.push_back(text); });
    {
        CBrevaneDlg dlg(bridge, clock, sysInfo);
        dlg.InitDialog();
        dlg.OnTimer(CBrevaneDlg::TIMER_DETECT);
        WaitIdle(dlg.Session());
        EXPECT_EQ(dlg.windowTitle(), CBrevaneDlg::TitleConnected());
        dlg.OnDeviceSearch();
        WaitIdle(dlg.Session());
    }
    CUiPrompts::ClearHooks();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("장비 열기 실패 (-1100)")));
    EXPECT_TRUE(messages[0].contains(QStringLiteral("70-brevane-ft260.rules")));
}

}   // namespace

namespace {

// ---- the archive, the statistics and the open formats ----

class MainWindowArchiveTest : public MainWindowTest {
protected:
    MainWindowArchiveTest() : sink(CSqliteArchive::ArchivePath(dir.path().toStdString()))
    {
        EXPECT_EQ(archive.Open(CSqliteArchive::ArchivePath(dir.path().toStdString())), EArchiveOpen::Created);
        dlg->Session().SetDownloadSink(&sink);
        dlg->SetArchive(&archive, &sink);
        dlg->OnTimer(CBrevaneDlg::TIMER_DETECT);
        WaitIdle(dlg->Session());
    }
    ~MainWindowArchiveTest() override { dlg.reset(); }

    void Search()
    {
        dlg->OnDeviceSearch();
        WaitIdle(dlg->Session());
    }

    CSqliteArchive archive;
    CArchiveSink sink;
};

TEST_F(MainWindowArchiveTest, NewRecordsOnlyStartsAtTheNewestArchivedDayAndCountsNewAndKnown)
{
    dlg->OnNewRecords();
    EXPECT_TRUE(LastMessage().contains(QStringLiteral("장비 조회"))) << LastMessage().toStdString();

    // The search archives today's two records; a query of the day before
    // archives the one of 2026-12-06.
    Search();
    EXPECT_TRUE(dlg->StatusLine().contains(QStringLiteral("새 기록 2건"))) << dlg->StatusLine().toStdString();
    SetDates(2026, 12, 6, 2026, 12, 6);
    dlg->QueryRecords();
    WaitIdle(dlg->Session());
    ASSERT_EQ(Rows(1), 1);

    // The newest archived record is of today: the download asks from today,
    // and finds one record stored since.
    meter.SetStoredRecords({Rec(2026, 12, 6, 9, 0, 0, 98), Rec(2026, 12, 7, 8, 30, 0, 1234, 0),
                            Rec(2026, 12, 7, 9, 45, 0, 700, 1), Rec(2026, 12, 7, 23, 59, 59, 65535, 2)});
    messages.clear();
    dlg->OnNewRecords();
    WaitIdle(dlg->Session());
    EXPECT_EQ(dlg->DataMode(), 0);
    EXPECT_EQ(dlg->m_dtStart->date(), QDate(2026, 12, 7));
    EXPECT_EQ(dlg->m_dtEnd->date(), QDate(2026, 12, 7));
    EXPECT_EQ(Rows(1), 3);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(LastMessage().contains(QStringLiteral("새 기록 1건, 이미 보관된 기록 2건"))) << LastMessage().toStdString();
    EXPECT_TRUE(dlg->StatusLine().contains(QStringLiteral("이미 보관된 기록 2건"))) << dlg->StatusLine().toStdString();
}

TEST_F(MainWindowArchiveTest, StatisticsAndSavedFilesFollowTheTicks)
{
    SetDates(2026, 12, 6, 2026, 12, 8);
    dlg->QueryRecords();
    WaitIdle(dlg->Session());
    ASSERT_EQ(Rows(1), 4);
    auto* stats = dlg->findChild<QLabel*>(QStringLiteral("statsLine"));
    ASSERT_NE(stats, nullptr);
    EXPECT_TRUE(stats->text().startsWith(QStringLiteral("선택 4건"))) << stats->text().toStdString();
    EXPECT_TRUE(stats->text().contains(QStringLiteral("최소 1.0 ·"))) << stats->text().toStdString();
    EXPECT_TRUE(stats->text().contains(QStringLiteral("최대 668.7 ·"))) << stats->text().toStdString();
    dlg->OnClearAll();
    EXPECT_TRUE(stats->text().startsWith(QStringLiteral("선택 0건"))) << stats->text().toStdString();

    // Rows 2 and 4 ticked: each file holds those two, by their raw values.
    dlg->DataGrid().SetAddressedSheet(1);
    dlg->DataGrid().SetInteger(1, 2, 1);
    dlg->DataGrid().SetInteger(1, 4, 1);
    EXPECT_TRUE(dlg->StatsLine().startsWith(QStringLiteral("선택 2건")));
    QString chosen;
    CUiPrompts::SetSaveFileHook([&](const QString&, const QString&, const QString&) { return chosen; });
    chosen = dir.filePath(QStringLiteral("ticked"));
    dlg->SaveAs(CMeasurementExport::EFormat::Csv);
    QFile csv(chosen + QStringLiteral(".csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[1].contains(QStringLiteral(",1234,"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].contains(QStringLiteral(",500,"))) << lines[2].toStdString();
    EXPECT_TRUE(LastMessage().contains(QStringLiteral("ticked.csv"))) << LastMessage().toStdString();
    for (const auto& [format, magic] : {std::pair{CMeasurementExport::EFormat::Xlsx, QByteArray("PK")},
                                        std::pair{CMeasurementExport::EFormat::Pdf, QByteArray("%PDF")}}) {
        dlg->SaveAs(format);
        QFile file(chosen + CMeasurementExport::Extension(format));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
        EXPECT_TRUE(file.readAll().startsWith(magic)) << file.fileName().toStdString();
    }
}

TEST_F(MainWindowArchiveTest, ToleranceLimitsAreKeptPerMeterAndUnit)
{
    Search();
    AnalysisData data = CMeasurementExport::MakeAnalysis(dlg->CurrentSet());
    CMeasurementExport::AttachLimits(data, &archive, dlg->Session().Meter(), dlg.get());
    EXPECT_FALSE(data.limits.Any());
    ASSERT_TRUE(data.onLimitsChanged);
    ToleranceLimits limits;
    limits.lower = 1.5;
    data.onLimitsChanged(limits);
    EXPECT_TRUE(messages.empty()) << LastMessage().toStdString();

    const ToleranceLimits kept = CMeasurementExport::KeptLimits(&archive, dlg->Session().Meter(), EForceUnit::Tons);
    EXPECT_EQ(kept.lower, std::optional<double>(1.5));
    EXPECT_FALSE(kept.upper.has_value());
    EXPECT_FALSE(CMeasurementExport::KeptLimits(&archive, dlg->Session().Meter(), EForceUnit::KiloNewton).Any());
    DownloadMeter other = dlg->Session().Meter();
    other.strSerial = "SN999";
    EXPECT_FALSE(CMeasurementExport::KeptLimits(&archive, other, EForceUnit::Tons).Any());
    // Clearing both limits forgets them.
    data.onLimitsChanged(ToleranceLimits{});
    EXPECT_FALSE(CMeasurementExport::KeptLimits(&archive, dlg->Session().Meter(), EForceUnit::Tons).Any());
}

}  // namespace
