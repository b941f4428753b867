#include "CMeasurementExport.h"

#include "CCsvExport.h"
#include "CPdfMeasurementReport.h"
#include "CSqliteArchive.h"
#include "CToleranceLimitStore.h"
#include "CUiPrompts.h"
#include "CWaitCursor.h"
#include "CXlsxExport.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <ctime>

namespace {

const QString kCaption = QStringLiteral("보고서 저장");

}  // namespace

int SMeasurementSet::TickedCount() const
{
    int count = 0;
    for (bool tick : ticked)
        count += tick ? 1 : 0;
    return count;
}

CExportReport CMeasurementExport::MakeReport(const SMeasurementSet& set, const ToleranceLimits& limits)
{
    CExportReport report;
    report.m_header = set.header;
    report.m_query.m_eKind = set.eKind;
    report.m_query.m_tFrom = set.tFrom;
    report.m_query.m_tTo = set.tTo;
    report.m_query.m_bHasSummary = set.summary.has_value();
    if (set.summary)
        report.m_query.m_summary = *set.summary;
    report.m_result = set.result;
    report.m_limits = limits;
    for (size_t i = 0; i < set.records.size(); ++i)
        if (i < set.ticked.size() && set.ticked[i])
            report.AddRecord(set.records[i]);
    return report;
}

AnalysisData CMeasurementExport::MakeAnalysis(const SMeasurementSet& set)
{
    AnalysisData data;
    data.strTitle = set.eKind == EExportKind::Output ? "연속 측정 모드 데이터" : "저장 압력 확인 데이터";
    data.eUnit = set.eKind == EExportKind::Output ? EForceUnit::KiloNewton : EForceUnit::Tons;
    data.strPeriod = set.strPeriod;
    data.meterSummary = set.summary;
    const SExportHeader& h = set.header;
    data.header = {h.m_strReportDate, h.m_strReportName, h.m_strCompany, h.m_strAuthor,
                   h.m_strMeterName,  h.m_strSerialNumber, h.m_strVersion};
    const bool all = set.TickedCount() == 0;
    data.rows.reserve(set.records.size());
    for (size_t i = 0; i < set.records.size(); ++i) {
        const MeasurementRecord& rec = set.records[i];
        AnalysisRow row;
        row.tWhen = rec.tWhen;
        row.bTimeValid = rec.bTimeValid;
        // The value the grids show: tons cut down to one decimal, or kN.
        row.dValue = SExportRow::FromRecord(set.eKind, rec).Force();
        row.nLoadCellType = rec.nLoadCellType;
        row.bTicked = all || (i < set.ticked.size() && set.ticked[i]);
        data.rows.push_back(row);
    }
    return data;
}

QString CMeasurementExport::StatsLine(const SMeasurementSet& set)
{
    CMeasurementStats stats;
    for (size_t i = 0; i < set.records.size(); ++i)
        if (i < set.ticked.size() && set.ticked[i])
            stats.Add(SExportRow::FromRecord(set.eKind, set.records[i]).Force(),
                      set.records[i].nLoadCellType);
    const GroupStats total = stats.Total();
    const auto text = [](const StatValue& v, int decimals) {
        return QString::fromStdString(FormatStatValue(v, decimals));
    };
    return QStringLiteral("선택 %1건 · 평균 %2 · 최소 %3 · 최대 %4 · 편차 %5 (%6)")
        .arg(total.nCount)
        .arg(text(total.mean, 2), text(total.minimum, 1), text(total.maximum, 1), text(total.deviation, 2),
             set.eKind == EExportKind::Output ? QStringLiteral("KN") : QStringLiteral("톤"));
}

ToleranceLimits CMeasurementExport::KeptLimits(CSqliteArchive* archive, const DownloadMeter& meter,
                                               EForceUnit unit)
{
    ToleranceLimits limits;
    StoredToleranceLimits kept;
    if (archive && archive->IsOpen() && CToleranceLimitStore(*archive).Load(meter, ForceUnitText(unit), &kept)) {
        limits.lower = kept.lower;
        limits.upper = kept.upper;
    }
    return limits;
}

