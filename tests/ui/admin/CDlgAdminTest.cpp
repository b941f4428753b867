// The administrator window's settings part on the simulated meter: the
// device search, writing name, serial number and clock, the once-a-second
// timer, the last-exchange lines, the layout and the log button.

#include "CAdminTestRig.h"

#include "AnsiText.h"
#include "CDlgLog.h"
#include "CSpreadSheet.h"
#include "CUiPrompts.h"
#include "MeterTime.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kNow = QStringLiteral("2026-12-07 10:00:00");

TEST(AdminSearch, ReadsEveryItemAndGoesOnWithoutTheVersion)
{
    CAdminTestRig rig;
    rig.bridge.m_dropped = {0x30};   // this meter never answers the version request
    rig.SearchOk();
    EXPECT_EQ(rig.Info(2, 1), QStringLiteral("SIM-METER"));
    EXPECT_EQ(rig.Info(2, 2), QStringLiteral("SN250100042"));
    EXPECT_EQ(rig.Info(5, 1), QString());
    EXPECT_EQ(rig.Info(5, 2), QStringLiteral("87 %"));
    // The meter's clock, a second or two of polling after the PC's.
    EXPECT_TRUE(rig.Info(5, 3).startsWith(QStringLiteral("2026-12-07 10:00:0")));

    // With the version answered it is shown too.
    rig.bridge.m_dropped.clear();
    rig.SearchOk();
    EXPECT_EQ(rig.Info(5, 1), QStringLiteral("1.05"));
}

TEST(AdminSearch, FailureReportsTheLinkErrorAndStopsAutomaticReading)
{
    CAdminTestRig rig;
    rig.SearchOk();
    rig.dlg->AutoReadBox()->setChecked(true);
    rig.meter.SetBattery(-3);
    rig.bridge.m_dropped = {0x33};
    rig.dlg->OnDeviceSearch();
    rig.Wait();

    EXPECT_EQ(rig.dlg->m_bDeviceFound, 0);
    ASSERT_EQ(rig.messages.size(), 1u);
    // What to check first, then the link's own text.
    EXPECT_EQ(rig.LastMessage(), CUiPrompts::LinkFailureText(LINK_READ_FAILED,
                                                             QString::fromStdString(LinkResultText(LINK_READ_FAILED))));
    EXPECT_TRUE(rig.LastMessage().endsWith(QString::fromStdString(LinkResultText(LINK_READ_FAILED))));
    EXPECT_FALSE(rig.dlg->AutoReadBox()->isChecked());
    // What was read before the failure stays; nothing after it is shown.
    EXPECT_EQ(rig.Info(2, 1), QStringLiteral("SIM-METER"));
    EXPECT_EQ(rig.Info(5, 2), QString());
    EXPECT_EQ(rig.Info(5, 3), QString());

    // A negative battery byte is shown signed.
    rig.bridge.m_dropped.clear();
    rig.SearchOk();
    EXPECT_EQ(rig.Info(5, 2), QStringLiteral("-3 %"));
}

TEST(AdminSearch, UnsetSerialNumberShowsDash)
{
    CSimMeter::Setup setup;
    setup.bNoSerial = true;
    CAdminTestRig rig(setup);
    rig.SearchOk();
    EXPECT_EQ(rig.Info(2, 2), QStringLiteral("-"));
}

TEST(AdminSearch, ClockOutsideTheShownYearsIsADash)
{
    CAdminTestRig rig;
    const struct {
        int year;
        const char* shown;
    } cases[] = {
        {1970, "-"},
        {1971, "1971-06-01 12:00:0"},
        {2199, "2199-06-01 12:00:0"},
        {2200, "-"},
    };
    for (const auto& c : cases) {
        rig.meter.SetMeterTime(CalendarSeconds(c.year, 6, 1, 12, 0, 0));
        rig.SearchOk();
        EXPECT_TRUE(rig.Info(5, 3).startsWith(QString::fromUtf8(c.shown)))
            << c.year << " shown as " << rig.Info(5, 3).toStdString();
    }
}

