// The archive window on a real archive file: what it lists, the report of
// the ticked rows as an independent reader sees the workbook, deletion only
// after the user agrees, and the backup button.

#include "ArchiveTestSupport.h"
#include "CArchiveRecordModel.h"
#include "CArchiveSink.h"
#include "CDlgArchive.h"
#include "CFileReveal.h"
#include "CIniSysInfo.h"
#include "CReportExport.h"
#include "CSqliteArchive.h"
#include "CUiPrompts.h"
#include "CXlsDump.h"

#include <QTableView>
#include <QTableWidget>

#include <gtest/gtest.h>

namespace {

class DlgArchiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(m_archive.Open(m_folder / "archive.sqlite"), EArchiveOpen::Created);
        CArchiveSink sink(m_archive);
        FeedDownload(sink, TestMeter(), EDownloadKind::Memory,
                     ToDownloaded({SimRec(2025, 11, 3, 9, 0, 0, 98, 0), SimRec(2025, 11, 4, 8, 30, 0, 1234, 1),
                                   SimRec(2025, 11, 20, 23, 59, 59, 65535, 2), SimRec(2025, 12, 1, 7, 0, 0, 500, 1)}));
        FeedDownload(sink, TestMeter(), EDownloadKind::Memory,
                     ToDownloaded({SimRec(2025, 12, 2, 7, 0, 0, 700, 1), SimRec(2025, 12, 3, 7, 0, 0, 800, 1)}), 1,
                     1, kArchiveTestNow + 86400);
        FeedDownload(sink, TestMeter("-", "NO-SERIAL"), EDownloadKind::Memory,
                     ToDownloaded(MakeSimRecords(12, 0).stored));
        m_sysInfo.m_szCompany = "브레베인 주식회사";
        m_sysInfo.m_szReportName = "연간 점검";
        m_sysInfo.m_szUserName = "홍길동";
        m_sysInfo.m_szIniPath = m_folder / "brevane.ini";
        CUiPrompts::SetInfoHook([this](const QString& text, const QString&) { m_messages << text; });
        CUiPrompts::SetYesNoHook([this](const QString& text, const QString&) {
            m_questions << text;
            return m_bAnswer;
        });
        CUiPrompts::SetSaveFileHook([this](const QString&, const QString&, const QString&) { return m_strSaveAs; });
        CFileReveal::SetHook([](const QString&) {});
        m_pDlg = std::make_unique<CDlgArchive>(m_archive, m_sysInfo, &CReportExport::Run);
        m_pDlg->InitDialog();
    }
    void TearDown() override
    {
        m_pDlg.reset();
        CUiPrompts::ClearHooks();
        CFileReveal::SetHook(nullptr);
    }
    int RowOfMeter(const QString& name) const
    {
        for (int row = 0; row < m_pDlg->MetersTable()->rowCount(); ++row)
            if (m_pDlg->MetersTable()->item(row, 0)->text() == name)
                return row;
        return -1;
    }

    CArchiveTestFolder m_folder;
    CSqliteArchive m_archive;
    CIniSysInfo m_sysInfo;
    std::unique_ptr<CDlgArchive> m_pDlg;
    QStringList m_messages, m_questions;
    bool m_bAnswer = false;
    QString m_strSaveAs;
};

