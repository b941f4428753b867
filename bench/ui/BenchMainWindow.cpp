// Timed driver: MEMORY downloads from the simulated meter in real time at
// 115200 baud into the main window's records grid, the window shown, the
// link on the session's thread.
//
// 1. 5,000 records: the wall time of the download against the time its
//    bytes take on the wire.
// 2. 20,000 records: the largest gap between two turns of the window
//    thread's event loop while the rows arrive, i.e. the longest time the
//    window could not repaint or answer.
//
// Prints
//   wall/wire ratio with grid: X.XXX          (target <= 1.05)
//   ui max stall during download: X ms        (target <= 50)
// and exits with 1 when a download did not deliver every record.

#include "CBrevaneDlg.h"
#include "CIniSysInfo.h"
#include "CMeterSession.h"
#include "CSimBridge.h"
#include "CSimMeter.h"
#include "CSpreadSheet.h"
#include "CSystemClock.h"
#include "CUiPrompts.h"

#include <QApplication>
#include <QDateEdit>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

constexpr int kRequestBytes = 12;   // the 0x35 request frame
constexpr int kFrameBytes = 15;     // every record frame and the end marker

struct Run {
    int rows = 0;
    double wallS = 0.0;
    double wireS = 0.0;
    qint64 maxStallMs = 0;
    QString message;
};

Run Download(int records)
{
    CSystemClock clock;
    CSimMeter::Setup setup;
    setup.nRecordCount = records;
    setup.nRecordDays = 3000;
    setup.nRecordSeed = 2024;
    CSimMeter meter(clock, setup);
    CSimBridge bridge(meter, clock);

    QTemporaryDir dir;
    CIniSysInfo sysInfo;
    sysInfo.ComposePaths((dir.path() + QStringLiteral("/brevane")).toStdString(),
                         [](const std::string&) { return true; });
    Run run;
    CUiPrompts::SetInfoHook([&](const QString& text, const QString&) { run.message = text; });

    CMeterSession session(bridge, clock);
    CBrevaneDlg dlg(session, clock, sysInfo);
    dlg.show();
    dlg.OnTimer(CBrevaneDlg::TIMER_DETECT);
    session.WaitForIdle();
    const QDate today = QDateTime::fromSecsSinceEpoch(clock.NowSeconds()).date();
    dlg.m_dtStart->setDate(today.addDays(-(setup.nRecordDays + 2)));
    dlg.m_dtEnd->setDate(today);

    // A zero timer fires once every turn of the event loop.
    QElapsedTimer sinceTurn;
    QTimer turns;
    turns.setInterval(0);
    QObject::connect(&turns, &QTimer::timeout, [&] {
        run.maxStallMs = std::max(run.maxStallMs, sinceTurn.restart());
    });

    const auto wallStart = std::chrono::steady_clock::now();
    dlg.QueryRecords();
    sinceTurn.start();
    turns.start();
    session.WaitForIdle();
    turns.stop();
    run.wallS = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();

    dlg.DataGrid().SetAddressedSheet(1);
    run.rows = dlg.DataGrid().GetRowCount();
    const int frames = run.rows + 1;   // the end marker is read too
    run.wireS = double(CSimBridge::WireTimeNs(uint64_t(kRequestBytes) + uint64_t(frames) * kFrameBytes)) / 1e9;
    CUiPrompts::ClearHooks();
    return run;
}

}   // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const Run grid = Download(5000);
    std::printf("records shown: %d of %d%s%s\n", grid.rows, 5000, grid.message.isEmpty() ? "" : ", message: ",
                grid.message.toStdString().c_str());
    std::printf("wire time: %.3f s\n", grid.wireS);
    std::printf("wall time: %.3f s\n", grid.wallS);
    std::printf("wall/wire ratio with grid: %.3f\n", grid.wallS / grid.wireS);

    const Run big = Download(20000);
    std::printf("records shown: %d of %d%s%s\n", big.rows, 20000, big.message.isEmpty() ? "" : ", message: ",
                big.message.toStdString().c_str());
    std::printf("wall time: %.3f s (wire %.3f s)\n", big.wallS, big.wireS);
    std::printf("ui max stall during download: %lld ms\n", static_cast<long long>(big.maxStallMs));
    return grid.rows == 5000 && big.rows == 20000 ? 0 : 1;
}