TEST(AdminSearch, ClockRecordsThatMakeNoTime)
{
    // @0 2 year  @2 month  @3 day  @4 hour  @5 minute  @6 second  @7 6 stored number
    auto record = [](int year, int month, int day, int hour, int minute, int second) {
        std::vector<uint8_t> r = {uint8_t(year >> 8), uint8_t(year), uint8_t(month), uint8_t(day),
                                  uint8_t(hour),      uint8_t(minute), uint8_t(second)};
        r.resize(13, 0);
        return r;
    };
    EXPECT_EQ(CDlgAdmin::FormatMeterClock(record(2024, 13, 1, 0, 0, 0).data()), QStringLiteral("-"));
    EXPECT_EQ(CDlgAdmin::FormatMeterClock(record(2024, 0, 1, 0, 0, 0).data()), QStringLiteral("-"));
    EXPECT_EQ(CDlgAdmin::FormatMeterClock(record(2024, 5, 0, 0, 0, 0).data()), QStringLiteral("-"));
    EXPECT_EQ(CDlgAdmin::FormatMeterClock(record(2024, 5, 1, 24, 0, 0).data()), QStringLiteral("-"));
    EXPECT_EQ(CDlgAdmin::FormatMeterClock(record(2024, 5, 1, 0, 60, 0).data()), QStringLiteral("-"));
    // In range but not a calendar date: normalised as the local-time conversion does.
    EXPECT_EQ(CDlgAdmin::FormatMeterClock(record(2024, 2, 30, 9, 5, 7).data()),
              QStringLiteral("2024-03-01 09:05:07"));

    // The same through the window, from a meter whose clock reply is broken.
    CAdminTestRig rig;
    rig.bridge.m_replaced[0x4B] = record(2030, 1, 1, 0xFF, 0xFF, 0xFF);
    rig.SearchOk();
    EXPECT_EQ(rig.Info(5, 3), QStringLiteral("-"));
}

TEST(AdminWrite, NameIsPaddedOrCutCleanly)
{
    CAdminTestRig rig;
    rig.SetInfo(2, 1, QStringLiteral("ABC"));
    rig.Answer(true);
    rig.dlg->OnInfoGridButton(3, 1);
    rig.Wait();
    ASSERT_EQ(rig.questions.size(), 1u);
    EXPECT_EQ(rig.questions[0].first, QStringLiteral("측정기 명-'ABC' 값을 설정하시겠습니까?"));
    EXPECT_EQ(rig.questions[0].second, QStringLiteral("설정"));
    EXPECT_EQ(rig.meter.GetName(), "ABC      ");
    EXPECT_EQ(rig.LastMessage(), QStringLiteral("성공"));

    rig.SetInfo(2, 1, QStringLiteral("ABCDEFGHI"));
    rig.Answer(true);
    rig.dlg->OnInfoGridButton(3, 1);
    rig.Wait();
    EXPECT_EQ(rig.meter.GetName(), "ABCDEFGHI");

    // Five Hangul syllables take ten bytes: the fifth does not fit and is
    // left out whole rather than split.
    rig.SetInfo(2, 1, QStringLiteral("가나다라마"));
    rig.Answer(true);
    rig.dlg->OnInfoGridButton(3, 1);
    rig.Wait();
    // The question names what the meter will keep.
    EXPECT_EQ(rig.questions.back().first, QStringLiteral("측정기 명-'가나다라' 값을 설정하시겠습니까?"));
    EXPECT_EQ(rig.meter.GetName(), Utf8ToAnsi("가나다라") + " ");
    rig.SearchOk();
    EXPECT_EQ(rig.Info(2, 1), QStringLiteral("가나다라 "));
}

TEST(AdminWrite, SerialNumberAndRefusals)
{
    CAdminTestRig rig;
    rig.SetInfo(2, 2, QStringLiteral("SN-7"));
    rig.Answer(true);
    rig.dlg->OnInfoGridButton(3, 2);
    rig.Wait();
    EXPECT_EQ(rig.questions.back().first, QStringLiteral("측정기 S/N-'SN-7' 값을 설정하시겠습니까?"));
    EXPECT_EQ(rig.meter.GetSerial(), "SN-7       ");

    const int requests = rig.meter.GetRequestCount();
    // No: nothing is sent.
    rig.SetInfo(2, 2, QStringLiteral("OTHER"));
    rig.dlg->OnInfoGridButton(3, 2);
    rig.Wait();
    // Empty: not even asked.
    rig.SetInfo(2, 1, QString());
    rig.dlg->OnInfoGridButton(3, 1);
    rig.Wait();
    EXPECT_EQ(rig.questions.size(), 2u);
    // A character the meter's code page lacks would arrive as '?'.
    rig.SetInfo(2, 1, QStringLiteral("AB\U0001F600"));
    rig.dlg->OnInfoGridButton(3, 1);
    rig.Wait();
    EXPECT_EQ(rig.questions.size(), 2u);
    EXPECT_TRUE(rig.LastMessage().contains(QStringLiteral("쓸 수 없는 문자")));
    // The check box cell and cells without a button do nothing.
    rig.dlg->OnInfoGridButton(3, 3);
    rig.Wait();
    rig.dlg->OnInfoGridButton(6, 1);
    rig.Wait();
    EXPECT_EQ(rig.questions.size(), 2u);
    EXPECT_EQ(rig.meter.GetRequestCount(), requests);
    EXPECT_EQ(rig.meter.GetSerial(), "SN-7       ");
}

