// Times the two hot paths of the windows: filling a shown records grid row
// by row through write-if-different (as a download does), and appending
// entries to the packet log.

#include "CDlgLog.h"
#include "CManualClock.h"
#include "CSpreadSheet.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <vector>

namespace {
double MicrosecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
}
}   // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    constexpr int kRows = 10000;
    CSpreadSheet grid;
    grid.SetColumnCount(5);
    grid.SetRowCount(0);
    grid.SetActiveCell(CSpreadSheet::kAll, CSpreadSheet::kAll);
    grid.SetCellType(EGridCellType::StaticText);
    grid.SetHAlign(EGridHAlign::Center);
    grid.SetActiveCell(1, CSpreadSheet::kAll);
    grid.SetCellType(EGridCellType::CheckBox);
    grid.resize(800, 600);
    grid.show();
    app.processEvents();

    auto start = std::chrono::steady_clock::now();
    for (int r = 1; r <= kRows; ++r) {
        if (grid.GetRowCount() < r)
            grid.SetRowCount(r);
        grid.SetCellText(1, r, QStringLiteral("1"));
        grid.SetCellText(2, r, QString::number(r));
        grid.SetCellText(3, r, QStringLiteral("2026-12-06 09:15:07"));
        grid.SetCellText(4, r, QString::asprintf("%4.1f 톤", (r % 6000) / 10.0));
        grid.SetCellText(5, r, QStringLiteral("VR150"));
    }
    app.processEvents();   // the view catches up, as after a download
    std::printf("grid fill per row: %.1f us\n", MicrosecondsSince(start) / kRows);

    constexpr int kEntries = 2000;
    CManualClock clock;
    CDlgLog log(nullptr, std::string(), clock);
    log.show();
    app.processEvents();
    uint8_t frame[15] = {0x02, 0x0D, 0x35};
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kEntries; ++i) {
        frame[3] = uint8_t(i);
        log.AppendPacket(i & 1, frame, int(sizeof(frame)));
    }
    app.processEvents();
    std::printf("log append per entry: %.1f us\n", MicrosecondsSince(start) / kEntries);

    // The longest transfer, 4096 bytes, makes a line of about 12,300 characters.
    constexpr int kLongEntries = 200;
    std::vector<uint8_t> block(4096, 0x5A);
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kLongEntries; ++i)
        log.AppendPacket(1, block.data(), int(block.size()));
    app.processEvents();
    std::printf("log append per 4096-byte entry: %.1f us\n", MicrosecondsSince(start) / kLongEntries);
    return 0;
}
