// Calibration you can trust, on the simulated meter through the session:
// snapshots around a write, backup and restore, the history window, the
// clock drift of a device search and the administrator password.

#include "CAdminTestRig.h"

#include "CAdminPassword.h"
#include "CCalibrationHistory.h"
#include "CDlgCalibrationHistory.h"
#include "CDlgPassword.h"
#include "CIniSysInfo.h"
#include "CSpreadSheet.h"
#include "CalibrationChanges.h"
#include "CUiPrompts.h"

#include <QCheckBox>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>

#include <gtest/gtest.h>

namespace {

DownloadMeter SimMeter()
{
    return {"SIM-METER", "SN250100042", "1.05"};
}

std::vector<CCalibrationSnapshot> History(CAdminTestRig& rig)
{
    std::vector<CCalibrationSnapshot> out;
    for (const StoredSnapshot& row : CCalibrationHistory(*rig.archive).Snapshots(SimMeter())) {
        CCalibrationSnapshot s;
        EXPECT_TRUE(CCalibrationSnapshot::FromJson(row.content, &s, nullptr));
        out.push_back(s);
    }
    return out;
}

// A rig with an archive, after a search and one calibration read of 7 t.
struct CTrustRig : CAdminTestRig {
    CTrustRig()
    {
        AttachArchive();
        SearchOk();
        dlg->AutoReadBox()->setChecked(true);
        dlg->OnTimer(CDlgAdmin::TIMER_REFRESH);
        Wait();
        dlg->AutoReadBox()->setChecked(false);
    }
    // Writes a correction straight through the session, as another program would.
    void SetCorrection(LoadCellSize size, int index, int value)
    {
        MeterRequest request;
        ASSERT_TRUE(MakeCorrectionRequest(size, index, value, &request));
        ASSERT_TRUE(session.StartRequest(request));
        Wait();
    }
    // "보정값 백업" into dir; the path of the file.
    QString Backup()
    {
        const QString path = archiveDir.filePath(QStringLiteral("backup.json"));
        CUiPrompts::SetSaveFileHook([path](const QString&, const QString&, const QString&) { return path; });
        dlg->OnBackup();
        Wait();
        EXPECT_TRUE(QFile::exists(path)) << LastMessage().toStdString();
        return path;
    }
    void Restore(const QString& path)
    {
        CUiPrompts::SetOpenFileHook([path](const QString&, const QString&, const QString&) { return path; });
        dlg->OnRestore();
        Wait();
    }
};

}  // namespace

TEST(CalibrationTrust, CorrectionWriteIsWrappedByAsFoundAndAsLeftSnapshots)
{
    CTrustRig rig;
    const int before = rig.meter.GetCorrection(CSimMeter::SIZE_7T, 1);
    rig.SetCal(3, 8, QString::number(before + 7));
    rig.Answer(true);
    rig.dlg->OnCalGridButton(CCalibrationGrid::COL_BUTTON, 8);
    rig.Wait();
    EXPECT_EQ(rig.LastMessage(), QStringLiteral("성공"));
    EXPECT_EQ(rig.meter.GetCorrection(CSimMeter::SIZE_7T, 1), before + 7);

    const std::vector<CCalibrationSnapshot> history = History(rig);
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].m_eReason, ESnapshotReason::AsLeft);
    EXPECT_EQ(history[1].m_eReason, ESnapshotReason::AsFound);
    const std::vector<CalibrationChange> changes = CompareSnapshots(history[1], history[0]);
    ASSERT_EQ(changes.size(), 1u);   // exactly what was written, nothing else
    EXPECT_EQ(changes[0].eSize, LOADCELL_7T);
    EXPECT_EQ(changes[0].eField, CalibrationChange::EField::Correction);
    EXPECT_EQ(changes[0].nIndex, 1);
    EXPECT_EQ(changes[0].strNew, QString::number(before + 7));
    for (LoadCellSize size : {LOADCELL_7T, LOADCELL_15T, LOADCELL_30T})
        EXPECT_TRUE(history[0].HasRecord(size) && history[1].HasRecord(size));

    // The history window shows both, newest first, with the one change marked.
    rig.dlg->OnHistory();
    CDlgCalibrationHistory* window = rig.dlg->HistoryWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->List()->rowCount(), 2);
    EXPECT_EQ(window->List()->item(0, 1)->text(), QStringLiteral("보정 후"));
    ASSERT_EQ(window->ChangedRows().size(), 1u);
    EXPECT_EQ(window->Values()->item(window->ChangedRows()[0], 1)->text(), QStringLiteral("50 KN 보정 값"));
    EXPECT_TRUE(window->ChangesText().contains(changes[0].Text()));
}

