// The main window's part in trusting the meter: the clock drift of a device
// search (shown above the limit, kept in the archive) and the administrator
// password asked before the administrator and firmware windows open.

#include "CAdminPassword.h"
#include "CArchiveSink.h"
#include "CBrevaneDlg.h"
#include "CCalibrationHistory.h"
#include "CDlgAdmin.h"
#include "CDlgFw.h"
#include "CDlgPassword.h"
#include "CIniSysInfo.h"
#include "CManualClock.h"
#include "CSimBridge.h"
#include "CSimMeter.h"
#include "CSqliteArchive.h"
#include "CUiPrompts.h"
#include "UiTestSupport.h"

#include <QLabel>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <optional>

namespace {

int64_t Calendar(int y, int mo, int d, int h, int mi, int s)
{
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    return int64_t(timegm(&t));
}

class MainWindowTrustTest : public ::testing::Test {
protected:
    MainWindowTrustTest() : clock(LocalSeconds(2026, 12, 7, 10, 0, 0)), meter(clock), bridge(meter, clock)
    {
        sysInfo.LoadSettings((dir.path() + QStringLiteral("/brevane")).toStdString(),
                             [](const std::string&) { return true; });
        CUiPrompts::SetInfoHook([this](const QString& text, const QString&) { messages.push_back(text); });
        CUiPrompts::SetYesNoHook([](const QString&, const QString&) { return false; });
        CDlgPassword::SetAskHook([this](const QString&) {
            ++asked;
            std::optional<QString> next;
            if (!typed.empty()) {
                next = typed.front();
                typed.pop_front();
            }
            return next;
        });
        archive.Open(dir.filePath(QStringLiteral("archive.sqlite")).toStdString());
        dlg = std::make_unique<CBrevaneDlg>(bridge, clock, sysInfo);
        dlg->InitDialog();
        dlg->SetArchive(&archive, nullptr);
        dlg->OnTimer(CBrevaneDlg::TIMER_DETECT);
        WaitIdle(dlg->Session());
    }
    ~MainWindowTrustTest() override
    {
        dlg.reset();
        CDlgPassword::SetAskHook(nullptr);
        CUiPrompts::ClearHooks();
    }
    QString ClockText() const { return dlg->GetDlgItemAs<QLabel>(CBrevaneDlg::IDC_STATIC_CLOCK)->text(); }
    int OpenWindows() const
    {
        return int(dlg->findChildren<CDlgAdmin*>().size() + dlg->findChildren<CDlgFw*>().size());
    }

    QTemporaryDir dir;
    CManualClock clock;
    CSimMeter meter;
    CSimBridge bridge;
    CIniSysInfo sysInfo;
    CSqliteArchive archive;
    std::unique_ptr<CBrevaneDlg> dlg;
    std::vector<QString> messages;
    std::deque<QString> typed;
    int asked = 0;
};

}  // namespace

TEST_F(MainWindowTrustTest, DeviceSearchShowsTheDriftOnlyAboveTheLimitAndKeepsEachReading)
{
    const int64_t offset = Calendar(2026, 12, 7, 10, 0, 0) - LocalSeconds(2026, 12, 7, 10, 0, 0);
    meter.SetMeterTime(clock.NowSeconds() + offset + 3720);
    dlg->OnDeviceSearch();
    WaitIdle(dlg->Session());
    EXPECT_TRUE(ClockText().endsWith(QStringLiteral("(+1시간 02분)"))) << ClockText().toStdString();
    EXPECT_TRUE(dlg->ClockDrifts());

    meter.SetMeterTime(clock.NowSeconds() + offset - 45);
    dlg->OnDeviceSearch();
    WaitIdle(dlg->Session());
    EXPECT_FALSE(ClockText().contains(QLatin1Char('('))) << ClockText().toStdString();
    EXPECT_FALSE(dlg->ClockDrifts());

    // A tighter limit from the settings makes the same 45 s too much.
    sysInfo.m_nMaxClockDrift = 30;
    dlg->OnDeviceSearch();
    WaitIdle(dlg->Session());
    EXPECT_TRUE(ClockText().endsWith(QStringLiteral("(-45초)"))) << ClockText().toStdString();

    const std::vector<StoredClockReading> readings =
        CCalibrationHistory(archive).ClockReadings({"SIM-METER", "SN250100042", "1.05"});
    ASSERT_EQ(readings.size(), 3u);
    EXPECT_EQ(readings[2].nDrift.value_or(0), 3720);
    EXPECT_EQ(readings[0].nDrift.value_or(0), -45);
    EXPECT_EQ(readings[0].nLimit, 30);
    EXPECT_EQ(readings[0].strSource, "main");
}

TEST_F(MainWindowTrustTest, AdministratorAndFirmwareWindowsAskForThePasswordWhenOneIsSet)
{
    dlg->OnAdmin();
    EXPECT_EQ(asked, 0);   // none set: the window opens at once
    EXPECT_EQ(OpenWindows(), 1);
    qDeleteAll(dlg->findChildren<CDlgAdmin*>());

    CAdminPassword password(sysInfo, clock);
    ASSERT_EQ(password.Set(QStringLiteral("brevane")), CAdminPassword::EResult::Ok);

    typed = {QStringLiteral("wrong")};   // then Cancel
    dlg->OnFirmware();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(OpenWindows(), 0);

    typed = {QStringLiteral("brevane")};
    dlg->OnFirmware();
    EXPECT_EQ(OpenWindows(), 1);
    qDeleteAll(dlg->findChildren<CDlgFw*>());

    typed = {QStringLiteral("brevane")};
    dlg->OnAdmin();
    EXPECT_EQ(OpenWindows(), 1);
}
