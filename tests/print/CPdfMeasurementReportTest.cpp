// The measurement report read back by poppler's pdftotext and pdffonts.

#include "CPdfMeasurementReport.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// pdftotext -layout pads and splits cells with white space of its own
// choosing, so texts are compared with all white space removed.
QString Squeeze(const QString& text)
{
    QString out;
    for (QChar c : text)
        if (!c.isSpace() || c == QChar('\f'))
            out += c;
    return out;
}

bool Holds(const QString& text, const char* expected)
{
    return text.contains(Squeeze(QString::fromUtf8(expected)));
}

QString RunTool(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(60000))
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

QDateTime Base()
{
    return QDateTime(QDate(2026, 11, 2), QTime(8, 0, 0));
}

AnalysisData SampleData(int rows)
{
    AnalysisData data;
    data.strTitle = "저장 압력 확인 데이터";
    data.eUnit = EForceUnit::Tons;
    data.strPeriod = "2026-11-01 ~ 2026-12-07";
    data.header = {"2026-12-07 10:11:12", "3호기 점검", "한빛정밀", "김측정", "PM-01", "SN12345", "V1.23"};
    data.limits.lower = 10.0;
    data.limits.upper = 14.0;
    for (int i = 0; i < rows; ++i) {
        AnalysisRow row;
        row.tWhen = Base().addSecs(i * 61).toSecsSinceEpoch();
        row.dValue = 9.5 + (i % 50) / 10.0; // 9.5 .. 14.4
        row.nLoadCellType = i % 3;
        row.bTicked = i % 7 != 3;
        data.rows.push_back(row);
    }
    return data;
}

} // namespace

TEST(PdfMeasurementReport, TextHoldsHeaderStatisticsAndEveryTickedRow)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("report.pdf");
    const AnalysisData data = SampleData(240);
    QString error;
    ASSERT_TRUE(CPdfMeasurementReport(data).Write(path, &error)) << error.toStdString();

    const QString raw = RunTool("pdftotext", {"-layout", path, "-"});
    // A space must read back as a space, not as the font's control-character twin.
    EXPECT_FALSE(raw.contains(QChar(1)));
    EXPECT_TRUE(raw.contains(QString::fromUtf8("3호기 점검")));
    const QString text = Squeeze(raw);
    const QStringList pages = text.split('\f', Qt::SkipEmptyParts);
    ASSERT_GE(pages.size(), 4);
    for (const char* field : {"3호기 점검", "한빛정밀", "김측정", "PM-01", "SN12345", "V1.23", "2026-12-07 10:11:12",
                              "2026-11-01 ~ 2026-12-07", "작성 일시", "측정기 S/N"})
        EXPECT_TRUE(Holds(pages[0], field)) << field;
    EXPECT_TRUE(Holds(text, "허용 범위: 하한 10 톤, 상한 14 톤"));
    for (const char* stat : {"표준편차", "합격률", "Cpk", "VR70", "VR150", "VR300", "전체"})
        EXPECT_TRUE(Holds(text, stat)) << stat;

    // Every ticked row once, no unticked one; headings and the footer on each page.
    for (int i = 0; i < 240; ++i) {
        const QString when = Squeeze(Base().addSecs(i * 61).toString("yyyy-MM-dd HH:mm:ss"));
        EXPECT_EQ(text.count(when), i % 7 != 3 ? 1 : 0) << when.toStdString();
    }
    for (int n = 0; n < pages.size(); ++n) {
        EXPECT_TRUE(pages[n].contains(QString::fromUtf8("페이지%1/%2").arg(n + 1).arg(pages.size()))) << n;
        if (n > 0) {
            EXPECT_TRUE(Holds(pages[n], "측정 압력 값")) << n;
        }
    }

    const QString fonts = RunTool("pdffonts", {path});
    EXPECT_TRUE(fonts.contains("NanumGothic")) << fonts.toStdString();
    for (const QString& line : fonts.split('\n'))
        if (line.contains("NanumGothic")) {
            EXPECT_TRUE(line.contains(" yes ")) << "not embedded: " << line.toStdString();
        }
}

TEST(PdfMeasurementReport, PassFailCountsAndSummaryCheck)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("series.pdf");
    AnalysisData data;
    data.strTitle = "연속 측정 모드 데이터";
    data.eUnit = EForceUnit::KiloNewton;
    data.limits.lower = 100.0;
    data.limits.upper = 120.0;
    const double values[] = {99.9, 100.0, 110.0, 120.0, 120.1};
    for (int i = 0; i < 5; ++i)
        data.rows.push_back({Base().addSecs(i).toSecsSinceEpoch(), true, values[i], 1, true});
    OutputSummary meter;
    meter.nCount = 5;
    meter.nAverage = 12000; // 120.0 kN against 110.0 computed
    meter.nMinimum = 9990;
    meter.nMaximum = 12010;
    data.meterSummary = meter;
    QString error;
    ASSERT_TRUE(CPdfMeasurementReport(data).Write(path, &error)) << error.toStdString();
    const QString text = Squeeze(RunTool("pdftotext", {"-layout", path, "-"}));
    EXPECT_TRUE(Holds(text, "평균: 장비 120.0 KN, 계산 110.00 KN")) << text.toStdString();
    EXPECT_FALSE(Holds(text, "최소: 장비"));
    // VR150 and total: 3 inside, 2 outside, 60 %.
    EXPECT_TRUE(Holds(text, "VR150 5 110.00 KN 99.90 KN 120.10 KN 20.20 KN 10.050 KN 3 2 60.0 % 0.33 0.33"));
    EXPECT_EQ(text.count(QString::fromUtf8("불합격")), 3); // the heading and two rows
}

TEST(PdfMeasurementReport, UnwritablePathIsRefusedWithAReason)
{
    QString error;
    EXPECT_FALSE(CPdfMeasurementReport(SampleData(3)).Write("/nonexistent-dir/x/report.pdf", &error));
    EXPECT_FALSE(error.isEmpty());

    // No rows at all still gives a one-page report.
    QTemporaryDir dir;
    const QString path = dir.filePath("empty.pdf");
    ASSERT_TRUE(CPdfMeasurementReport(AnalysisData{}).Write(path, &error));
    const QString text = Squeeze(RunTool("pdftotext", {"-layout", path, "-"}));
    EXPECT_TRUE(Holds(text, "페이지 1 / 1"));
    EXPECT_TRUE(Holds(text, "데이터 없음"));
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
