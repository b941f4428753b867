// The Excel report from the main window's button, on the simulated meter
// with a driven clock: what the written workbooks hold as an independent
// reader sees them, the settings kept, the file-name rule, and what a failed
// export leaves behind.

#include "UiTestSupport.h"
#include "CBrevaneDlg.h"
#include "CDlgExport.h"
#include "CReportExport.h"
#include "CFileReveal.h"
#include "CIniSysInfo.h"
#include "CManualClock.h"
#include "CSimBridge.h"
#include "CSimMeter.h"
#include "CSpreadSheet.h"
#include "CUiPrompts.h"
#include "CXlsDump.h"

#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <sys/resource.h>

namespace {

QString ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

class ReportExportTest : public ::testing::Test {
protected:
    ReportExportTest()
        : clock(LocalSeconds(2026, 12, 7, 10, 0, 0))
        , meter(clock)
        , bridge(meter, clock)
    {
        exePath = dir.path() + QStringLiteral("/prog/brevane");
        QDir().mkpath(dir.path() + QStringLiteral("/prog"));
        QDir().mkpath(Out());
        sysInfo.ComposePaths(exePath.toStdString(), [](const std::string&) { return true; });
        sysInfo.m_szCompany = "브레베인 주식회사";
        sysInfo.m_szReportName = "월간 점검";
        sysInfo.m_szUserName = "홍길동";
        // The notice after a saved report is kept apart from the messages.
        CUiPrompts::SetInfoHook([this](const QString& text, const QString&) {
            (text.startsWith(CReportExport::SavedNotice(QString())) ? notices : messages) << text;
        });
        CUiPrompts::SetYesNoHook([this](const QString& text, const QString&) {
            if (text.contains(QStringLiteral("측정 데이터 없이"))) {
                emptyQuestions << text;
                return emptyAnswer;
            }
            questions << text;
            return replaceAnswer;
        });
        // Each press of the button answers the first file dialog; a dialog
        // opened again is cancelled unless a further answer is queued.
        CUiPrompts::SetSaveFileHook([this](const QString&, const QString& filter, const QString& suggested) {
            filters << filter;
            suggestions << suggested;
            return answers.isEmpty() ? QString() : answers.takeFirst();
        });
        CFileReveal::SetHook([this](const QString& path) { revealed << path; });
        meter.SetStoredRecords({
            Rec(2026, 12, 6, 9, 0, 0, 98, 0),
            Rec(2026, 12, 7, 8, 30, 0, 1234, 0),
            Rec(2026, 12, 7, 23, 59, 59, 65535, 2),
            Rec(2026, 12, 8, 0, 0, 0, 500, 1),
        });
        dlg = std::make_unique<CBrevaneDlg>(bridge, clock, sysInfo);
        dlg->InitDialog();
        dlg->OnTimer(CBrevaneDlg::TIMER_DETECT);
        WaitIdle(dlg->Session());
    }
    ~ReportExportTest() override
    {
        CUiPrompts::ClearHooks();
        CFileReveal::SetHook(nullptr);
        CDlgExport::SetCreateHook(nullptr);
    }

    QString Out() const { return dir.path() + QStringLiteral("/reports"); }
    QString Ini() const { return QString::fromStdString(sysInfo.m_szIniPath); }

    // A device search, then all four stored records in the grid.
    void SearchAllRecords()
    {
        dlg->OnDeviceSearch();
        WaitIdle(dlg->Session());
        dlg->m_dtStart->setDate(QDate(2026, 12, 6));
        dlg->m_dtEnd->setDate(QDate(2026, 12, 8));
        dlg->QueryRecords();
        WaitIdle(dlg->Session());
        ASSERT_EQ(dlg->DataGrid().GetRowCount(), 4);
        ASSERT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    }
    void Tick(std::initializer_list<int> ticked)
    {
        CSpreadSheet& g = dlg->DataGrid();
        for (int r = 1; r <= g.GetRowCount(); ++r)
            g.SetInteger(1, r, std::find(ticked.begin(), ticked.end(), r) != ticked.end());
    }
    void PressExcel(const QString& chosen)
    {
        answers = QStringList{chosen};
        static_cast<QPushButton*>(dlg->GetDlgItem(CBrevaneDlg::IDC_BUTTON_EXCEL))->click();
    }
    void ExpectTemplateHeader(const CXlsDump& x)
    {
        const char* const labels[][3] = {
            {"1", "1", "작성 일시"}, {"4", "1", "회사 명"}, {"1", "2", "보고서 명"}, {"4", "2", "작성자 명"},
            {"1", "3", "측정기 명"}, {"4", "3", "측정기 S/N"}, {"4", "4", "버전 정보"}};
        for (const auto& l : labels)
            EXPECT_EQ(x.Text(atoi(l[0]), atoi(l[1])), QString::fromUtf8(l[2])) << l[2];
        for (int c = 1; c <= 5; ++c)
            EXPECT_EQ(x.Text(c, 5), QString()) << c;
    }

