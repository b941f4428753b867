// brevane_bench_export [PATH]
// The stored-records report of 10,000 ticked rows through CReportExport:
// the records grid is filled directly (as 10,000 downloaded records would
// leave it), the save dialog is answered with PATH (default: a temporary
// file, removed afterwards) and nothing is opened afterwards. Prints the
// time of the export (template, copies, cell writes, workbook) and how far
// the process's peak memory rose above what it held before.
// Targets: under 0.5 s and under 50 MB.

#include "CFileReveal.h"
#include "CIniSysInfo.h"
#include "CReportExport.h"
#include "CSpreadSheet.h"
#include "CUiPrompts.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

constexpr int kRows = 10000;

long StatusKb(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t n = std::char_traits<char>::length(key);
    while (std::getline(status, line))
        if (line.compare(0, n, key) == 0)
            return std::atol(line.c_str() + n);
    return 0;
}

// Lets the peak (VmHWM) start again from the present size, so that the
// export's own peak is measured and not that of filling the grids.
void ResetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

void FillInfo(CSpreadSheet& g)
{
    g.SetColumnCount(4);
    g.SetRowCount(4);
    const char* const cells[4][4] = {
        {"작성 일시", "2026-12-07 10:30:00", "회사 명", "브레베인 주식회사"},
        {"보고서 명", "12월 정기 점검", "작성자 명", "홍길동"},
        {"측정기 명", "SIM-METER", "측정기 S/N", "SN250100042"},
        {"", "", "버전 정보", "1.05"},
    };
    for (int r = 1; r <= 4; ++r)
        for (int c = 1; c <= 4; ++c)
            g.SetCellText(c, r, QString::fromUtf8(cells[r - 1][c - 1]));
}

void FillRecords(CSpreadSheet& g)
{
    static const char* const kModels[3] = {"VR70", "VR150", "VR300"};
    const QDateTime first(QDate(2026, 12, 1), QTime(8, 0), Qt::UTC);
    g.SetSheetCount(2);
    g.SetAddressedSheet(1);
    g.SetColumnCount(5);
    g.SetRowCount(kRows);
    g.SetActiveCell(1, CSpreadSheet::kAll);
    g.SetCellType(EGridCellType::CheckBox);
    for (int r = 1; r <= kRows; ++r) {
        const int i = r - 1;
        g.SetCellText(1, r, QStringLiteral("1"));
        g.SetCellText(2, r, QString::number(r));
        g.SetCellText(3, r, first.addSecs(qint64(i) * 97).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        g.SetCellText(4, r, QString::asprintf("%4.1f 톤", (1500 + i * 37 % 4000) / 98.0));
        g.SetCellText(5, r, QString::fromUtf8(kModels[i % 3]));
    }
}

}   // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : dir.path() + QStringLiteral("/bench.xls");

    CIniSysInfo sysInfo;
    sysInfo.ComposePaths((dir.path() + QStringLiteral("/brevane")).toStdString(),
                         [](const std::string&) { return true; });
    CSpreadSheet info;
    CSpreadSheet records;
    FillInfo(info);
    FillRecords(records);

    QString failure;
    CUiPrompts::SetSaveFileHook([&](const QString&, const QString&, const QString&) { return path; });
    CUiPrompts::SetInfoHook([&](const QString& text, const QString&) { failure = text; });
    bool revealed = false;
    CFileReveal::SetHook([&](const QString&) { revealed = true; });

    ResetPeak();
    const long baseline = StatusKb("VmRSS:");
    const auto start = std::chrono::steady_clock::now();
    CReportExport::Run(nullptr, info, records, CReportExport::kModeMemory, sysInfo);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long peak = StatusKb("VmHWM:");

    if (!revealed) {
        std::fprintf(stderr, "export failed: %s\n", failure.toLocal8Bit().constData());
        return 1;
    }
    std::printf("export %d rows: %.3f s\n", kRows, seconds);
    std::printf("export peak memory above baseline: %.1f MB\n", double(peak - baseline) / 1024.0);
    std::printf("workbook: %lld bytes\n", static_cast<long long>(QFile(path).size()));
    return 0;
}