void CMeasurementExport::AttachLimits(AnalysisData& data, CSqliteArchive* archive, const DownloadMeter& meter,
                                      QWidget* parent)
{
    if (!archive || !archive->IsOpen())
        return;
    const std::string unit = ForceUnitText(data.eUnit);
    data.limits = KeptLimits(archive, meter, data.eUnit);
    data.onLimitsChanged = [archive, meter, unit, parent](const ToleranceLimits& limits) {
        std::string error;
        if (!CToleranceLimitStore(*archive).Save(meter, unit, limits.lower, limits.upper,
                                                 int64_t(std::time(nullptr)), &error))
            CUiPrompts::ShowWarning(parent, QString::fromStdString(error), QStringLiteral("분석"));
    };
}

QString CMeasurementExport::Extension(EFormat format)
{
    switch (format) {
    case EFormat::Csv: return QStringLiteral(".csv");
    case EFormat::Xlsx: return QStringLiteral(".xlsx");
    case EFormat::Pdf: break;
    }
    return QStringLiteral(".pdf");
}

bool CMeasurementExport::Write(EFormat format, const SMeasurementSet& set, const ToleranceLimits& limits,
                               const QString& path, QString* error)
{
    std::string why;
    bool ok = false;
    if (format == EFormat::Pdf) {
        AnalysisData data = MakeAnalysis(set);
        // The report holds the ticked rows as they are, like the other files.
        for (size_t i = 0; i < data.rows.size(); ++i)
            data.rows[i].bTicked = i < set.ticked.size() && set.ticked[i];
        data.limits = limits;
        QString pdfWhy;
        ok = CPdfMeasurementReport(data).Write(path, &pdfWhy);
        why = pdfWhy.toStdString();
    } else {
        const CExportReport report = MakeReport(set, limits);
        // A byte-order mark, so that spreadsheet programs read the Hangul as UTF-8.
        ok = format == EFormat::Csv
                 ? CCsvExport::Write(report, path.toStdString(), SCsvOptions{ECsvLocale::Point, true}, &why)
                 : CXlsxExport::Write(report, path.toStdString(), &why);
    }
    if (!ok && error)
        *error = QString::fromStdString(why);
    return ok;
}

QString CMeasurementExport::Save(QWidget* parent, EFormat format, const SMeasurementSet& set,
                                 const ToleranceLimits& limits, const QString& suggestedPath)
{
    if (set.TickedCount() == 0
        && !CUiPrompts::AskYesNo(parent,
                                 QStringLiteral("선택된 측정 데이터가 없습니다.\n측정 데이터 없이 보고서를 저장하시겠습니까?"),
                                 kCaption))
        return QString();
    const QString ext = Extension(format);
    static const char* const kFilters[] = {"CSV Files (*.csv)|*.csv;| All Files(*.*)|*.*||",
                                           "Excel Workbook (*.xlsx)|*.xlsx;| All Files(*.*)|*.*||",
                                           "PDF Files (*.pdf)|*.pdf;| All Files(*.*)|*.*||"};
    QString path = CUiPrompts::ChooseSaveFile(parent, kCaption, QString::fromLatin1(kFilters[int(format)]),
                                              suggestedPath.isEmpty() ? QString() : suggestedPath + ext);
    if (path.isEmpty())
        return QString();
    if (!path.endsWith(ext, Qt::CaseInsensitive))
        path += ext;
    QString error;
    bool ok = false;
    {
        CWaitCursor wait;
        ok = Write(format, set, limits, path, &error);
    }
    if (!ok) {
        CUiPrompts::ShowWarning(parent, QStringLiteral("보고서 저장 실패 - %1").arg(error), kCaption);
        return QString();
    }
    CUiPrompts::ShowInfo(parent,
                         QStringLiteral("보고서를 저장했습니다.\n%1")
                             .arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())),
                         kCaption);
    return path;
}
