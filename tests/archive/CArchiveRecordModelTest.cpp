// The archive window's table model: filtering, paging and ordering in SQLite,
// ticks kept by record id.

#include "ArchiveTestSupport.h"
#include "CArchiveRecordModel.h"
#include "CArchiveSink.h"
#include "CSqliteArchive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

class RecordModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(m_archive.Open(m_folder / "archive.sqlite"), EArchiveOpen::Created);
        // 1000 stored records over 400 days for the meter at hand, a few for another.
        CManualClock clock(kArchiveTestNow);
        CSimMeter::Setup setup;
        setup.nRecordCount = 1000;
        setup.nRecordDays = 400;
        m_records = CSimMeter(clock, setup).GetStoredRecords();
        CArchiveSink sink(m_archive);
        FeedDownload(sink, TestMeter(), EDownloadKind::Memory, ToDownloaded(m_records));
        FeedDownload(sink, TestMeter("SN-OTHER"), EDownloadKind::Memory, ToDownloaded(MakeSimRecords(40, 0).stored));
        ArchiveMeter meter;
        ASSERT_TRUE(m_archive.FindMeter(TestMeter(), &meter));
        m_nMeter = meter.nId;
    }
    int CountIn(int fromDay, int toDay, int type) const
    {
        int n = 0;
        for (const auto& r : m_records) {
            const int day = r.nYear * 10000 + r.nMonth * 100 + r.nDay;
            n += day >= fromDay && day <= toDay && (type < 0 || r.nCellType == type);
        }
        return n;
    }
    static void FetchAll(CArchiveRecordModel& model)
    {
        while (model.canFetchMore(QModelIndex()))
            model.fetchMore(QModelIndex());
    }

    CArchiveTestFolder m_folder;
    CSqliteArchive m_archive;
    std::vector<CSimMeter::Record> m_records;
    int64_t m_nMeter = 0;
};

TEST_F(RecordModelTest, FiltersByDayAndTypeAndFetchesPageByPage)
{
    CArchiveRecordModel model(m_archive);
    CArchiveRecordModel::Filter filter;
    filter.nMeterId = m_nMeter;
    model.SetFilter(filter);
    EXPECT_EQ(model.TotalRows(), 1000);
    EXPECT_EQ(model.rowCount(), CArchiveRecordModel::kPageRows);
    FetchAll(model);
    ASSERT_EQ(model.rowCount(), 1000);
    std::set<int64_t> ids;
    for (int row = 0; row < model.rowCount(); ++row)
        ids.insert(model.RecordId(row));
    EXPECT_EQ(ids.size(), 1000u);   // pages neither repeat nor skip rows

    filter.nFromDay = 20250601;
    filter.nToDay = 20250630;
    filter.nCellType = 2;
    model.SetFilter(filter);
    EXPECT_EQ(model.TotalRows(), CountIn(20250601, 20250630, 2));
    FetchAll(model);
    ASSERT_EQ(model.rowCount(), model.TotalRows());
    for (int row = 0; row < model.rowCount(); ++row) {
        EXPECT_EQ(model.data(model.index(row, CArchiveRecordModel::ColCellType)).toString(), "VR300");
        const QString time = model.data(model.index(row, CArchiveRecordModel::ColTime)).toString();
        EXPECT_TRUE(time.startsWith("2025-06-")) << time.toStdString();
    }
}

TEST_F(RecordModelTest, EveryColumnSortsInTheDatabaseAcrossPages)
{
    CArchiveRecordModel model(m_archive);
    CArchiveRecordModel::Filter filter;
    filter.nMeterId = m_nMeter;
    model.SetFilter(filter);
    model.sort(CArchiveRecordModel::ColForce, Qt::DescendingOrder);
    const int maxForce = std::max_element(m_records.begin(), m_records.end(), [](auto& a, auto& b) {
                             return a.nForce < b.nForce;
                         })->nForce;
    EXPECT_EQ(model.data(model.index(0, CArchiveRecordModel::ColForce)).toString(),
              CArchiveRecordModel::ForceText(maxForce));
    FetchAll(model);
    EXPECT_EQ(model.rowCount(), 1000);

    model.sort(CArchiveRecordModel::ColTime, Qt::AscendingOrder);
    FetchAll(model);
    for (int row = 1; row < model.rowCount(); ++row)
        ASSERT_LE(model.data(model.index(row - 1, CArchiveRecordModel::ColTime)).toString(),
                  model.data(model.index(row, CArchiveRecordModel::ColTime)).toString());
    model.sort(CArchiveRecordModel::ColCellType, Qt::AscendingOrder);
    EXPECT_EQ(model.data(model.index(0, CArchiveRecordModel::ColCellType)).toString(), "VR70");
}

TEST_F(RecordModelTest, TicksCoverUnfetchedRowsAndComeOutInViewOrder)
{
    CArchiveRecordModel model(m_archive);
    CArchiveRecordModel::Filter filter;
    filter.nMeterId = m_nMeter;
    model.SetFilter(filter);
    model.SelectAll();
    EXPECT_EQ(model.TickedCount(), 1000);
    model.ClearAll();
    EXPECT_EQ(model.TickedCount(), 0);

    model.sort(CArchiveRecordModel::ColTime, Qt::DescendingOrder);
    ASSERT_TRUE(model.setData(model.index(2, 0), Qt::Checked, Qt::CheckStateRole));
    ASSERT_TRUE(model.setData(model.index(0, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(model.data(model.index(0, 0), Qt::CheckStateRole).toInt(), Qt::Checked);
    const std::vector<CArchiveRecordModel::Row> rows = model.TickedRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].nId, model.RecordId(0));
    EXPECT_EQ(rows[1].nId, model.RecordId(2));
    EXPECT_GE(rows[0].nStoredTime, rows[1].nStoredTime);

    model.Invert();
    EXPECT_EQ(model.TickedCount(), 998);
    EXPECT_EQ(model.data(model.index(0, 0), Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_EQ(model.data(model.index(1, 0), Qt::CheckStateRole).toInt(), Qt::Checked);
}

}  // namespace