TEST(AdminWrite, ClockFromThePcOrTyped)
{
    CAdminTestRig rig;
    rig.Answer(true);
    rig.dlg->OnInfoGridButton(6, 3);
    rig.Wait();
    EXPECT_EQ(rig.questions.back().first, QStringLiteral("장비시간을 설정하시겠습니까?"));
    EXPECT_EQ(rig.LastMessage(), QStringLiteral("성공"));
    EXPECT_NEAR(double(rig.meter.GetMeterTime()), double(CalendarSeconds(2026, 12, 7, 10, 0, 0)), 2.0);
    EXPECT_EQ(rig.LastPayload().size(), 13u);
    // The stored number is always 000-1234-5678.
    EXPECT_EQ(FormatStoredNumber(rig.LastPayload().data() + 7), "000-1234-5678");

    // Unticked "현재시간적용": the typed time, normalised.
    rig.dlg->InfoGrid().SetInteger(3, 3, 0);
    rig.SetInfo(5, 3, QStringLiteral("2024-02-30 10:00:00"));
    rig.Answer(true);
    rig.dlg->OnInfoGridButton(6, 3);
    rig.Wait();
    EXPECT_EQ(rig.LastMessage(), QStringLiteral("성공"));
    const int64_t written = rig.meter.GetMeterTime();
    EXPECT_NEAR(double(written), double(CalendarSeconds(2024, 3, 1, 10, 0, 0)), 2.0);
    rig.SearchOk();
    EXPECT_TRUE(rig.Info(5, 3).startsWith(QStringLiteral("2024-03-01 10:00:0")));
}

TEST(AdminWrite, TypedClockThatIsNotATimeSendsNothing)
{
    CAdminTestRig rig;
    rig.dlg->InfoGrid().SetInteger(3, 3, 0);
    const int requests = rig.meter.GetRequestCount();
    const QString malformed = QStringLiteral("시간 정보가 잘못되었습니다. 확인바랍니다.");
    const QString outOfRange = QStringLiteral("시간 정보가 범위를 벗어났습니다. 확인바랍니다.");
    const std::pair<const char*, QString> cases[] = {
        {"2024-02-3 10:00:00", malformed},     // 13 digits
        {"2024-02-033 10:00:00", malformed},   // 15 digits
        {"2024-0a-03 10:00:00", malformed},
        {"", malformed},
        {"2024-13-01 10:00:00", outOfRange},
        {"2024-00-01 10:00:00", outOfRange},
        {"2024-01-32 10:00:00", outOfRange},
        {"2024-01-01 24:00:00", outOfRange},
        {"2024-01-01 23:60:00", outOfRange},
        {"2024-01-01 23:59:60", outOfRange},
        {"1899-12-31 23:59:59", outOfRange},
    };
    for (const auto& c : cases) {
        rig.SetInfo(5, 3, QString::fromUtf8(c.first));
        rig.Answer(true);
        rig.dlg->OnInfoGridButton(6, 3);
        rig.Wait();
        EXPECT_EQ(rig.LastMessage(), c.second) << c.first;
    }
    EXPECT_EQ(rig.meter.GetRequestCount(), requests);

    // The bounds themselves are times.
    int64_t t = 0;
    EXPECT_EQ(CDlgAdmin::ParseTypedClock(QStringLiteral("20240101000000"), &t), CDlgAdmin::TYPED_CLOCK_OK);
    EXPECT_EQ(t, LocalSeconds(2024, 1, 1, 0, 0, 0));
    EXPECT_EQ(CDlgAdmin::ParseTypedClock(QStringLiteral("2024-12-31 23:59:59"), &t),
              CDlgAdmin::TYPED_CLOCK_OK);
    EXPECT_EQ(t, LocalSeconds(2024, 12, 31, 23, 59, 59));
}

