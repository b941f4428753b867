// The calibration certificate read back by poppler's pdftotext.

#include "CPdfCalibrationCertificate.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The page text without white space (pdftotext spaces table cells as it likes).
QString PageText(const QString& pdf)
{
    QProcess process;
    process.start("pdftotext", {"-layout", pdf, "-"});
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput()).remove(QRegularExpression(QStringLiteral("[ \\t\\r\\n]")));
}

bool Has(const QString& text, const char* expected)
{
    return text.contains(QString::fromUtf8(expected).remove(' '));
}

CalibrationCertificateData SevenTons()
{
    CalibrationCertificateData data;
    data.header = {"2026-12-07 10:11:12", "", "한빛정밀", "김측정", "PM-01", "SN12345", "V1.23"};
    data.strMeterClock = "2026-12-07 10:11:40";
    data.eSize = LOADCELL_7T;
    // The hand-worked line of the fit's test: slope 380100/379, intercept
    // 386500/379, point 2 0.514 % of full scale above it.
    const uint32_t points[4] = {1000, 31000, 51500, 66000};
    for (int i = 0; i < 4; ++i)
        data.record.nPoints[i] = points[i];
    data.record.nPresent = 777;
    data.record.nCorrections[0] = 12;
    data.record.nCorrections[1] = -5;
    return data;
}

} // namespace

TEST(PdfCalibrationCertificate, ShowsIdentityPointsLineDeviationCorrectionsAndSignature)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("certificate.pdf");
    const CalibrationCertificateData data = SevenTons();
    QString error;
    ASSERT_TRUE(CPdfCalibrationCertificate(data).Write(path, &error)) << error.toStdString();
    const QString text = PageText(path);

    for (const char* expected : {"보정 성적서", "측정기 명 PM-01", "측정기 S/N SN12345", "버전 정보 V1.23",
                                 "로드셀 7톤 (정격 65 KN)", "보정 일시 2026-12-07 10:11:12", "작성자 명 김측정",
                                 "장비 시간 2026-12-07 10:11:40",
                                 // point, nominal kN, value, line, deviation % FS
                                 "점 0 0 1000 1019.8 -0.030", "점 1 30 31000 31106.9 -0.164",
                                 "점 2 50 51500 51164.9 0.514", "점 3 65 66000 66208.4 -0.320",
                                 "로드셀 값 = 1002.9024 × 하중(KN) + 1019.8", "최대 편차: 0.514 % FS (50 KN",
                                 "현 로드셀 값: 777", "30 KN 보정 값 12", "50 KN 보정 값 -5", "65 KN 보정 값 0",
                                 "서명:", "페이지 1 / 1"})
        EXPECT_TRUE(Has(text, expected)) << expected << "\n" << text.toStdString();
}

TEST(PdfCalibrationCertificate, NoLineIsSaidAndAnUnwritablePathIsRefused)
{
    QTemporaryDir dir;
    CalibrationCertificateData data = SevenTons();
    data.eSize = LOADCELL_30T;
    for (uint32_t& point : data.record.nPoints)
        point = 0;
    const QString path = dir.filePath("flat.pdf");
    QString error;
    ASSERT_TRUE(CPdfCalibrationCertificate(data).Write(path, &error));
    const QString text = PageText(path);
    EXPECT_TRUE(Has(text, "로드셀 30톤 (정격 280 KN)"));
    EXPECT_TRUE(Has(text, "점 3 280 0 - -"));
    EXPECT_TRUE(Has(text, "직선 없음"));
    EXPECT_TRUE(Has(text, "160 KN 보정 값 12"));

    EXPECT_FALSE(CPdfCalibrationCertificate(data).Write(dir.filePath("no-such/x.pdf"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(CPdfCalibrationCertificate::Number(-0.0004, 3), QStringLiteral("0.000"));
}