TEST(CalibrationTrust, WithoutAnArchiveAWriteIsTheWriteAlone)
{
    CAdminTestRig rig;
    rig.SearchOk();
    rig.dlg->AutoReadBox()->setChecked(true);
    rig.dlg->OnTimer(CDlgAdmin::TIMER_REFRESH);
    rig.Wait();
    rig.SetCal(3, 7, QStringLiteral("12"));
    rig.Answer(true);
    rig.dlg->OnCalGridButton(CCalibrationGrid::COL_BUTTON, 7);
    rig.Wait();
    EXPECT_EQ(rig.LastCommand(), 0x47);
    EXPECT_EQ(rig.LastPayload(), (std::vector<uint8_t>{0x06, 0x08, 0x0C}));
}

TEST(CalibrationTrust, RestoreWritesOnlyWhatDiffersAndReadsItBack)
{
    CTrustRig rig;
    const QString path = rig.Backup();
    const int c7 = rig.meter.GetCorrection(CSimMeter::SIZE_7T, 0);
    const int c15 = rig.meter.GetCorrection(CSimMeter::SIZE_15T, 2);
    const int c30 = rig.meter.GetCorrection(CSimMeter::SIZE_30T, 1);
    rig.SetCorrection(LOADCELL_7T, 0, c7 + 11);
    rig.SetCorrection(LOADCELL_15T, 2, c15 - 20);
    const int requests = rig.meter.GetRequestCount();

    rig.Answer(true);
    rig.Restore(path);
    ASSERT_FALSE(rig.questions.empty());
    const QString question = rig.questions.back().first;
    EXPECT_EQ(question.count(QStringLiteral("(슬롯")), 2) << question.toStdString();
    EXPECT_TRUE(question.contains(QStringLiteral("%1 → %2").arg(c7 + 11).arg(c7)));
    EXPECT_EQ(rig.meter.GetCorrection(CSimMeter::SIZE_7T, 0), c7);
    EXPECT_EQ(rig.meter.GetCorrection(CSimMeter::SIZE_15T, 2), c15);
    EXPECT_EQ(rig.meter.GetCorrection(CSimMeter::SIZE_30T, 1), c30);
    EXPECT_TRUE(rig.LastMessage().startsWith(QStringLiteral("보정 값을 복원했습니다"))) << rig.LastMessage().toStdString();
    // Three reads to plan, then a write and its read-back for each of the
    // two, then three reads as left.
    EXPECT_EQ(rig.meter.GetRequestCount() - requests, 3 + 2 * 2 + 3);

    // Nothing differs any more: nothing is asked, nothing written.
    const size_t asked = rig.questions.size();
    rig.Restore(path);
    EXPECT_EQ(rig.questions.size(), asked);
    EXPECT_TRUE(rig.LastMessage().contains(QStringLiteral("되돌릴 보정 값이 없습니다")));
}