TEST_F(DlgArchiveTest, ListsMetersRecordsAndMarksTheBrokenOffDownload)
{
    QTableWidget* meters = m_pDlg->MetersTable();
    ASSERT_EQ(meters->rowCount(), 2);
    const int noSerial = RowOfMeter("NO-SERIAL");
    ASSERT_GE(noSerial, 0);
    EXPECT_EQ(meters->item(noSerial, 1)->text(), "- (미설정)");
    EXPECT_EQ(meters->item(noSerial, 2)->text(), "12");

    m_pDlg->SelectMeter(RowOfMeter("SIM-METER"));
    EXPECT_EQ(m_pDlg->Model().TotalRows(), 5);
    QTableWidget* downloads = m_pDlg->DownloadsTable();
    ASSERT_EQ(downloads->rowCount(), 2);
    EXPECT_TRUE(downloads->item(0, 4)->text().startsWith("미완료")) << downloads->item(0, 4)->text().toStdString();
    EXPECT_EQ(downloads->item(1, 4)->text(), "완료");

    m_pDlg->SetDateRange(QDate(2025, 11, 4), QDate(2025, 11, 30));
    m_pDlg->SetCellTypeFilter(2);
    m_pDlg->Query();
    ASSERT_EQ(m_pDlg->Model().TotalRows(), 1);
    EXPECT_EQ(m_pDlg->RecordsView()->model()->index(0, CArchiveRecordModel::ColForce).data().toString(),
              "668.7 톤");
}

TEST_F(DlgArchiveTest, TickedRowsGoIntoTheMainWindowsReportInViewOrder)
{
    m_pDlg->SelectMeter(RowOfMeter("SIM-METER"));
    m_pDlg->RecordsView()->sortByColumn(CArchiveRecordModel::ColForce, Qt::DescendingOrder);
    m_pDlg->OnSelectAll();
    m_pDlg->Model().setData(m_pDlg->Model().index(0, 0), Qt::Unchecked, Qt::CheckStateRole);
    m_strSaveAs = QString::fromStdString(m_folder / "archive-report");
    m_pDlg->ExportTicked();

    const CXlsDump book(m_strSaveAs + ".xls");
    ASSERT_TRUE(book.Ok()) << book.Error().toStdString();
    EXPECT_EQ(book.Text(5, 3), "SN250100042");
    EXPECT_EQ(book.Text(5, 1), "브레베인 주식회사");
    // 65535 was unticked; the rest by force, highest first, the broken-off
    // download's record among them.
    EXPECT_EQ(book.Text(2, 8), "2025-11-04 08:30:00");
    EXPECT_EQ(book.Text(3, 8), "12.5 톤");
    EXPECT_EQ(book.Text(4, 8), "VR150");
    EXPECT_EQ(book.Text(2, 9), "2025-12-02 07:00:00");
    EXPECT_EQ(book.Text(3, 10), " 5.1 톤");
    EXPECT_EQ(book.Text(1, 11), "4");
    EXPECT_EQ(book.Text(3, 11), " 1.0 톤");
    EXPECT_EQ(book.Text(1, 12), "");
}

TEST_F(DlgArchiveTest, DeletionNeedsAYesAndBackupWritesAWorkingArchive)
{
    m_pDlg->SelectMeter(RowOfMeter("NO-SERIAL"));
    m_pDlg->OnSelectAll();
    m_pDlg->OnInvert();
    m_pDlg->Model().setData(m_pDlg->Model().index(0, 0), Qt::Checked, Qt::CheckStateRole);
    m_pDlg->Model().setData(m_pDlg->Model().index(3, 0), Qt::Checked, Qt::CheckStateRole);
    m_pDlg->DeleteTicked();
    ASSERT_EQ(m_questions.size(), 1);
    EXPECT_TRUE(m_questions[0].contains("2건"));
    EXPECT_EQ(m_pDlg->Model().TotalRows(), 12);

    m_bAnswer = true;
    m_pDlg->DeleteTicked();
    EXPECT_EQ(m_pDlg->Model().TotalRows(), 10);
    EXPECT_EQ(m_pDlg->MetersTable()->item(RowOfMeter("NO-SERIAL"), 2)->text(), "10");

    m_strSaveAs = QString::fromStdString(m_folder / "copy.sqlite");
    m_pDlg->BackupArchive();
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].contains("백업했습니다"));
    CSqliteArchive copy;
    ASSERT_EQ(copy.Open(m_strSaveAs.toStdString()), EArchiveOpen::Ok);
    EXPECT_EQ(copy.Meters().size(), 2u);
}

}  // namespace
