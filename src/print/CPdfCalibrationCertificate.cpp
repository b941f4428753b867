#include "CPdfCalibrationCertificate.h"

#include "CPdfDocument.h"

#include <cmath>

namespace {

// A field as the certificate prints it: "-" for one that is empty.
QString Field(const std::string& text)
{
    return text.empty() ? QStringLiteral("-") : QString::fromStdString(text);
}

} // namespace

CPdfCalibrationCertificate::CPdfCalibrationCertificate(const CalibrationCertificateData& data)
    : m_data(data)
{
}

QString CPdfCalibrationCertificate::Number(double value, int decimals)
{
    const double half = 0.5 * std::pow(10.0, -decimals);
    return QString::number(std::fabs(value) < half ? 0.0 : value, 'f', decimals);
}

bool CPdfCalibrationCertificate::Write(const QString& path, QString* error) const
{
    const CCalibrationFit fit = CCalibrationFit::Compute(m_data.eSize, m_data.record);
    const LoadCellSize size = m_data.eSize;
    const QString title = QStringLiteral("보정 성적서");
    const ReportHeader& h = m_data.header;
    CPdfDocument doc;
    doc.SetTitle(title);
    doc.SetFooterLeft(QStringLiteral("%1 %2").arg(title, Field(h.strSerialNumber)));
    return doc.Write(path, [&](CPdfDocument& d) {
        d.DrawTitle(title);
        d.DrawFieldBlock({
            {QStringLiteral("측정기 명"), Field(h.strMeterName)},
            {QStringLiteral("측정기 S/N"), Field(h.strSerialNumber)},
            {QStringLiteral("버전 정보"), Field(h.strVersion)},
            {QStringLiteral("로드셀"), QStringLiteral("%1 (정격 %2 KN)")
                                         .arg(Field(CCalibrationFit::SizeName(size)))
                                         .arg(CCalibrationFit::FullScaleKn(size))},
            {QStringLiteral("보정 일시"), Field(h.strReportDate)},
            {QStringLiteral("장비 시간"), Field(m_data.strMeterClock)},
            {QStringLiteral("회사 명"), Field(h.strCompany)},
            {QStringLiteral("작성자 명"), Field(h.strAuthor)},
        }, 2);

        d.DrawText(QStringLiteral("보정 점"), 11, true);
        d.DrawTable({{QStringLiteral("구분"), 0.8},
                     {QStringLiteral("공칭 하중 (KN)"), 1.2, Qt::AlignRight},
                     {QStringLiteral("로드셀 값"), 1.2, Qt::AlignRight},
                     {QStringLiteral("직선 값"), 1.2, Qt::AlignRight},
                     {QStringLiteral("편차 (% FS)"), 1.0, Qt::AlignRight}},
                    CCalibrationFit::POINTS, [&](int i) {
                        return QStringList{QStringLiteral("점 %1").arg(i),
                                           QString::number(CCalibrationFit::NominalLoadKn(size, i)),
                                           QString::number(m_data.record.nPoints[i]),
                                           fit.IsValid() ? Number(fit.m_dFitted[i], 1) : QStringLiteral("-"),
                                           fit.IsValid() ? Number(fit.m_dDeviationPercent[i], 3)
                                                         : QStringLiteral("-")};
                    });
        if (fit.IsValid()) {
            d.DrawText(QStringLiteral("최소제곱 직선: 로드셀 값 = %1 × 하중(KN) + %2")
                           .arg(Number(fit.m_dSlope, 4), Number(fit.m_dIntercept, 1)),
                       10);
            d.DrawText(QStringLiteral("최대 편차: %1 % FS (%2, 정격 %3 KN 기준)")
                           .arg(Number(fit.m_dMaxDeviationPercent, 3),
                                Field(CCalibrationFit::PointLabel(size, fit.m_nMaxDeviationPoint)))
                           .arg(CCalibrationFit::FullScaleKn(size)),
                       10, true);
        } else {
            d.DrawText(QStringLiteral("직선 없음: ") + Field(fit.Reason()), 10, true);
        }
        d.DrawText(QStringLiteral("현 로드셀 값: %1").arg(m_data.record.nPresent), 10);
        d.Skip(d.Mm(3));

        d.DrawText(QStringLiteral("보정 값"), 11, true);
        d.DrawTable({{QStringLiteral("구분"), 2.0}, {QStringLiteral("보정 값"), 1.0, Qt::AlignRight}},
                    CCalibrationFit::CORRECTIONS, [&](int i) {
                        return QStringList{Field(CCalibrationFit::CorrectionLabel(size, i)),
                                           QString::number(m_data.record.nCorrections[i])};
                    });

        d.EnsureSpace(d.Mm(30));
        d.Skip(d.Mm(15));
        d.DrawText(QStringLiteral("확인자: ____________________    서명: ____________________    "
                                  "날짜: ______________"),
                   10);
    }, error);
}