TEST(AdminWrite, FailedWriteIsReported)
{
    CAdminTestRig rig;
    rig.bridge.m_dropped = {0x4C};
    rig.SetInfo(2, 1, QStringLiteral("ABC"));
    rig.Answer(true);
    rig.dlg->OnInfoGridButton(3, 1);
    rig.Wait();
    EXPECT_EQ(rig.LastMessage(),
              QStringLiteral("설정 실패 - ")
                  + CUiPrompts::LinkFailureText(LINK_READ_FAILED, QString::fromStdString(LinkResultText(LINK_READ_FAILED))));
    EXPECT_EQ(rig.meter.GetName(), "SIM-METER");
}

TEST(AdminTimer, ShowsThePcClockAndReadsOnlyAfterASearch)
{
    CAdminTestRig rig;
    rig.dlg->AutoReadBox()->setChecked(true);
    const int requests = rig.meter.GetRequestCount();
    rig.dlg->OnTimer(CDlgAdmin::TIMER_REFRESH);
    rig.Wait();
    EXPECT_EQ(rig.Info(2, 3), kNow);
    EXPECT_EQ(rig.meter.GetRequestCount(), requests);
    rig.dlg->OnTimer(7);   // other timers are not this window's
    rig.Wait();
    EXPECT_EQ(rig.meter.GetRequestCount(), requests);

    // A search turns the box off only when it fails; it was on, so reading starts.
    rig.SearchOk();
    rig.dlg->OnTimer(CDlgAdmin::TIMER_REFRESH);
    rig.Wait();
    EXPECT_EQ(rig.LastCommand(), 0x4D);
    EXPECT_EQ(rig.Cal(2, 2), QString::number(rig.meter.GetCalPoint(CSimMeter::SIZE_7T, 0)));
    EXPECT_EQ(rig.Cal(2, 9).toInt(), rig.meter.GetCorrection(CSimMeter::SIZE_7T, 2));

    // Not with the box off, and not while the link is closed.
    const int afterRead = rig.meter.GetRequestCount();
    rig.dlg->AutoReadBox()->setChecked(false);
    rig.dlg->OnTimer(CDlgAdmin::TIMER_REFRESH);
    rig.Wait();
    rig.dlg->AutoReadBox()->setChecked(true);
    rig.session.Link().m_hDevice.reset();
    rig.dlg->OnTimer(CDlgAdmin::TIMER_REFRESH);
    rig.Wait();
    EXPECT_EQ(rig.meter.GetRequestCount(), afterRead);
}

TEST(AdminDisplay, LastExchangeLines)
{
    CAdminTestRig rig;
    rig.SearchOk();
    const QString send = rig.dlg->findChild<QLabel*>(QStringLiteral("1042"))->text();
    const QString recv = rig.dlg->findChild<QLabel*>(QStringLiteral("1041"))->text();
    // The clock request was the last one: 02 02 4B 00, check byte 4B, 03.
    const QRegularExpression sendRe(
        QStringLiteral("^SEND : \\[2026-12-07 10:00:0\\d\\] 02 02 4B 00 4B 03  \\(6 BYTE\\)$"));
    EXPECT_TRUE(sendRe.match(send).hasMatch()) << send.toStdString();
    const QRegularExpression recvRe(QStringLiteral(
        "^RECV : \\[2026-12-07 10:00:0\\d\\] 02 0E 4B (?:[0-9A-F]{2} ){13}[0-9A-F]{2} 03  \\(18 BYTE\\) %1$")
                                        .arg(QRegularExpression::escape(
                                            QString::fromStdString(LinkResultText(LINK_OK)))));
    EXPECT_TRUE(recvRe.match(recv).hasMatch()) << recv.toStdString();

    // A failed exchange shows what did arrive and the failure.
    rig.bridge.m_dropped = {0x31};
    rig.dlg->OnDeviceSearch();
    rig.Wait();
    const QString failed = rig.dlg->findChild<QLabel*>(QStringLiteral("1041"))->text();
    EXPECT_TRUE(failed.endsWith(QStringLiteral(" (0 BYTE) ")
                                + QString::fromStdString(LinkResultText(LINK_READ_FAILED))))
        << failed.toStdString();
}