    QTemporaryDir dir;
    QString exePath;
    CManualClock clock;
    CSimMeter meter;
    CSimBridge bridge;
    CIniSysInfo sysInfo;
    std::unique_ptr<CBrevaneDlg> dlg;
    QStringList answers;
    QStringList messages;
    QStringList notices;
    QStringList questions;
    QStringList emptyQuestions;
    bool replaceAnswer = false;
    bool emptyAnswer = true;
    QStringList filters;
    QStringList suggestions;
    QStringList revealed;
};

TEST_F(ReportExportTest, MemoryReportHasHeaderAndTickedRowsRenumbered)
{
    SearchAllRecords();
    CSpreadSheet& info = dlg->InfoGrid();
    info.SetCellText(2, 1, QStringLiteral("2026-12-07 10:30:00"));
    info.SetCellText(2, 2, QStringLiteral("3월 정기 점검"));
    info.SetCellText(4, 1, QStringLiteral("한빛 계측"));
    info.SetCellText(4, 2, QStringLiteral("김철수"));
    Tick({1, 3, 4});

    PressExcel(Out() + QStringLiteral("/점검 보고서"));
    const QString path = Out() + QStringLiteral("/점검 보고서.xls");
    ASSERT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    EXPECT_EQ(filters, QStringList{QStringLiteral("Excel Files (*.xls);;All Files (*.*)")});
    EXPECT_EQ(revealed, QStringList{path});
    EXPECT_EQ(QDir(Out()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("점검 보고서.xls")});

    CIniSysInfo back;
    back.LoadSettings(exePath.toStdString(), [](const std::string&) { return true; });
    EXPECT_EQ(back.m_szCompany, "한빛 계측");
    EXPECT_EQ(back.m_szReportName, "3월 정기 점검");
    EXPECT_EQ(back.m_szUserName, "김철수");

    const CXlsDump x(path);
    ASSERT_TRUE(x.Ok()) << x.Error().toStdString();
    EXPECT_EQ(x.Sheets(), 1);
    EXPECT_EQ(x.SheetName(), QStringLiteral("점검 보고서"));
    ASSERT_EQ(x.Rows(), 10);
    EXPECT_EQ(x.Columns(), 5);
    ExpectTemplateHeader(x);
    EXPECT_EQ(x.Text(3, 1), QStringLiteral("2026-12-07 10:30:00"));
    EXPECT_EQ(x.Text(3, 2), QStringLiteral("3월 정기 점검"));
    EXPECT_EQ(x.Text(3, 3), QStringLiteral("SIM-METER"));
    EXPECT_EQ(x.Text(5, 1), QStringLiteral("한빛 계측"));
    EXPECT_EQ(x.Text(5, 2), QStringLiteral("김철수"));
    EXPECT_EQ(x.Text(5, 3), QStringLiteral("SN250100042"));
    EXPECT_EQ(x.Text(5, 4), QStringLiteral("1.05"));
    EXPECT_EQ(x.Text(1, 6), QString(30, ' ') + QStringLiteral("저장 압력 확인 데이터"));
    EXPECT_EQ(x.Text(5, 6), QStringLiteral(" (단위: 톤)"));
    const char* const headings[] = {"NO.", "측정 시간", "측정 압력 값", "로드셀 종류", "기타"};
    for (int c = 1; c <= 5; ++c)
        EXPECT_EQ(x.Text(c, 7), QString::fromUtf8(headings[c - 1]));

    // Rows 1, 3 and 4 of the grid, numbered without the gap; numbers stay text.
    const char* const rows[][5] = {
        {"1", "2026-12-06 09:00:00", " 1.0 톤", "VR70", "-"},
        {"2", "2026-12-07 23:59:59", "668.7 톤", "VR300", "-"},
        {"3", "2026-12-08 00:00:00", " 5.1 톤", "VR150", "-"},
    };
    for (int k = 0; k < 3; ++k)
        for (int c = 1; c <= 5; ++c)
            EXPECT_EQ(x.Text(c, 8 + k), QString::fromUtf8(rows[k][c - 1])) << "row " << 8 + k << " col " << c;

    // Look: joined labels and title, bordered data rows that all look like
    // the template's, white paper, the template's face.
    EXPECT_EQ(x.Merges(), (QStringList{"1-1:1-2", "2-2:1-2", "3-3:1-2", "6-6:1-4"}));
    for (int c = 1; c <= 5; ++c) {
        EXPECT_EQ(x.Format(c, 10), x.Format(c, 8)) << c;
        EXPECT_EQ(x.Format(c, 9), x.Format(c, 8)) << c;
    }
    const QJsonObject data = x.Format(2, 8);
    EXPECT_EQ(data.value("font").toString(), QStringLiteral("굴림체"));
    EXPECT_EQ(data.value("edges").toArray(), (QJsonArray{1, 1, 1, 1}));
    EXPECT_EQ(ColourName(data.value("fill")), QStringLiteral("#ffffff"));
    EXPECT_EQ(ColourName(data.value("colour")), QStringLiteral("auto"));
    EXPECT_EQ(data.value("halign").toInt(), 2);
    EXPECT_EQ(ColourName(x.Format(1, 1).value("fill")), QStringLiteral("#ddebf7"));
    EXPECT_GT(x.Format(1, 6).value("points").toDouble(), data.value("points").toDouble());
    // The title and the column headings stand out in bold; the data do not.
    EXPECT_TRUE(x.Format(1, 6).value("bold").toBool());
    EXPECT_TRUE(x.Format(3, 7).value("bold").toBool());
    EXPECT_FALSE(data.value("bold").toBool());
    EXPECT_GT(x.Width(2), 19.0);   // the time fits
    EXPECT_GT(x.Height(6), x.Height(8));
}

TEST_F(ReportExportTest, EachExportStartsFromTheTemplate)
{
    SearchAllRecords();
    Tick({1, 2, 3, 4});
    PressExcel(Out() + QStringLiteral("/all.xls"));
    const CXlsDump all(Out() + QStringLiteral("/all.xls"));
    ASSERT_TRUE(all.Ok()) << all.Error().toStdString();
    EXPECT_EQ(all.Rows(), 11);

    // Nothing ticked: the template's data row stays as it is.
    Tick({});
    PressExcel(Out() + QStringLiteral("/none.xls"));
    const CXlsDump none(Out() + QStringLiteral("/none.xls"));
    ASSERT_TRUE(none.Ok()) << none.Error().toStdString();
    ASSERT_EQ(none.Rows(), 8);
    const char* const templ[] = {"1", "-", "-", "-", "-"};
    for (int c = 1; c <= 5; ++c)
        EXPECT_EQ(none.Text(c, 8), QString::fromUtf8(templ[c - 1])) << c;
    EXPECT_EQ(none.Text(3, 2), QStringLiteral("월간 점검"));   // the header is filled all the same

    // One ticked row: no copy, the record in row 8 as number 1.
    Tick({3});
    PressExcel(Out() + QStringLiteral("/one.xls"));
    const CXlsDump one(Out() + QStringLiteral("/one.xls"));
    ASSERT_TRUE(one.Ok()) << one.Error().toStdString();
    ASSERT_EQ(one.Rows(), 8);
    EXPECT_EQ(one.Text(1, 8), QStringLiteral("1"));
    EXPECT_EQ(one.Text(2, 8), QStringLiteral("2026-12-07 23:59:59"));
    EXPECT_EQ(one.Text(5, 8), QStringLiteral("-"));
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    EXPECT_EQ(revealed.size(), 3);
}

TEST_F(ReportExportTest, OutputReportWithoutAndWithMeasurements)
{
    meter.SetOutputSeries({});
    dlg->OnModeOutput();
    dlg->OnDeviceSearch();
    WaitIdle(dlg->Session());
    PressExcel(Out() + QStringLiteral("/empty.xls"));
    ASSERT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    EXPECT_EQ(dlg->DataGrid().GetAddressedSheet(), 2);

    const CXlsDump empty(Out() + QStringLiteral("/empty.xls"));
    ASSERT_TRUE(empty.Ok()) << empty.Error().toStdString();
    ASSERT_EQ(empty.Rows(), 10);
    ExpectTemplateHeader(empty);
    EXPECT_EQ(empty.Text(1, 6), QString(23, ' ') + QStringLiteral("연속 측정 모드 데이터"));
    EXPECT_EQ(empty.Text(5, 6), QStringLiteral("(단위: KN)"));
    const char* const summary[] = {"측정횟수", "압력 평균 값", "최소 값", "최대 값", "압력 편차"};
    const char* const headings[] = {"NO.", "측정 시간", "측정 압력 값", "로드셀 종류", "기타"};
    for (int c = 1; c <= 5; ++c) {
        EXPECT_EQ(empty.Text(c, 7), QString::fromUtf8(summary[c - 1]));
        EXPECT_EQ(empty.Text(c, 9), QString::fromUtf8(headings[c - 1]));
        EXPECT_EQ(empty.Text(c, 10), c < 5 ? QStringLiteral("-") : QString()) << c;
    }
    EXPECT_EQ(empty.Text(1, 8), QStringLiteral("0"));

    std::vector<CSimMeter::Record> series;
    for (int i = 0; i < 3; ++i)
        series.push_back(Rec(2026, 12, 7, 9, 0, i, 1000 + i * 10, i));
    meter.SetOutputSeries(series);
    dlg->QueryRecords();
    WaitIdle(dlg->Session());
    PressExcel(Out() + QStringLiteral("/three.xls"));
    const CXlsDump three(Out() + QStringLiteral("/three.xls"));
    ASSERT_TRUE(three.Ok()) << three.Error().toStdString();
    ASSERT_EQ(three.Rows(), 12);
    const char* const summaryRow[] = {"3", "101.0 KN", "100.0 KN", "102.0 KN"};
    for (int c = 1; c <= 4; ++c)
        EXPECT_EQ(three.Text(c, 8), QString::fromUtf8(summaryRow[c - 1])) << c;
    const char* const models[] = {"VR70", "VR150", "VR300"};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(three.Text(1, 10 + k), QString::number(k + 1));
        EXPECT_EQ(three.Text(2, 10 + k), QStringLiteral("2026-12-07 09:00:0%1").arg(k));
        EXPECT_EQ(three.Text(3, 10 + k), QStringLiteral("%1.0 KN").arg(100 + k));
        EXPECT_EQ(three.Text(4, 10 + k), QString::fromUtf8(models[k]));
        EXPECT_EQ(three.Text(5, 10 + k), QStringLiteral("-"));
        for (int c = 1; c <= 5; ++c)
            EXPECT_EQ(three.Format(c, 10 + k), three.Format(c, 10)) << k;
    }
    EXPECT_EQ(dlg->DataGrid().GetAddressedSheet(), 2);
}

