#include "CDlgCalibrationHistory.h"

#include "CCalibrationFit.h"
#include "CalibrationChanges.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The warning colour of the windows, for values that changed.
const QColor kChanged(0xF0, 0x80, 0x40);

QTableWidgetItem* Item(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

// The points and corrections of one size as the rows show them; "-" for a
// size that was not read.
QStringList SizeValues(const CCalibrationSnapshot& s, LoadCellSize size)
{
    QStringList values;
    const bool read = s.HasRecord(size);
    const CalibrationRecord record = s.Record(size);
    for (uint32_t point : record.nPoints)
        values << (read ? QString::number(point) : QStringLiteral("-"));
    for (int correction : record.nCorrections)
        values << (read ? QString::number(correction) : QStringLiteral("-"));
    return values;
}

}  // namespace

CDlgCalibrationHistory::CDlgCalibrationHistory(QWidget* parent, const QString& meterText,
                                               std::vector<QByteArray> snapshots, RestoreFn restore)
    : QDialog(parent), m_vContent(std::move(snapshots)), m_fnRestore(std::move(restore))
{
    setWindowTitle(QStringLiteral("보정 이력 - %1").arg(meterText));
    resize(820, 640);
    for (const QByteArray& content : m_vContent) {
        CCalibrationSnapshot s;
        m_vIntact.push_back(CCalibrationSnapshot::FromJson(content, &s, nullptr));
        m_vSnapshots.push_back(s);
    }

    auto* layout = new QVBoxLayout(this);
    auto* splitter = new QSplitter(Qt::Vertical, this);
    m_pList = new QTableWidget(int(m_vSnapshots.size()), 4, splitter);
    m_pList->setHorizontalHeaderLabels({QStringLiteral("시각"), QStringLiteral("구분"), QStringLiteral("작성자"),
                                        QStringLiteral("장비 시간")});
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pList->verticalHeader()->hide();
    m_pList->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < int(m_vSnapshots.size()); ++row) {
        const CCalibrationSnapshot& s = m_vSnapshots[size_t(row)];
        if (!m_vIntact[size_t(row)]) {
            m_pList->setItem(row, 0, Item(QStringLiteral("(손상됨)")));
            m_pList->setItem(row, 1, Item(QStringLiteral("검사값이 맞지 않습니다")));
            continue;
        }
        m_pList->setItem(row, 0, Item(s.m_dtPc.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
        m_pList->setItem(row, 1, Item(CCalibrationSnapshot::ReasonText(s.m_eReason)));
        m_pList->setItem(row, 2, Item(s.m_strUser));
        m_pList->setItem(row, 3, Item(s.m_strMeterClock));
    }
    m_pList->resizeColumnsToContents();

    m_pValues = new QTableWidget(CCalibrationSnapshot::SIZES * 7, 4, splitter);
    m_pValues->setHorizontalHeaderLabels({QStringLiteral("크기"), QStringLiteral("항목"), QStringLiteral("이전"),
                                          QStringLiteral("선택")});
    m_pValues->verticalHeader()->hide();
    m_pValues->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    int row = 0;
    for (int s = 0; s < CCalibrationSnapshot::SIZES; ++s) {
        const LoadCellSize size = LoadCellSize(s);
        const QString name = QString::fromStdString(CCalibrationFit::SizeName(size));
        for (int p = 0; p < CCalibrationFit::POINTS; ++p, ++row) {
            m_pValues->setItem(row, 0, Item(name));
            m_pValues->setItem(row, 1, Item(QString::fromStdString(CCalibrationFit::PointLabel(size, p))));
        }
        for (int c = 0; c < CCalibrationFit::CORRECTIONS; ++c, ++row) {
            m_pValues->setItem(row, 0, Item(name));
            m_pValues->setItem(row, 1, Item(QString::fromStdString(CCalibrationFit::CorrectionLabel(size, c))));
        }
    }
    layout->addWidget(splitter, 1);
    m_pChanges = new QLabel(this);
    m_pChanges->setWordWrap(true);
    m_pChanges->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_pChanges);

    auto* buttons = new QDialogButtonBox(this);
    m_pRestore = buttons->addButton(QStringLiteral("이 보정값으로 복원"), QDialogButtonBox::ActionRole);
    buttons->addButton(QStringLiteral("닫 기"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_pRestore, &QPushButton::clicked, this, [this] {
        const int row = m_pList->currentRow();
        if (row >= 0 && m_vIntact[size_t(row)] && m_fnRestore)
            m_fnRestore(m_vSnapshots[size_t(row)]);
    });
    m_pRestore->setEnabled(false);
    layout->addWidget(buttons);

    connect(m_pList, &QTableWidget::itemSelectionChanged, this, [this] { ShowComparison(); });
    if (!m_vSnapshots.empty())
        Select(0);
    else
        m_pChanges->setText(QStringLiteral("이 계측기의 보정 이력이 없습니다."));
}

void CDlgCalibrationHistory::Select(int row, int other)
{
    m_pList->clearSelection();
    m_pList->setCurrentCell(row, 0, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    if (other >= 0)
        m_pList->selectionModel()->select(m_pList->model()->index(other, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    ShowComparison();
}

void CDlgCalibrationHistory::ShowComparison()
{
    std::vector<int> rows;
    for (const QModelIndex& index : m_pList->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    m_vChangedRows.clear();
    if (rows.empty()) {
        m_pRestore->setEnabled(false);
        return;
    }
    // Newest first: the chosen one against the one below it, or the newer of
    // two chosen against the older.
    const int chosen = rows.front();
    const int before = rows.size() >= 2 ? rows.back() : chosen + 1;
    const bool hasBefore = before < int(m_vSnapshots.size()) && m_vIntact[size_t(before)];
    m_pRestore->setEnabled(m_vIntact[size_t(chosen)] && rows.size() == 1);

    const CCalibrationSnapshot& now = m_vSnapshots[size_t(chosen)];
    const CCalibrationSnapshot empty;
    const CCalibrationSnapshot& then = hasBefore ? m_vSnapshots[size_t(before)] : empty;
    int row = 0;
    for (int s = 0; s < CCalibrationSnapshot::SIZES; ++s) {
        const QStringList a = SizeValues(then, LoadCellSize(s));
        const QStringList b = SizeValues(now, LoadCellSize(s));
        for (int i = 0; i < a.size(); ++i, ++row) {
            m_pValues->setItem(row, 2, Item(hasBefore ? a[i] : QString()));
            m_pValues->setItem(row, 3, Item(b[i]));
            const bool changed = hasBefore && a[i] != b[i];
            for (int col = 0; col < 4; ++col)
                if (QTableWidgetItem* item = m_pValues->item(row, col))
                    item->setForeground(changed ? QBrush(kChanged) : QBrush());
            if (changed) {
                QFont font = m_pValues->font();
                font.setBold(true);
                m_pValues->item(row, 3)->setFont(font);
                m_vChangedRows.push_back(row);
            }
        }
    }
    if (!m_vIntact[size_t(chosen)]) {
        m_pChanges->setText(QStringLiteral("이 보정 이력은 검사값이 맞지 않아 믿을 수 없습니다."));
        return;
    }
    if (!hasBefore) {
        m_pChanges->setText(QStringLiteral("비교할 이전 보정 이력이 없습니다."));
        return;
    }
    QStringList lines;
    for (const CalibrationChange& change : CompareSnapshots(then, now))
        lines << change.Text();
    m_pChanges->setText(lines.isEmpty() ? QStringLiteral("바뀐 값이 없습니다.")
                                        : QStringLiteral("바뀐 값:\n") + lines.join('\n'));
}

std::vector<int> CDlgCalibrationHistory::ChangedRows() const
{
    return m_vChangedRows;
}

QString CDlgCalibrationHistory::ChangesText() const
{
    return m_pChanges->text();
}