TEST(AdminLayout, GridsFillTheirPlaces)
{
    CAdminTestRig rig;
    CDlgAdmin& dlg = *rig.dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("관리자 모드"));
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());   // no sizing border

    const QRect search = dlg.GetDlgItem(CDlgAdmin::IDC_BUTTON_SEARCH)->geometry();
    const QRect info = dlg.InfoGrid().geometry();
    EXPECT_EQ(info.left(), search.right() + 1 + 5);
    EXPECT_EQ(info.right() + 1, dlg.width() - 5);
    EXPECT_EQ(info.top(), search.top());
    EXPECT_EQ(info.height(), search.height());

    const QRect group = dlg.GetDlgItem(CDlgAdmin::IDC_GROUP_CAL)->geometry();
    const QRect radio = dlg.GetDlgItem(CDlgAdmin::IDC_RADIO_7T)->geometry();
    const QRect check = dlg.GetDlgItem(CDlgAdmin::IDC_CHECK_AUTO)->geometry();
    const QRect cal = dlg.CalGrid().geometry();
    EXPECT_EQ(cal.left(), group.left() + 5);
    EXPECT_EQ(cal.width(), group.width() - 10);
    EXPECT_EQ(cal.top(), radio.bottom() + 1 + 2);
    EXPECT_EQ(cal.bottom() + 1, check.top() - 5);

    // Columns keep their designed proportions and fill the width (one pixel
    // per column for the lines).
    CSpreadSheet& g = dlg.InfoGrid();
    double sum = 0;
    for (int c = 1; c <= 6; ++c)
        sum += g.ColumnWidthToPixels(g.GetColumnWidth(c));
    EXPECT_NEAR(sum, info.width() - 6, 6.0);
    EXPECT_NEAR(g.GetColumnWidth(2) / g.GetColumnWidth(1), 20.0 / 18.0, 1e-6);
    EXPECT_NEAR(g.GetColumnWidth(3) / g.GetColumnWidth(1), 12.0 / 18.0, 1e-6);
}

TEST(AdminLayout, InformationGridCells)
{
    CAdminTestRig rig;
    CSpreadSheet& g = rig.dlg->InfoGrid();
    EXPECT_EQ(g.GetColumnCount(), 6);
    EXPECT_EQ(g.GetRowCount(), 3);
    EXPECT_EQ(rig.Info(1, 3), QStringLiteral("컴퓨터 시간"));
    EXPECT_EQ(rig.Info(4, 3), QStringLiteral("장비 시간"));
    const struct {
        int col, row;
        EGridCellType type;
        int maxLength;
    } cells[] = {
        {2, 1, EGridCellType::Edit, 9},       {2, 2, EGridCellType::Edit, 11},
        {5, 3, EGridCellType::Edit, 19},      {2, 3, EGridCellType::StaticText, 0},
        {5, 1, EGridCellType::StaticText, 0}, {3, 1, EGridCellType::Button, 0},
        {6, 3, EGridCellType::Button, 0},     {6, 1, EGridCellType::StaticText, 0},
        {3, 3, EGridCellType::CheckBox, 0},
    };
    for (const auto& c : cells) {
        const CGridCellStyle& style = g.AddressedSheet().Style(c.col, c.row);
        EXPECT_EQ(style.eType, c.type) << c.col << "," << c.row;
        EXPECT_EQ(style.nMaxLength, c.maxLength) << c.col << "," << c.row;
    }
    int ticked = 0;
    ASSERT_TRUE(g.GetInteger(3, 3, &ticked));
    EXPECT_EQ(ticked, 1);
    EXPECT_EQ(g.AddressedSheet().Style(3, 3).strCaption, QStringLiteral("현재시간적용"));
}

