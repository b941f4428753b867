// The load-cell calibration of the administrator window on the simulated
// meter: the grid, the size buttons, the reads, set points and corrections.

#include "CAdminTestRig.h"

#include "CCalibrationGrid.h"
#include "CSpreadSheet.h"

#include <QCheckBox>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

// A rig after a successful search, reading automatically.
struct CReadingRig : CAdminTestRig {
    CReadingRig()
    {
        SearchOk();
        dlg->AutoReadBox()->setChecked(true);
    }
    void SelectSize(int id) { dlg->GetDlgItemAs<QPushButton>(id)->click(); }
    void Tick() { dlg->OnTimer(CDlgAdmin::TIMER_REFRESH); }
};

TEST(Calibration, GridShape)
{
    CAdminTestRig rig;
    const CGridSheet& sheet = rig.dlg->CalGrid().AddressedSheet();
    EXPECT_EQ(sheet.ColumnCount(), 4);
    EXPECT_EQ(sheet.RowCount(), 9);
    for (int row = 1; row <= 9; ++row) {
        const CGridSheet::CSpan* span = sheet.SpanAt(2, row);
        if (row <= 6) {
            ASSERT_NE(span, nullptr) << row;
            EXPECT_EQ(span->nCol, 2);
            EXPECT_EQ(span->nCols, 2);
            EXPECT_EQ(span->nRows, 1);
        } else {
            EXPECT_EQ(span, nullptr) << row;
        }
    }
    const QString labels[] = {"구 분", "0 KN", "30 KN", "50 KN", "65 KN", "현 로드셀 값",
                              "30 KN 보정 값", "50 KN 보정 값", "65 KN 보정 값"};
    for (int row = 1; row <= 9; ++row)
        EXPECT_EQ(rig.Cal(1, row), labels[row - 1]);
    EXPECT_EQ(rig.Cal(2, 1), QStringLiteral("값"));

    for (int row = 7; row <= 9; ++row) {
        const CGridCellStyle& number = sheet.Style(3, row);
        EXPECT_EQ(number.eType, EGridCellType::Number);
        EXPECT_EQ(number.dMin, -1000.0);
        EXPECT_EQ(number.dMax, 1000.0);
        EXPECT_EQ(number.nDecimals, 0);
        EXPECT_EQ(number.clrBack, CAppTheme::Current().m_clrEditBack);
        EXPECT_EQ(rig.Cal(3, row), QString());   // empty until a size is chosen
    }
    for (int row = 1; row <= 9; ++row) {
        const bool button = row != 1 && row != 6;
        EXPECT_EQ(sheet.Style(4, row).eType == EGridCellType::Button, button) << row;
    }
}

TEST(Calibration, ChangingSizeRelabelsAndResetsOnlyOnAChange)
{
    CReadingRig rig;
    rig.SelectSize(CDlgAdmin::IDC_RADIO_15T);
    rig.Wait();
    EXPECT_EQ(rig.LastCommand(), 0x43);
    EXPECT_EQ(rig.Cal(1, 5), QStringLiteral("140 KN"));
    const QString point1 = QString::number(rig.meter.GetCalPoint(CSimMeter::SIZE_15T, 1));
    EXPECT_EQ(rig.Cal(2, 3), point1);

    rig.dlg->AutoReadBox()->setChecked(false);
    rig.SetCal(3, 7, QStringLiteral("5"));
    rig.SelectSize(CDlgAdmin::IDC_RADIO_30T);
    rig.Wait();
    EXPECT_EQ(rig.dlg->m_nCellSize, 2);
    const QString labels30[] = {"160 KN", "220 KN", "280 KN"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(rig.Cal(1, 3 + i), labels30[i]);
        EXPECT_EQ(rig.Cal(1, 7 + i), labels30[i] + QStringLiteral(" 보정 값"));
        EXPECT_EQ(rig.Cal(3, 7 + i), QStringLiteral("0"));
    }
    EXPECT_EQ(rig.Cal(2, 3), point1);   // the 15 t values stay until the next read

    // The button of the size already selected changes nothing.
    rig.SetCal(3, 7, QStringLiteral("5"));
    rig.SelectSize(CDlgAdmin::IDC_RADIO_30T);
    rig.Wait();
    EXPECT_EQ(rig.Cal(3, 7), QStringLiteral("5"));
    EXPECT_EQ(rig.Cal(1, 3), QStringLiteral("160 KN"));

    rig.dlg->AutoReadBox()->setChecked(true);
    rig.Tick();
    rig.Wait();
    EXPECT_EQ(rig.LastCommand(), 0x45);
    EXPECT_EQ(rig.Cal(2, 3), QString::number(rig.meter.GetCalPoint(CSimMeter::SIZE_30T, 1)));
    EXPECT_EQ(rig.Cal(3, 7), QStringLiteral("5"));   // a read leaves typed values alone
}

