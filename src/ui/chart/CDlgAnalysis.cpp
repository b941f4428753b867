#include "CDlgAnalysis.h"

#include "CAppTheme.h"
#include "CForceChart.h"
#include "CPdfMeasurementReport.h"
#include "CStatsView.h"
#include "CUiPrompts.h"
#include "CWaitCursor.h"
#include "OutputSummaryCheck.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

CDlgAnalysis::CDlgAnalysis(const AnalysisData& data, QWidget* parent)
    : QDialog(parent)
    , m_data(data)
{
    setWindowTitle(QStringLiteral("분석"));
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint);
    resize(1200, 640);

    auto* layout = new QVBoxLayout(this);
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    m_pChart = new CForceChart(splitter);
    auto* side = new QWidget(splitter);
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    m_pStats = new CStatsView(side);
    sideLayout->addWidget(m_pStats);
    m_pSummary = new QLabel(side);
    m_pSummary->setWordWrap(true);
    m_pSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    sideLayout->addWidget(m_pSummary);
    sideLayout->addStretch(1);
    splitter->addWidget(m_pChart);
    splitter->addWidget(side);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    splitter->setSizes({660, 620});
    layout->addWidget(splitter, 1);

    auto* buttons = new QHBoxLayout();
    auto* reset = new QPushButton(QStringLiteral("전체 보기"), this);
    auto* pdf = new QPushButton(QStringLiteral("PDF 저장"), this);
    auto* close = new QPushButton(QStringLiteral("닫기"), this);
    buttons->addWidget(reset);
    buttons->addStretch(1);
    buttons->addWidget(pdf);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(reset, &QPushButton::clicked, m_pChart, &CForceChart::ResetZoom);
    connect(pdf, &QPushButton::clicked, this, &CDlgAnalysis::OnSavePdf);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_pStats, &CStatsView::limitsChanged, this, &CDlgAnalysis::OnLimitsChanged);

    // Limits that cannot be used are dropped with the reason shown.
    const std::string limitsError = CheckToleranceLimits(m_data.limits);
    if (!limitsError.empty())
        m_data.limits = ToleranceLimits{};
    m_pStats->SetLimits(m_data.limits);
    m_pChart->SetLimits(m_data.limits);
    m_pChart->SetMeterSummary(m_data.meterSummary);
    SetRows(m_data.rows);
    if (!limitsError.empty())
        m_pSummary->setText(QString::fromStdString(limitsError));

    CAppTheme::Current().ApplyTheme(this);
}

void CDlgAnalysis::Open(QWidget* parent, const AnalysisData& data)
{
    CDlgAnalysis dialog(data, parent);
    dialog.exec();
}

void CDlgAnalysis::SetRows(const std::vector<AnalysisRow>& rows)
{
    m_data.rows = rows;
    m_pChart->SetRows(m_data.rows, m_data.eUnit);
    m_pStats->SetRows(m_data.rows, m_data.eUnit);
    ShowSummaryCheck();
}

void CDlgAnalysis::ShowSummaryCheck()
{
    if (!m_data.meterSummary) {
        m_pSummary->clear();
        return;
    }
    std::vector<double> values;
    values.reserve(m_data.rows.size());
    for (const AnalysisRow& row : m_data.rows)
        values.push_back(row.dValue);
    const OutputSummaryCheck check = CheckOutputSummary(*m_data.meterSummary, values);
    if (check.AllAgree()) {
        m_pSummary->setStyleSheet(QString());
        m_pSummary->setText(QStringLiteral("장비 요약과 계산 값이 반올림 범위 안에서 일치합니다."));
        return;
    }
    QStringList lines{QStringLiteral("장비 요약과 계산 값이 다릅니다:")};
    for (const std::string& line : check.Differences())
        lines << QString::fromStdString(line);
    m_pSummary->setStyleSheet(QStringLiteral("color: #ff6060;"));
    m_pSummary->setText(lines.join(QLatin1Char('\n')));
}

QString CDlgAnalysis::SummaryText() const
{
    return m_pSummary->text();
}

void CDlgAnalysis::OnLimitsChanged()
{
    m_data.limits = m_pStats->Limits();
    m_pChart->SetLimits(m_data.limits);
    if (m_data.onLimitsChanged)
        m_data.onLimitsChanged(m_data.limits);
}

bool CDlgAnalysis::SavePdf(const QString& path, QString* error)
{
    QString why;
    bool ok = false;
    {
        CWaitCursor wait;
        ok = CPdfMeasurementReport(m_data).Write(path, &why);
    }
    if (!ok)
        CUiPrompts::ShowWarning(this, QStringLiteral("PDF 저장 실패 - %1").arg(why), QStringLiteral("PDF 저장"));
    if (error)
        *error = why;
    return ok;
}

void CDlgAnalysis::OnSavePdf()
{
    QString path = CUiPrompts::ChooseSaveFile(this, QStringLiteral("PDF 저장"), QStringLiteral("PDF Files (*.pdf)|*.pdf||"));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        path += QStringLiteral(".pdf");
    SavePdf(path);
}