TEST_F(ReportExportTest, FileNameRuleAndCancel)
{
    PressExcel(QString());
    EXPECT_TRUE(revealed.isEmpty());
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_FALSE(QFile::exists(Ini())) << "cancel must not write the settings";

    PressExcel(Out() + QStringLiteral("/a.xlsx"));
    PressExcel(Out() + QStringLiteral("/B.XLS"));
    PressExcel(Out() + QStringLiteral("/c.Xls"));
    EXPECT_EQ(revealed, (QStringList{Out() + "/a.xlsx.xls", Out() + "/B.XLS", Out() + "/c.Xls"}));
    QStringList files = QDir(Out()).entryList(QDir::Files | QDir::Hidden);
    files.sort();
    EXPECT_EQ(files, (QStringList{"B.XLS", "a.xlsx.xls", "c.Xls"}));
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    const CXlsDump x(Out() + QStringLiteral("/a.xlsx.xls"));
    EXPECT_EQ(x.SheetName(), QStringLiteral("a.xlsx"));
    EXPECT_TRUE(questions.isEmpty());

    // "a.xlsx" again: the dialog did not see "a.xlsx.xls", so the export asks
    // before it replaces that report, and No leaves it as it was.
    const auto bytesOf = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray before = bytesOf(Out() + QStringLiteral("/a.xlsx.xls"));
    ASSERT_FALSE(before.isEmpty());
    dlg->InfoGrid().SetCellText(4, 1, QStringLiteral("바뀐 회사"));
    revealed.clear();
    suggestions.clear();
    PressExcel(Out() + QStringLiteral("/a.xlsx"));
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions[0].contains(QStringLiteral("a.xlsx.xls"))) << questions[0].toStdString();
    // No goes back to the file dialog with the name as typed (cancelled here).
    ASSERT_EQ(suggestions.size(), 2);
    EXPECT_EQ(suggestions[1], Out() + QStringLiteral("/a.xlsx"));
    EXPECT_TRUE(revealed.isEmpty());
    EXPECT_EQ(bytesOf(Out() + QStringLiteral("/a.xlsx.xls")), before);
    replaceAnswer = true;
    PressExcel(Out() + QStringLiteral("/a.xlsx"));
    EXPECT_EQ(questions.size(), 2);
    EXPECT_EQ(revealed, QStringList{Out() + "/a.xlsx.xls"});
}