TEST(Calibration, CorrectionWritesCarryTheSlotAndOffsetValue)
{
    CReadingRig rig;
    rig.SelectSize(CDlgAdmin::IDC_RADIO_30T);
    rig.Wait();
    const QString before = rig.Cal(2, 8);
    rig.SetCal(3, 8, QStringLiteral("-5"));
    bool boxOffDuringQuestion = false;
    rig.onQuestion = [&](const QString&) { boxOffDuringQuestion = !rig.dlg->AutoReadBox()->isChecked(); };
    rig.Answer(true);
    rig.dlg->OnCalGridButton(4, 8);
    rig.Wait();

    ASSERT_EQ(rig.questions.size(), 1u);
    EXPECT_EQ(rig.questions[0].first,
              QStringLiteral("30톤 220 KN 보정 값 '%1' -> '-5' 값으로 설정하시겠습니까?").arg(before));
    EXPECT_EQ(rig.questions[0].second, QStringLiteral("설정"));
    EXPECT_TRUE(boxOffDuringQuestion);
    EXPECT_TRUE(rig.dlg->AutoReadBox()->isChecked());
    EXPECT_EQ(rig.LastCommand(), 0x47);
    EXPECT_EQ(rig.LastPayload(), (Bytes{0x04, 0x07, 0xFB}));
    EXPECT_EQ(rig.LastMessage(), QStringLiteral("성공"));
    EXPECT_EQ(rig.meter.GetCorrection(CSimMeter::SIZE_30T, 1), -5);
    rig.Tick();
    rig.Wait();
    EXPECT_EQ(rig.Cal(2, 8), QStringLiteral("-5"));

    rig.SelectSize(CDlgAdmin::IDC_RADIO_7T);

    rig.Wait();
    rig.SetCal(3, 7, QStringLiteral("12"));
    rig.Answer(true);
    rig.dlg->OnCalGridButton(4, 7);
    rig.Wait();
    EXPECT_EQ(rig.LastPayload(), (Bytes{0x06, 0x08, 0x0C}));
    EXPECT_EQ(rig.meter.GetCorrection(CSimMeter::SIZE_7T, 0), 12);
    // The other sizes' slots are untouched.
    EXPECT_EQ(rig.meter.GetCorrection(CSimMeter::SIZE_15T, 0), 0);
}

TEST(Calibration, CorrectionNotSent)
{
    CAdminTestRig rig;
    // Nothing read yet: no current value, no question.
    rig.SetCal(3, 7, QStringLiteral("3"));
    rig.dlg->OnCalGridButton(4, 7);
    rig.Wait();
    EXPECT_TRUE(rig.questions.empty());

    rig.SearchOk();
    rig.dlg->AutoReadBox()->setChecked(true);
    rig.dlg->OnTimer(CDlgAdmin::TIMER_REFRESH);
    rig.Wait();
    const int requests = rig.meter.GetRequestCount();
    // Answered No: nothing is sent and the box comes back.
    rig.dlg->OnCalGridButton(4, 7);
    rig.Wait();
    EXPECT_EQ(rig.questions.size(), 1u);
    EXPECT_TRUE(rig.dlg->AutoReadBox()->isChecked());
    // A value the meter cannot take is refused before the question.
    rig.SetCal(3, 7, QStringLiteral("1500"));
    rig.dlg->OnCalGridButton(4, 7);
    rig.Wait();
    EXPECT_EQ(rig.questions.size(), 1u);
    EXPECT_TRUE(rig.LastMessage().contains(QStringLiteral("-1000 ~ 1000")));
    EXPECT_EQ(rig.meter.GetRequestCount(), requests);
    EXPECT_EQ(rig.meter.GetCorrection(CSimMeter::SIZE_7T, 0), 0);
}

