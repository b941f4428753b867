// Timed driver: the 5,000-record MEMORY download of the link benchmark, now
// with the main window's records grid in the loop (every record becomes a
// row of five cells while the download runs), in real time at 115200 baud.
//
// Prints
//   wall/wire ratio with grid: X.XXX   (target <= 1.05)
//   grid CPU per record: X.X us
// and exits with 1 when the download did not deliver every record.

#include "CBrevaneDlg.h"
#include "CIniSysInfo.h"
#include "CSimBridge.h"
#include "CSimMeter.h"
#include "CSpreadSheet.h"
#include "CSystemClock.h"
#include "CUiPrompts.h"

#include <QApplication>
#include <QDateEdit>
#include <QDateTime>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

constexpr int kRecords = 5000;
constexpr int kRequestBytes = 12;   // the 0x35 request frame
constexpr int kFrameBytes = 15;     // every record frame and the end marker

double ThreadCpuUs()
{
    std::timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

}   // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    CSystemClock clock;
    CSimMeter::Setup setup;
    setup.nRecordCount = kRecords;
    setup.nRecordDays = 3000;
    setup.nRecordSeed = 2024;
    CSimMeter meter(clock, setup);
    CSimBridge bridge(meter, clock);

    QTemporaryDir dir;
    CIniSysInfo sysInfo;
    sysInfo.ComposePaths((dir.path() + QStringLiteral("/brevane")).toStdString(),
                         [](const std::string&) { return true; });
    QString message;
    CUiPrompts::SetInfoHook([&](const QString& text, const QString&) { message = text; });

    CBrevaneDlg dlg(bridge, clock, sysInfo);
    dlg.InitDialog();
    dlg.OnTimer(CBrevaneDlg::TIMER_DETECT);
    const QDate today = QDateTime::fromSecsSinceEpoch(clock.NowSeconds()).date();
    dlg.m_dtStart->setDate(today.addDays(-(setup.nRecordDays + 2)));
    dlg.m_dtEnd->setDate(today);
    if (!dlg.Link().Open()) {
        std::fprintf(stderr, "cannot open the simulated meter\n");
        return 1;
    }

    const double cpuStart = ThreadCpuUs();
    const auto wallStart = std::chrono::steady_clock::now();
    dlg.QueryRecords();
    const auto wallEnd = std::chrono::steady_clock::now();
    const double cpuUs = ThreadCpuUs() - cpuStart;

    dlg.DataGrid().SetAddressedSheet(1);
    const int rows = dlg.DataGrid().GetRowCount();
    const int frames = rows + 1;   // the end marker is read too
    const double wallS = std::chrono::duration<double>(wallEnd - wallStart).count();
    const double wireS =
        double(CSimBridge::WireTimeNs(uint64_t(kRequestBytes) + uint64_t(frames) * kFrameBytes)) / 1e9;

    std::printf("records shown: %d of %d%s%s\n", rows, kRecords, message.isEmpty() ? "" : ", message: ",
                message.toStdString().c_str());
    std::printf("wire time: %.3f s\n", wireS);
    std::printf("wall time: %.3f s\n", wallS);
    std::printf("wall/wire ratio with grid: %.3f\n", wallS / wireS);
    std::printf("grid CPU per record: %.1f us (link and simulated bridge included)\n", cpuUs / frames);
    CUiPrompts::ClearHooks();
    return rows == kRecords ? 0 : 1;
}