TEST_F(ReportExportTest, UnwritableTargetKeepsSettingsAndShowsNothing)
{
    dlg->InfoGrid().SetCellText(4, 1, QStringLiteral("새 회사"));
    // A folder that is a regular file cannot be written, not even by root.
    QFile blocker(Out() + QStringLiteral("/not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    PressExcel(Out() + QStringLiteral("/not-a-folder/report.xls"));

    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("엑셀 저장 실패 : "))) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(QStringLiteral("not-a-folder/report.xls"))) << messages[0].toStdString();
    EXPECT_TRUE(revealed.isEmpty());
    EXPECT_TRUE(ReadAll(Ini()).contains(QStringLiteral("새 회사")));
}

TEST_F(ReportExportTest, WriteFailingHalfwayLeavesTheOldFile)
{
    SearchAllRecords();
    const QString path = Out() + QStringLiteral("/old.xls");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("the report of last month");
    }
    // A file size limit makes the write fail part way through, as a full
    // disk would; root is bound by it too. The limit is lifted again before
    // anything else is written.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 2048;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    PressExcel(path);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("엑셀 저장 실패 : "))) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(path)) << messages[0].toStdString();
    EXPECT_TRUE(revealed.isEmpty());
    EXPECT_EQ(ReadAll(path), QStringLiteral("the report of last month"));
    EXPECT_EQ(QDir(Out()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.xls"});

    // The same export with room to write replaces the old file.
    PressExcel(path);
    EXPECT_EQ(messages.size(), 1);
    EXPECT_EQ(revealed, QStringList{path});
    const CXlsDump x(path);
    ASSERT_TRUE(x.Ok()) << x.Error().toStdString();
    EXPECT_EQ(x.Rows(), 11);
}

TEST_F(ReportExportTest, TemplateThatCannotBeMadeEndsTheExport)
{
    CDlgExport::SetCreateHook([](CDlgExport&) { return false; });
    PressExcel(Out() + QStringLiteral("/r.xls"));
    EXPECT_EQ(messages, QStringList{QStringLiteral("CDlgExport Create Fail")});
    EXPECT_TRUE(revealed.isEmpty());
    EXPECT_FALSE(QFile::exists(Out() + QStringLiteral("/r.xls")));
    EXPECT_FALSE(QFile::exists(Ini()));
}

TEST_F(ReportExportTest, TheDialogSuggestsANameInTheLastFolderAndANoticeNamesTheSavedFile)
{
    EXPECT_EQ(CReportExport::SuggestedFileName(QStringLiteral(" 3/4월: 점검? "), QDate(2026, 12, 7)),
              QStringLiteral("3_4월_ 점검__2026-12-07.xls"));
    EXPECT_EQ(CReportExport::SuggestedFileName(QStringLiteral("-"), QDate(2026, 1, 2)),
              QStringLiteral("보고서_2026-01-02.xls"));
    EXPECT_EQ(CReportExport::SuggestedFileName(QStringLiteral(".."), QDate(2026, 1, 2)),
              QStringLiteral("보고서_2026-01-02.xls"));

    SearchAllRecords();
    Tick({2});
    dlg->InfoGrid().SetCellText(2, 2, QStringLiteral("정기 점검"));
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    PressExcel(Out() + QStringLiteral("/first.xls"));
    ASSERT_EQ(suggestions.size(), 1);
    EXPECT_TRUE(suggestions[0].endsWith(QStringLiteral("/정기 점검_") + today + QStringLiteral(".xls")))
        << suggestions[0].toStdString();
    EXPECT_EQ(notices, QStringList{CReportExport::SavedNotice(Out() + QStringLiteral("/first.xls"))});
    EXPECT_TRUE(emptyQuestions.isEmpty());

    // The folder is kept in the settings file for the next run.
    CIniSysInfo back;
    back.LoadSettings(exePath.toStdString(), [](const std::string&) { return true; });
    EXPECT_EQ(QString::fromStdString(back.m_szReportDir), Out());
    dlg->InfoGrid().SetCellText(2, 2, QString());
    PressExcel(Out() + QStringLiteral("/second.xls"));
    EXPECT_EQ(suggestions.value(1), Out() + QStringLiteral("/보고서_") + today + QStringLiteral(".xls"));

    // With no file manager to show it, the notice offers the folder instead.
    CFileReveal::SetHook(nullptr);
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    replaceAnswer = true;
    PressExcel(Out() + QStringLiteral("/third.xls"));
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions[0].startsWith(CReportExport::SavedNotice(Out() + QStringLiteral("/third.xls"))));
    EXPECT_TRUE(questions[0].endsWith(QStringLiteral("폴더를 여시겠습니까?")));
    EXPECT_TRUE(QFile::exists(Out() + QStringLiteral("/third.xls")));
}

