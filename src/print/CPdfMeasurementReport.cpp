#include "CPdfMeasurementReport.h"

#include "CPdfDocument.h"
#include "CPdfForceChart.h"
#include "OutputSummaryCheck.h"
#include "StatsTable.h"

#include <QPainter>

namespace {

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

QString OrDash(const std::string& text)
{
    return text.empty() ? QStringLiteral("-") : QString::fromStdString(text);
}

} // namespace

CPdfMeasurementReport::CPdfMeasurementReport(const AnalysisData& data)
    : m_data(data)
{
}

bool CPdfMeasurementReport::Write(const QString& path, QString* error) const
{
    CPdfDocument doc;
    const QString title = m_data.strTitle.empty() ? QStringLiteral("측정 데이터 보고서") : Q(m_data.strTitle);
    doc.SetTitle(title);
    doc.SetFooterLeft(OrDash(m_data.header.strReportName));
    return doc.Write(path, [&](CPdfDocument& d) {
        d.DrawTitle(title);
        DrawHeader(d, m_data.header, OrDash(m_data.strPeriod));
        DrawStatistics(d);
        DrawChart(d);
        DrawRows(d);
    }, error);
}

void CPdfMeasurementReport::DrawHeader(CPdfDocument& doc, const ReportHeader& header, const QString& period)
{
    doc.DrawFieldBlock({
        {QStringLiteral("작성 일시"), OrDash(header.strReportDate)},
        {QStringLiteral("회사 명"), OrDash(header.strCompany)},
        {QStringLiteral("보고서 명"), OrDash(header.strReportName)},
        {QStringLiteral("작성자 명"), OrDash(header.strAuthor)},
        {QStringLiteral("측정기 명"), OrDash(header.strMeterName)},
        {QStringLiteral("측정기 S/N"), OrDash(header.strSerialNumber)},
        {QStringLiteral("조회 기간"), period},
        {QStringLiteral("버전 정보"), OrDash(header.strVersion)},
    }, 2);
}

void CPdfMeasurementReport::DrawStatistics(CPdfDocument& doc) const
{
    const CMeasurementStats stats = StatsOfTicked(m_data.rows, m_data.limits);
    doc.DrawText(QStringLiteral("통계 (선택된 데이터, 단위: %1)").arg(ForceUnitText(m_data.eUnit)), 11, true);
    doc.DrawText(Q(LimitsText(m_data.limits, m_data.eUnit)), 9);

    std::vector<PdfColumn> columns;
    const std::vector<std::string> headings = StatsHeadings();
    const double widths[] = {1.1, 0.8, 1.3, 1.3, 1.3, 1.2, 1.3, 0.8, 0.8, 1.0, 0.8, 0.8};
    for (size_t i = 0; i < headings.size(); ++i)
        columns.push_back({Q(headings[i]), widths[i], i == 0 ? Qt::AlignCenter : Qt::AlignRight});
    const std::vector<GroupStats> blocks = stats.All();
    doc.DrawTable(columns, static_cast<int>(blocks.size()), [&](int i) {
        QStringList cells;
        for (const std::string& text : StatsRowTexts(blocks[static_cast<size_t>(i)], m_data.eUnit))
            cells << Q(text);
        return cells;
    }, 7.5);

    if (m_data.meterSummary) {
        const OutputSummary& s = *m_data.meterSummary;
        doc.DrawText(QStringLiteral("장비 요약: 측정횟수 %1, 평균 %2, 최소 %3, 최대 %4, 편차 %5")
                         .arg(s.nCount)
                         .arg(Q(FormatSummaryForce(s.nAverage)), Q(FormatSummaryForce(s.nMinimum)),
                              Q(FormatSummaryForce(s.nMaximum)), Q(FormatSummaryForce(s.nDeviation))),
                     9);
        std::vector<double> values;
        for (const AnalysisRow& row : m_data.rows)
            values.push_back(row.dValue);
        const OutputSummaryCheck check = CheckOutputSummary(s, values);
        if (check.AllAgree()) {
            doc.DrawText(QStringLiteral("장비 요약과 계산 값이 반올림 범위 안에서 일치합니다."), 9);
        } else {
            for (const std::string& line : check.Differences())
                doc.DrawText(QStringLiteral("불일치 - ") + Q(line), 9, true);
        }
    }
    doc.Skip(doc.Mm(2));
}

void CPdfMeasurementReport::DrawChart(CPdfDocument& doc) const
{
    const double height = doc.Mm(80);
    doc.EnsureSpace(height);
    if (QPainter* painter = doc.Painter()) {
        const QRectF rect(doc.ContentRect().left(), doc.Y(), doc.ContentRect().width(), height);
        CPdfForceChart(m_data).Draw(*painter, rect, doc.Mm(1));
    }
    doc.Skip(height + doc.Mm(4));
}

void CPdfMeasurementReport::DrawRows(CPdfDocument& doc) const
{
    std::vector<const AnalysisRow*> ticked;
    for (const AnalysisRow& row : m_data.rows)
        if (row.bTicked)
            ticked.push_back(&row);
    doc.DrawText(QStringLiteral("선택된 데이터 %1건").arg(ticked.size()), 11, true);
    const bool judge = m_data.limits.Any();
    doc.DrawTable({{QStringLiteral("NO."), 0.6},
                   {QStringLiteral("측정 시간"), 2.0},
                   {QStringLiteral("측정 압력 값"), 1.5, Qt::AlignRight},
                   {QStringLiteral("로드셀 종류"), 1.3},
                   {QStringLiteral("판정"), 0.8}},
                  static_cast<int>(ticked.size()), [&](int i) {
                      const AnalysisRow& row = *ticked[static_cast<size_t>(i)];
                      QString verdict = QStringLiteral("-");
                      if (judge)
                          verdict = m_data.limits.Contains(row.dValue) ? QStringLiteral("합격")
                                                                       : QStringLiteral("불합격");
                      return QStringList{QString::number(i + 1), Q(FormatRowTime(row)),
                                         Q(FormatRowValue(row.dValue, m_data.eUnit)),
                                         Q(LoadCellModelName(row.nLoadCellType)), verdict};
                  });
}
