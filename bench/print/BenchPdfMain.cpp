// brevane_bench_pdf [PATH]
// Writes the PDF report of 10,000 ticked stored records (three load-cell
// types, both tolerance limits) and prints the time taken. Keeps the file
// when PATH is given.

#include "CPdfMeasurementReport.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::temp().filePath("brevane_bench.pdf");

    AnalysisData data;
    data.strTitle = "저장 압력 확인 데이터";
    data.eUnit = EForceUnit::Tons;
    data.strPeriod = "2026-11-01 ~ 2026-12-07";
    data.header = {"2026-12-07 10:11:12", "정기 점검 보고서", "한빛정밀", "김측정", "PM-01", "SN-240117", "V1.23"};
    data.limits.lower = 11.0;
    data.limits.upper = 14.0;
    const qint64 start = QDateTime(QDate(2026, 11, 1), QTime(8, 0, 0)).toSecsSinceEpoch();
    uint32_t seed = 99;
    for (int i = 0; i < 10000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        AnalysisRow row;
        row.tWhen = start + i * 313;
        row.nLoadCellType = (i / 40) % 3;
        row.dValue = std::floor((10.5 + 2.0 * row.nLoadCellType + (seed >> 20) / 4096.0 * 3.5) * 10) / 10;
        data.rows.push_back(row);
    }

    QElapsedTimer timer;
    timer.start();
    QString error;
    const bool ok = CPdfMeasurementReport(data).Write(path, &error);
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (!ok) {
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return 1;
    }
    std::printf("pdf report of 10000 rows: %.2f s\n", seconds);
    if (argc <= 1)
        QFile::remove(path);
    return 0;
}