TEST(Calibration, SetPointTakesThePresentReading)
{
    CAdminTestRig rig;
    rig.SearchOk();
    const int requests = rig.meter.GetRequestCount();
    // Before the present reading is known the button does nothing.
    rig.dlg->OnCalGridButton(4, 4);
    rig.Wait();
    EXPECT_TRUE(rig.questions.empty());
    EXPECT_EQ(rig.meter.GetRequestCount(), requests);

    rig.dlg->AutoReadBox()->setChecked(true);
    rig.dlg->OnTimer(CDlgAdmin::TIMER_REFRESH);
    rig.Wait();
    const QString present = rig.Cal(2, 6);
    ASSERT_FALSE(present.isEmpty());
    rig.Answer(true);
    rig.dlg->OnCalGridButton(4, 4);
    rig.Wait();
    ASSERT_EQ(rig.questions.size(), 1u);
    EXPECT_TRUE(rig.questions[0].first.startsWith(QStringLiteral("7톤 50 KN ")));
    EXPECT_TRUE(rig.questions[0].first.contains(present));
    EXPECT_EQ(rig.LastCommand(), 0x4E);
    EXPECT_EQ(rig.LastPayload(), (Bytes{0x02}));
    EXPECT_EQ(rig.LastMessage(), QStringLiteral("성공"));
    EXPECT_TRUE(rig.dlg->AutoReadBox()->isChecked());

    const uint32_t point = rig.meter.GetCalPoint(CSimMeter::SIZE_7T, 2);
    EXPECT_NEAR(double(point), 8150.0, 12.0);   // the meter's resting reading
    rig.dlg->OnTimer(CDlgAdmin::TIMER_REFRESH);
    rig.Wait();
    EXPECT_EQ(rig.Cal(2, 4), QString::number(point));

    // Rows and columns without a button do nothing.
    const size_t asked = rig.questions.size();
    for (const auto& cell : {std::pair<int, int>{4, 1}, {4, 6}, {3, 4}, {2, 7}}) {
        rig.dlg->OnCalGridButton(cell.first, cell.second);
        rig.Wait();
    }
    EXPECT_EQ(rig.questions.size(), asked);
}

TEST(Calibration, FailedReadIsSilentAndKeepsTheValues)
{
    CReadingRig rig;
    rig.Tick();
    rig.Wait();
    const QString point = rig.Cal(2, 3);
    ASSERT_FALSE(point.isEmpty());
    rig.bridge.m_dropped = {0x4D};
    rig.Tick();
    rig.Wait();
    EXPECT_TRUE(rig.messages.empty());
    EXPECT_EQ(rig.Cal(2, 3), point);
    // The failed read closed the link: the timer waits for another exchange to open it.
    const int requests = rig.meter.GetRequestCount();
    rig.bridge.m_dropped.clear();
    rig.Tick();
    rig.Wait();
    EXPECT_EQ(rig.meter.GetRequestCount(), requests);
}

TEST(Calibration, DecodedRecordAndTypedValues)
{
    // @15 2 correction 1 as value + 2048: 08 00 is 0, 04 18 is -1000, 0B E8 is 1000.
    uint8_t record[21] = {0x00, 0x1F, 0xB8, 0x01, 0xD6, 0x50, 0, 0, 0, 0xFF, 0xFF, 0xFF,
                          0,    0,    0x01, 0x08, 0x00, 0x04, 0x18, 0x0B, 0xE8};
    CAdminTestRig rig;
    CCalibrationGrid& grid = rig.dlg->Calibration();
    grid.ShowRecord(DecodeCalibrationRecord(record));
    EXPECT_EQ(rig.Cal(2, 2), QStringLiteral("8120"));
    EXPECT_EQ(rig.Cal(2, 3), QStringLiteral("120400"));
    EXPECT_EQ(rig.Cal(2, 5), QStringLiteral("16777215"));
    EXPECT_EQ(rig.Cal(2, 6), QStringLiteral("1"));
    EXPECT_EQ(rig.Cal(2, 7), QStringLiteral("0"));
    EXPECT_EQ(rig.Cal(2, 8), QStringLiteral("-1000"));
    EXPECT_EQ(rig.Cal(2, 9), QStringLiteral("1000"));

    int value = 0;
    EXPECT_TRUE(CCalibrationGrid::ParseCorrection(QStringLiteral(" -1000 "), &value));
    EXPECT_EQ(value, -1000);
    for (const char* bad : {"1001", "-1001", "1.5", "abc", "", "99999999999"})
        EXPECT_FALSE(CCalibrationGrid::ParseCorrection(QString::fromUtf8(bad), &value)) << bad;
}

}   // namespace
