// The archive window's lab view on a real server: "서버" lists every
// station's meters with the stations that downloaded them, read only, and
// the status line follows the background push.

#include "CArchiveRecordModel.h"
#include "CDlgArchive.h"
#include "CIniSysInfo.h"
#include "CPgTestServer.h"
#include "CUiPrompts.h"
#include "LabTestSupport.h"

#include <QLabel>
#include <QTableWidget>

#include <gtest/gtest.h>

namespace {

TEST(LabWindowTest, ServerViewListsEveryStationsMetersAndTheStatusLineFollowsThePush)
{
    CPgTestServer server;
    ASSERT_TRUE(server.Ready() && server.CreateDatabase("lab"));
    server.UsePassword(CPgTestServer::kPassword);
    Station east("검사실-1"), west("검사실-2");
    east.Download(TestMeter("SN-EAST", "EAST"), MakeSimRecords(300, 0, 1).stored);
    west.Download(TestMeter("SN-WEST", "WEST"), MakeSimRecords(200, 0, 2).stored);
    ASSERT_TRUE(west.Sync(server.Setting("lab"))->PushOnce());
    // The program's worker for the first station, as main() starts it.
    auto sync = east.Sync(server.Setting("lab"));
    sync->Start();
    ASSERT_TRUE(WaitFor([&] { return Settled(*sync); }, 30000)) << sync->StatusText().toStdString();

    QStringList messages;
    CUiPrompts::SetInfoHook([&](const QString& text, const QString&) { messages << text; });
    CIniSysInfo sysInfo;
    sysInfo.m_szArchiveServer = "host=127.0.0.1 port=1 dbname=lab";   // nobody listens there
    CDlgArchive dlg(east.archive, sysInfo, nullptr);
    dlg.InitDialog();
    QCoreApplication::processEvents();
    EXPECT_TRUE(dlg.SyncStatusLabel()->text().startsWith(QStringLiteral("서버 동기화: 0건 대기 (마지막 동기화 ")))
        << dlg.SyncStatusLabel()->text().toStdString();
    ASSERT_EQ(dlg.MetersTable()->rowCount(), 1);
    EXPECT_TRUE(dlg.MetersTable()->isColumnHidden(4));

    // A server that does not answer: told why, and the window stays on this PC.
    EXPECT_FALSE(dlg.SetServerView(true));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("연결할 수 없습니다"))) << messages[0].toStdString();
    EXPECT_FALSE(dlg.IsServerView());
    EXPECT_EQ(dlg.MetersTable()->rowCount(), 1);

    sysInfo.m_szArchiveServer = server.Setting("lab");
    ASSERT_TRUE(dlg.SetServerView(true));
    QTableWidget* meters = dlg.MetersTable();
    ASSERT_EQ(meters->rowCount(), 2);
    EXPECT_FALSE(meters->isColumnHidden(4));
    for (int row = 0; row < 2; ++row) {
        const bool isEast = meters->item(row, 0)->text() == QStringLiteral("EAST");
        EXPECT_EQ(meters->item(row, 4)->text(), isEast ? QStringLiteral("검사실-1") : QStringLiteral("검사실-2"));
        EXPECT_EQ(meters->item(row, 2)->text(), isEast ? QStringLiteral("300") : QStringLiteral("200"));
    }
    dlg.SelectMeter(meters->item(0, 0)->text() == QStringLiteral("WEST") ? 0 : 1);
    EXPECT_EQ(dlg.Model().TotalRows(), 200);
    ASSERT_EQ(dlg.DownloadsTable()->rowCount(), 1);
    EXPECT_EQ(dlg.DownloadsTable()->item(0, 5)->text(), QStringLiteral("검사실-2"));
    EXPECT_FALSE(dlg.GetDlgItem(CDlgArchive::IDC_BUTTON_DELETE)->isEnabled());

    ASSERT_FALSE(dlg.SetServerView(false));
    EXPECT_EQ(dlg.MetersTable()->rowCount(), 1);
    EXPECT_TRUE(dlg.GetDlgItem(CDlgArchive::IDC_BUTTON_DELETE)->isEnabled());
    sync->Stop();
    CUiPrompts::ClearHooks();
}

}  // namespace
