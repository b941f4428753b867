#include "CStatsView.h"

#include "StatsTable.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

CStatsView::CStatsView(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* entry = new QGridLayout();
    entry->addWidget(new QLabel(QStringLiteral("하한"), this), 0, 0);
    m_pLower = new QLineEdit(this);
    m_pLower->setPlaceholderText(QStringLiteral("없음"));
    entry->addWidget(m_pLower, 0, 1);
    entry->addWidget(new QLabel(QStringLiteral("상한"), this), 0, 2);
    m_pUpper = new QLineEdit(this);
    m_pUpper->setPlaceholderText(QStringLiteral("없음"));
    entry->addWidget(m_pUpper, 0, 3);
    m_pUnit = new QLabel(this);
    entry->addWidget(m_pUnit, 0, 4);
    auto* apply = new QPushButton(QStringLiteral("적용"), this);
    entry->addWidget(apply, 0, 5);
    layout->addLayout(entry);

    m_pMessage = new QLabel(this);
    m_pMessage->setStyleSheet(QStringLiteral("color: #ff6060;"));
    m_pMessage->setWordWrap(true);
    layout->addWidget(m_pMessage);

    const std::vector<std::string> headings = StatsHeadings();
    m_pTable = new QTableWidget(0, static_cast<int>(headings.size()), this);
    QStringList labels;
    for (const std::string& heading : headings)
        labels << QString::fromStdString(heading);
    m_pTable->setHorizontalHeaderLabels(labels);
    m_pTable->verticalHeader()->hide();
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->setSelectionMode(QAbstractItemView::NoSelection);
    m_pTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(m_pTable, 1);

    connect(apply, &QPushButton::clicked, this, &CStatsView::ApplyTypedLimits);
    connect(m_pLower, &QLineEdit::returnPressed, this, &CStatsView::ApplyTypedLimits);
    connect(m_pUpper, &QLineEdit::returnPressed, this, &CStatsView::ApplyTypedLimits);
}

void CStatsView::SetRows(const std::vector<AnalysisRow>& rows, EForceUnit unit)
{
    m_vRows = rows;
    m_eUnit = unit;
    m_pUnit->setText(QString::fromUtf8(ForceUnitText(unit)));
    Refresh();
}

void CStatsView::SetLimits(const ToleranceLimits& limits)
{
    const std::string error = CheckToleranceLimits(limits);
    if (!error.empty()) {
        m_pMessage->setText(QString::fromStdString(error));
        return;
    }
    m_limits = limits;
    m_pLower->setText(QString::fromStdString(FormatLimit(limits.lower)));
    m_pUpper->setText(QString::fromStdString(FormatLimit(limits.upper)));
    m_pMessage->clear();
    Refresh();
}

bool CStatsView::ApplyTypedLimits()
{
    ToleranceLimits limits;
    const std::string error
        = ParseToleranceLimits(m_pLower->text().toStdString(), m_pUpper->text().toStdString(), limits);
    if (!error.empty()) {
        // The figures stay those of the last accepted limits.
        m_pMessage->setText(QString::fromStdString(error));
        return false;
    }
    m_limits = limits;
    m_pMessage->clear();
    Refresh();
    emit limitsChanged();
    return true;
}

void CStatsView::Refresh()
{
    const std::vector<GroupStats> blocks = StatsOfTicked(m_vRows, m_limits).All();
    m_pTable->setRowCount(static_cast<int>(blocks.size()));
    for (size_t r = 0; r < blocks.size(); ++r) {
        const std::vector<std::string> texts = StatsRowTexts(blocks[r], m_eUnit);
        for (size_t c = 0; c < texts.size(); ++c) {
            auto* item = new QTableWidgetItem(QString::fromStdString(texts[c]));
            item->setTextAlignment(c == 0 ? Qt::AlignCenter : (Qt::AlignRight | Qt::AlignVCenter));
            if (blocks[r].nLoadCellType == GroupStats::TOTAL) {
                QFont font = item->font();
                font.setBold(true);
                item->setFont(font);
            }
            m_pTable->setItem(static_cast<int>(r), static_cast<int>(c), item);
        }
    }
}

QString CStatsView::CellText(int row, int column) const
{
    const QTableWidgetItem* item = m_pTable->item(row, column);
    return item ? item->text() : QString();
}

int CStatsView::RowCount() const
{
    return m_pTable->rowCount();
}

QString CStatsView::LimitsMessage() const
{
    return m_pMessage->text();
}
