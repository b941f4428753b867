#pragma once
// What the lab tests share: stations with their own archive files, fed
// through the download sink as the session feeds it, and waiting for the
// background push with a bound.

#include "ArchiveTestSupport.h"
#include "CArchiveSink.h"
#include "CArchiveSync.h"
#include "CSqliteArchive.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

// Waits, letting queued signals through, until done() or the bound passes.
inline bool WaitFor(const std::function<bool()>& done, int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    return true;
}

// A station: its own archive file, downloads fed through the sink as the
// session feeds them.
struct Station {
    explicit Station(const std::string& name) : strName(name)
    {
        EXPECT_EQ(archive.Open(folder / "archive.sqlite"), EArchiveOpen::Created);
    }
    void Download(const DownloadMeter& meter, const std::vector<CSimMeter::Record>& records,
                  EDownloadKind kind = EDownloadKind::Memory)
    {
        CArchiveSink sink(archive);
        EXPECT_EQ(FeedDownload(sink, meter, kind, ToDownloaded(records), -1, 200).nBatchesRefused, 0);
    }
    std::unique_ptr<CArchiveSync> Sync(const std::string& setting, int batch = 500)
    {
        auto sync = std::make_unique<CArchiveSync>(folder / "archive.sqlite", setting);
        CArchiveSync::Timing timing;
        timing.nFirstRetryMs = 100;
        timing.nMaxRetryMs = 400;
        timing.nBatchRows = batch;
        sync->SetTiming(timing);
        sync->SetStationName(strName);
        return sync;
    }
    std::string strName;
    CArchiveTestFolder folder;
    CSqliteArchive archive;
};

inline bool Settled(const CArchiveSync& sync)
{
    const CArchiveSync::Status s = sync.GetStatus();
    return s.bStarted && !s.bFailing && s.nPending == 0;
}