TEST_F(ReportExportTest, AReportWithoutMeasurementsIsWrittenOnlyWhenTheUserAgrees)
{
    SearchAllRecords();
    Tick({});
    emptyAnswer = false;
    PressExcel(Out() + QStringLiteral("/none.xls"));
    EXPECT_EQ(emptyQuestions.size(), 1);
    EXPECT_TRUE(suggestions.isEmpty()) << "asked before the file dialog";
    EXPECT_FALSE(QFile::exists(Out() + QStringLiteral("/none.xls")));
    EXPECT_FALSE(QFile::exists(Ini()));

    meter.SetOutputSeries({});
    dlg->OnModeOutput();
    dlg->OnDeviceSearch();
    WaitIdle(dlg->Session());
    PressExcel(Out() + QStringLiteral("/empty.xls"));
    EXPECT_EQ(emptyQuestions.size(), 2) << messages.join('|').toStdString();
    EXPECT_FALSE(QFile::exists(Out() + QStringLiteral("/empty.xls")));
}

TEST_F(ReportExportTest, ASettingsFileThatCannotBeWrittenIsNamedAndTheReportStillSaved)
{
    SearchAllRecords();
    Tick({1});
    // A folder where the settings file should be: nothing can replace it.
    ASSERT_TRUE(QDir().mkpath(Ini()));
    PressExcel(Out() + QStringLiteral("/r.xls"));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QDir::toNativeSeparators(Ini()))) << messages[0].toStdString();
    EXPECT_TRUE(QFileInfo(Out() + QStringLiteral("/r.xls")).isFile());
    EXPECT_EQ(revealed, QStringList{Out() + QStringLiteral("/r.xls")});
    EXPECT_EQ(notices.size(), 1);
}

