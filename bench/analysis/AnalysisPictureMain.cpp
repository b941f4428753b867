// brevane_analysis_picture DIR
// Draws the pictures of the documentation: the analysis window with 150
// stored records over 40 days and both limits (DIR/analysis-window.png) and
// the PDF report of the same data (DIR/report.pdf; turn its first page into
// a picture with pdftoppm).

#include "CDlgAnalysis.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QPixmap>

#include <cmath>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: brevane_analysis_picture DIR\n");
        return 2;
    }
    QApplication app(argc, argv);
    const QDir dir(QString::fromLocal8Bit(argv[1]));

    AnalysisData data;
    data.strTitle = "저장 압력 확인 데이터";
    data.eUnit = EForceUnit::Tons;
    data.strPeriod = "2026-10-29 ~ 2026-12-07";
    data.header = {"2026-12-07 10:11:12", "정기 점검 보고서", "한빛정밀", "김측정", "PM-01", "SN-240117", "V1.23"};
    data.limits.lower = 11.0;
    data.limits.upper = 15.0;
    const qint64 start = QDateTime(QDate(2026, 10, 29), QTime(8, 0, 0)).toSecsSinceEpoch();
    uint32_t seed = 7;
    for (int i = 0; i < 150; ++i) {
        seed = seed * 1664525u + 1013904223u;
        AnalysisRow row;
        row.tWhen = start + static_cast<qint64>(i) * 23000 + (seed >> 24) * 60;
        row.nLoadCellType = (i / 10) % 3;
        const double centre = 12.0 + row.nLoadCellType * 0.8;
        row.dValue = std::floor((centre + ((seed >> 16) % 1000) / 1000.0 * 3.4 - 1.7) * 10) / 10;
        row.bTicked = i % 11 != 5;
        data.rows.push_back(row);
    }

    CDlgAnalysis dialog(data);
    dialog.resize(1280, 620);
    dialog.show();
    QApplication::processEvents();
    if (!dialog.grab().save(dir.filePath("analysis-window.png")))
        return 1;
    QString error;
    if (!dialog.SavePdf(dir.filePath("report.pdf"), &error)) {
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return 1;
    }
    return 0;
}
