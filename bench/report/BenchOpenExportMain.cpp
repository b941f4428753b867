// brevane_bench_open_export [FOLDER]
// Times the open export formats on large reports: the CSV writer on
// 1,000,000 stored records (target: at most 2 s) and the .xlsx writer on
// 100,000 (with the process's peak memory, from getrusage, before and
// after). The files go to FOLDER (default: the system's temporary folder)
// and are removed afterwards.

#include "CCsvExport.h"
#include "CExportReport.h"
#include "CXlsxExport.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

double PeakRssMb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;   // kB on Linux
}

// Records a second apart from 2026-01-01, forces and load cells varying.
CExportReport MakeReport(EExportKind kind, int rows)
{
    CExportReport report;
    report.m_query.m_eKind = kind;
    report.m_header.m_strReportName = "벤치마크";
    report.m_header.m_strCompany = "회사";
    report.m_vRows.reserve(size_t(rows));
    MeasurementRecord record;
    record.bTimeValid = true;
    MeterDateTime start {2026, 1, 1, 0, 0, 0};
    int64_t t0 = 0;
    MeterDateTimeToTime(start, &t0);
    for (int i = 0; i < rows; ++i) {
        record.tWhen = t0 + i;
        record.when = LocalDateTime(record.tWhen);
        record.nRawForce = uint16_t((i * 37) % 65536);
        record.nLoadCellType = uint8_t(i % 3);
        report.AddRecord(record);
    }
    report.m_result.m_nCount = rows;
    return report;
}

template <typename F>
double Seconds(F&& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}   // namespace

int main(int argc, char** argv)
{
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = argc > 1 ? argv[1] : tmp && *tmp ? tmp : "/tmp";
    const std::string stem = folder + "/brevane_bench_" + std::to_string(getpid());
    std::string error;
    bool ok = true;

    {
        const CExportReport report = MakeReport(EExportKind::Memory, 100000);
        const double before = PeakRssMb();
        const double s = Seconds([&] { ok = CXlsxExport::Write(report, stem + ".xlsx", &error) && ok; });
        const double after = PeakRssMb();
        std::printf("xlsx export 100000 rows: %.3f s\n", s);
        std::printf("xlsx export 100000 rows peak memory: %.1f MB\n", after);
        std::printf("xlsx export 100000 rows peak memory before: %.1f MB, growth: %.1f MB\n", before,
                    after - before);
        std::remove((stem + ".xlsx").c_str());
    }
    {
        const CExportReport report = MakeReport(EExportKind::Memory, 1000000);
        const double s = Seconds([&] { ok = CCsvExport::Write(report, stem + ".csv", SCsvOptions(), &error) && ok; });
        std::printf("csv export 1000000 rows: %.3f s\n", s);
        std::remove((stem + ".csv").c_str());
    }
    if (!ok) {
        std::fprintf(stderr, "export failed: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
