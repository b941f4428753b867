// Draws the calibration history window after a few writes on the simulated
// meter into a PNG (the picture in docs/): brevane-history-picture OUT.png.
// Run with QT_QPA_PLATFORM=offscreen.

#include "CAdminTestRig.h"

#include "CCalibrationGrid.h"

#include <QApplication>
#include <QCheckBox>
#include <QTableWidget>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    CAdminTestRig rig;
    rig.AttachArchive();
    rig.dlg->SetUser(QStringLiteral("홍길동"));
    rig.SearchOk();
    // Two corrections and a point, an hour apart.
    for (const auto& write : {std::pair<int, int>{7, 14}, {9, -6}}) {
        rig.dlg->AutoReadBox()->setChecked(true);
        rig.dlg->OnTimer(CDlgAdmin::TIMER_REFRESH);
        rig.Wait();
        rig.dlg->AutoReadBox()->setChecked(false);
        rig.SetCal(3, write.first, QString::number(write.second));
        rig.Answer(true);
        rig.dlg->OnCalGridButton(CCalibrationGrid::COL_BUTTON, write.first);
        rig.Wait();
        rig.clock.AdvanceUs(3600ll * 1000000);
    }
    rig.meter.SetPresentBase(CSimMeter::SIZE_7T, rig.meter.GetCalPoint(CSimMeter::SIZE_7T, 2) + 37);
    rig.dlg->AutoReadBox()->setChecked(true);
    rig.dlg->OnTimer(CDlgAdmin::TIMER_REFRESH);
    rig.Wait();
    rig.dlg->AutoReadBox()->setChecked(false);
    rig.Answer(true);
    rig.dlg->OnCalGridButton(CCalibrationGrid::COL_BUTTON, 4);
    rig.Wait();

    rig.dlg->OnHistory();
    CDlgCalibrationHistory* window = rig.dlg->HistoryWindow();
    if (!window)
        return 1;
    window->resize(860, 700);
    window->Select(0);
    window->show();
    app.processEvents();
    if (!window->grab().save(QString::fromLocal8Bit(argv[1])))
        return 1;
    std::printf("%d snapshots\n", window->List()->rowCount());
    return 0;
}
