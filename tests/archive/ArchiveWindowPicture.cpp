// Draws the archive window on a generated archive into a PNG (the picture in
// docs/): brevane-archive-picture OUT.png. Run with QT_QPA_PLATFORM=offscreen.

#include "ArchiveTestSupport.h"
#include "CArchiveRecordModel.h"
#include "CArchiveSink.h"
#include "CDlgArchive.h"
#include "CIniSysInfo.h"
#include "CSqliteArchive.h"

#include <QApplication>
#include <QTableView>
#include <QTableWidget>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    CArchiveTestFolder folder;
    CSqliteArchive archive;
    if (archive.Open(folder / "archive.sqlite") != EArchiveOpen::Created)
        return 1;
    CArchiveSink sink(archive);
    const int64_t day = 86400;
    FeedDownload(sink, TestMeter("SN250100017", "PM-07"), EDownloadKind::Memory,
                 ToDownloaded(MakeSimRecords(150, 0, 5).stored), -1, kSessionBatch, kArchiveTestNow - 30 * day);
    const SimRecords sim = MakeSimRecords(150, 20, 1);
    FeedDownload(sink, TestMeter(), EDownloadKind::Memory, ToDownloaded(sim.stored), -1, kSessionBatch,
                 kArchiveTestNow - 20 * day);
    FeedDownload(sink, TestMeter(), EDownloadKind::Output, ToDownloaded(sim.series), -1, kSessionBatch,
                 kArchiveTestNow - 10 * day);
    FeedDownload(sink, TestMeter(), EDownloadKind::Memory, ToDownloaded(MakeSimRecords(150, 0, 2).stored), 90,
                 kSessionBatch, kArchiveTestNow - 2 * day);
    FeedDownload(sink, TestMeter("-", "PM-LAB"), EDownloadKind::Memory,
                 ToDownloaded(MakeSimRecords(40, 0, 9).stored), -1, kSessionBatch, kArchiveTestNow - day);

    CIniSysInfo sysInfo;
    CDlgArchive dlg(archive, sysInfo, nullptr);
    dlg.InitDialog();
    for (int row = 0; row < dlg.MetersTable()->rowCount(); ++row)
        if (dlg.MetersTable()->item(row, 0)->text() == "SIM-METER")
            dlg.SelectMeter(row);
    for (int row : {0, 1, 2, 4, 7})
        dlg.Model().setData(dlg.Model().index(row, 0), Qt::Checked, Qt::CheckStateRole);
    dlg.show();
    app.processEvents();
    return dlg.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