TEST_F(ReportExportTest, APrintedReportRepeatsItsHeadingsAndNumbersItsPages)
{
    // Enough ticked records for four printed pages.
    std::vector<CSimMeter::Record> records;
    for (int i = 0; i < 150; ++i)
        records.push_back(Rec(2026, 12, 7, i / 60, i % 60, 0, 1000 + i, i % 3));
    meter.SetStoredRecords(records);
    dlg->OnDeviceSearch();
    ASSERT_TRUE(dlg->Session().WaitForIdle(20000));
    dlg->m_dtStart->setDate(QDate(2026, 12, 7));
    dlg->m_dtEnd->setDate(QDate(2026, 12, 7));
    dlg->QueryRecords();
    ASSERT_TRUE(dlg->Session().WaitForIdle(20000));
    ASSERT_EQ(dlg->DataGrid().GetRowCount(), 150) << messages.join('|').toStdString();
    Tick({});
    for (int r = 1; r <= 150; ++r)
        dlg->DataGrid().SetInteger(1, r, 1);
    const QString path = Out() + QStringLiteral("/four-pages.xls");
    PressExcel(path);
    ASSERT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();

    QProcess check;
    check.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(BREVANE_REPORT_PDF_SCRIPT), path,
                                                     QStringLiteral(BREVANE_REPORT_PDF_DIR), QStringLiteral("4")});
    ASSERT_TRUE(check.waitForFinished(280000));
    const QString output = QString::fromUtf8(check.readAll());
    if (check.exitCode() == 77)
        GTEST_SKIP() << output.toStdString();
    EXPECT_EQ(check.exitCode(), 0) << output.toStdString();
}

}   // namespace