TEST(CalibrationTrust, RestoreStopsAtTheFirstFailureAndSaysWhatWasWritten)
{
    CTrustRig rig;
    const QString path = rig.Backup();
    const int c7 = rig.meter.GetCorrection(CSimMeter::SIZE_7T, 0);
    const int c15 = rig.meter.GetCorrection(CSimMeter::SIZE_15T, 2);
    const int c30 = rig.meter.GetCorrection(CSimMeter::SIZE_30T, 0);
    rig.SetCorrection(LOADCELL_7T, 0, c7 + 1);
    rig.SetCorrection(LOADCELL_15T, 2, c15 + 1);
    rig.SetCorrection(LOADCELL_30T, 0, c30 + 1);

    // The 15-ton write reaches the meter, but its read-back answers with
    // something else: the restore stops there and the 30-ton one is not sent.
    std::vector<uint8_t> wrong(CALIBRATION_RECORD_LEN, 0);
    rig.onQuestion = [&rig, wrong](const QString&) { rig.bridge.m_replaced[0x43] = wrong; };
    rig.Answer(true);
    rig.Restore(path);
    const QString message = rig.LastMessage();
    EXPECT_TRUE(message.startsWith(QStringLiteral("복원을 멈췄습니다"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("15톤"))) << message.toStdString();
    EXPECT_EQ(rig.meter.GetCorrection(CSimMeter::SIZE_7T, 0), c7);          // written
    EXPECT_EQ(rig.meter.GetCorrection(CSimMeter::SIZE_30T, 0), c30 + 1);    // never sent
    const QString written = message.mid(message.indexOf(QStringLiteral("복원된 보정 값")));
    EXPECT_TRUE(written.contains(QStringLiteral("7톤"))) << message.toStdString();
    EXPECT_FALSE(written.contains(QStringLiteral("30톤")));

    // A meter that does not take the write at all: nothing after it is sent.
    rig.bridge.m_replaced.clear();
    rig.bridge.m_dropped.insert(0x47);
    rig.Answer(true);
    rig.Restore(path);
    EXPECT_TRUE(rig.LastMessage().contains(QStringLiteral("계측기가 쓰기를 받지 않았습니다")))
        << rig.LastMessage().toStdString();
    EXPECT_TRUE(rig.LastMessage().contains(QStringLiteral("(없음)")));
    EXPECT_EQ(rig.meter.GetCorrection(CSimMeter::SIZE_30T, 0), c30 + 1);
}

TEST(CalibrationTrust, TamperedOrForeignBackupIsRefusedBeforeAnythingIsAsked)
{
    CTrustRig rig;
    const QString path = rig.Backup();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray text = file.readAll();
    file.close();
    // One correction edited by hand in the decoded values and the record.
    const int at = text.indexOf("\"record\": \"") + 11;
    ASSERT_GT(at, 11);
    text[at] = text[at] == '0' ? '1' : '0';
    QFile tampered(rig.archiveDir.filePath(QStringLiteral("tampered.json")));
    ASSERT_TRUE(tampered.open(QIODevice::WriteOnly));
    tampered.write(text);
    tampered.close();

    const int requests = rig.meter.GetRequestCount();
    rig.Answer(true);
    rig.Restore(tampered.fileName());
    EXPECT_TRUE(rig.LastMessage().contains(QStringLiteral("검사값 불일치"))) << rig.LastMessage().toStdString();
    EXPECT_TRUE(rig.questions.empty());
    EXPECT_EQ(rig.meter.GetRequestCount(), requests);

    // A whole file of another meter.
    CCalibrationSnapshot other;
    other.m_meter = {QStringLiteral("OTHER"), QStringLiteral("SN999"), QStringLiteral("1.05")};
    const QString otherPath = rig.archiveDir.filePath(QStringLiteral("other.json"));
    ASSERT_TRUE(other.Save(otherPath, nullptr));
    rig.Restore(otherPath);
    EXPECT_TRUE(rig.LastMessage().startsWith(QStringLiteral("다른 계측기의 보정값입니다")));
    EXPECT_TRUE(rig.questions.empty());
}

TEST(CalibrationTrust, ClockDriftIsShownAboveTheLimitAndKept)
{
    CAdminTestRig rig;
    rig.AttachArchive();
    rig.dlg->SetMaxClockDrift(60);
    // The meter runs 1 h 2 min ahead of the PC (10:00:00).
    rig.meter.SetMeterTime(CalendarSeconds(2026, 12, 7, 11, 2, 0));
    rig.SearchOk();
    EXPECT_EQ(rig.Info(CDlgAdmin::DRIFT_COL, CDlgAdmin::DRIFT_ROW), QStringLiteral("+1시간 02분"));
    EXPECT_EQ(rig.dlg->InfoGrid().CellForeColor(5, 3), COLORREF(0x4080F0));

    // 30 s behind is within the limit: no text, the usual colour.
    rig.meter.SetMeterTime(CalendarSeconds(2026, 12, 7, 9, 59, 30) + rig.clock.NowSeconds()
                           - LocalSeconds(2026, 12, 7, 10, 0, 0));
    rig.SearchOk();
    EXPECT_EQ(rig.Info(CDlgAdmin::DRIFT_COL, CDlgAdmin::DRIFT_ROW), QString());
    EXPECT_EQ(rig.dlg->InfoGrid().CellForeColor(5, 3), CAppTheme::Current().m_clrText);

    const std::vector<StoredClockReading> readings = CCalibrationHistory(*rig.archive).ClockReadings(SimMeter());
    ASSERT_EQ(readings.size(), 2u);
    ASSERT_TRUE(readings[0].nDrift && readings[1].nDrift);
    EXPECT_EQ(*readings[1].nDrift, 3720);
    EXPECT_EQ(*readings[0].nDrift, -30);
    EXPECT_EQ(readings[0].nLimit, 60);
    EXPECT_EQ(readings[0].strSource, "admin");
}

TEST(CalibrationTrust, PasswordIsAskedUntilTheWaitAndAnEmptyFieldIsNone)
{
    QTemporaryDir dir;
    CIniSysInfo settings;
    settings.LoadSettings(dir.filePath("brevane").toStdString(), [](const std::string&) { return true; });
    CManualClock clock;
    CAdminPassword password(settings, clock);
    std::vector<QString> messages;
    CUiPrompts::SetInfoHook([&](const QString& text, const QString&) { messages.push_back(text); });
    std::deque<std::optional<QString>> typed;
    int asked = 0;
    CDlgPassword::SetAskHook([&](const QString&) {
        ++asked;
        std::optional<QString> next = typed.empty() ? std::nullopt : typed.front();
        if (!typed.empty())
            typed.pop_front();
        return next;
    });

    EXPECT_TRUE(CDlgPassword::Unlock(nullptr, password));   // none set: not asked
    EXPECT_EQ(asked, 0);
    ASSERT_EQ(password.Set(QStringLiteral("1234")), CAdminPassword::EResult::Ok);

    typed = {QString(), QStringLiteral("1234")};   // an empty field is asked again, uncounted
    EXPECT_TRUE(CDlgPassword::Unlock(nullptr, password));
    EXPECT_EQ(asked, 2);

    asked = 0;
    typed = {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("1234")};
    EXPECT_FALSE(CDlgPassword::Unlock(nullptr, password));
    EXPECT_EQ(asked, 3);   // the fourth try waits
    EXPECT_TRUE(messages.back().contains(QStringLiteral("초 후에")));
    clock.AdvanceUs(31'000'000);
    typed = {QStringLiteral("1234")};
    EXPECT_TRUE(CDlgPassword::Unlock(nullptr, password));

    CDlgPassword::SetAskHook(nullptr);
    CUiPrompts::ClearHooks();
}

TEST(CalibrationTrust, CertificateOfTheSelectedSizeIsReadAgainAndPrinted)
{
    CTrustRig rig;
    rig.dlg->GetDlgItemAs<QPushButton>(CDlgAdmin::IDC_RADIO_15T)->click();
    rig.Wait();
    const QString path = rig.archiveDir.filePath(QStringLiteral("cert.pdf"));
    CUiPrompts::SetSaveFileHook([path](const QString&, const QString&, const QString&) { return path; });
    rig.dlg->OnCertificate();
    rig.Wait();
    EXPECT_EQ(rig.LastCommand(), 0x43);
    ASSERT_TRUE(QFile::exists(path)) << rig.LastMessage().toStdString();
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(30000));
    const QString out = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QStringLiteral("15톤"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QString::number(rig.meter.GetCalPoint(CSimMeter::SIZE_15T, 3))));
    EXPECT_TRUE(out.contains(QStringLiteral("SN250100042")));
}