TEST(AdminControls, InitialStateAndLogButton)
{
    QTemporaryDir dir;
    CAdminTestRig rig;
    EXPECT_FALSE(rig.dlg->GetDlgItem(CDlgAdmin::IDC_BUTTON_UPLOAD)->isEnabled());
    EXPECT_FALSE(rig.dlg->GetDlgItem(CDlgAdmin::IDC_BUTTON_DROP)->isEnabled());
    EXPECT_TRUE(rig.dlg->GetDlgItem(CDlgAdmin::IDC_BUTTON_SEARCH)->isEnabled());
    EXPECT_TRUE(rig.dlg->GetDlgItem(CDlgAdmin::IDC_RADIO_7T)->isEnabled());
    EXPECT_EQ(rig.dlg->GetRadioIndex(CDlgAdmin::IDC_RADIO_7T), 0);

    CDlgLog log(nullptr, dir.path().toStdString(), rig.clock);
    CDlgAdmin admin(nullptr, rig.clock, &log);
    admin.m_pSession = &rig.session;
    admin.InitDialog();
    auto* button = admin.GetDlgItemAs<QPushButton>(CDlgAdmin::IDC_BUTTON_LOG);
    button->click();
    rig.Wait();
    EXPECT_TRUE(log.isVisible());
    button->click();
    rig.Wait();
    EXPECT_FALSE(log.isVisible());
}

TEST(AdminFirmware, LoadedImageLocksTheMeterSettings)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fw.bin"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QByteArray image(1500, '\x5A');
    image[0] = '\x33';
    image[1] = '\x55';
    file.write(image);
    file.close();

    CAdminTestRig rig;
    rig.SearchOk();
    rig.dlg->AutoReadBox()->setChecked(true);
    rig.dlg->OnTimer(CDlgAdmin::TIMER_REFRESH);
    rig.Wait();
    CUiPrompts::SetOpenFileHook([&](const QString&, const QString&, const QString&) { return path; });
    rig.dlg->GetDlgItemAs<QPushButton>(CDlgAdmin::IDC_BUTTON_FILE)->click();
    rig.Wait();

    ASSERT_TRUE(rig.dlg->IsImageReady());
    EXPECT_EQ(rig.dlg->m_firmware.m_nImageSize, 1500u);
    EXPECT_FALSE(rig.dlg->AutoReadBox()->isChecked());
    for (int id : {CDlgAdmin::IDC_BUTTON_SEARCH, CDlgAdmin::IDC_CHECK_AUTO, CDlgAdmin::IDC_RADIO_7T,
                   CDlgAdmin::IDC_RADIO_15T, CDlgAdmin::IDC_RADIO_30T})
        EXPECT_FALSE(rig.dlg->GetDlgItem(id)->isEnabled()) << id;
    for (int id : {CDlgAdmin::IDC_BUTTON_UPLOAD, CDlgAdmin::IDC_BUTTON_DROP})
        EXPECT_TRUE(rig.dlg->GetDlgItem(id)->isEnabled()) << id;

    // Neither grid's buttons nor the timer touch the meter now.
    const int requests = rig.meter.GetRequestCount();
    rig.SetInfo(2, 1, QStringLiteral("ABC"));
    rig.SetCal(3, 7, QStringLiteral("1"));
    rig.Answer(true);
    rig.Answer(true);
    rig.dlg->OnInfoGridButton(3, 1);
    rig.Wait();
    rig.dlg->OnCalGridButton(4, 7);
    rig.Wait();
    rig.dlg->AutoReadBox()->setChecked(true);
    rig.dlg->OnTimer(CDlgAdmin::TIMER_REFRESH);
    rig.Wait();
    EXPECT_TRUE(rig.questions.empty());
    EXPECT_EQ(rig.meter.GetRequestCount(), requests);

    // The upload goes through the window's link; afterwards the settings are free again.
    rig.dlg->GetDlgItemAs<QPushButton>(CDlgAdmin::IDC_BUTTON_UPLOAD)->click();
    rig.Wait();
    EXPECT_EQ(rig.dlg->findChild<QLabel*>(QStringLiteral("1045"))->text(),
              QStringLiteral("펌웨어 업데이트 완료"));
    const std::vector<uint8_t>& received = rig.meter.GetFirmwareImage();
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(received.data()), int(received.size())), image);
    EXPECT_FALSE(rig.dlg->IsImageReady());
    EXPECT_TRUE(rig.dlg->GetDlgItem(CDlgAdmin::IDC_BUTTON_SEARCH)->isEnabled());
    EXPECT_FALSE(rig.dlg->GetDlgItem(CDlgAdmin::IDC_BUTTON_UPLOAD)->isEnabled());
}

}   // namespace
