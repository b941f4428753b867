#pragma once
// What a session job is given and what it hands back. Plain data, copied
// between the link's thread and the thread that started the job.

#include "IDownloadSink.h"
#include "MeterCommands.h"

#include <QMetaType>

#include <cstdint>
#include <string>
#include <vector>

// The operations a session runs, one at a time.
enum class ESessionJob {
    None,
    Detect,           // is the bridge there (the once-a-second poll)
    Exchange,         // short request/reply exchanges, in order
    MemoryDownload,   // stored records of a date range
    OutputDownload,   // the continuous series
    FirmwareUpload,   // the three phases of a firmware update
};

// One short exchange of an Exchange job. A failed step with bStopOnFailure
// ends the job; the steps after it are not sent.
struct SessionStep {
    MeterRequest request;
    bool bStopOnFailure = true;
};

struct SessionStepResult {
    uint8_t nCommand = 0;
    int nResult = 0;                       // the link's result code; below 0 failed
    uint8_t reply[REPLY_BUFFER_LEN] = {};  // the reply payload on success
};

// The bytes of the last request and reply on the link, as the
// administrator window lists them.
struct LinkExchange {
    std::vector<uint8_t> tx;   // the framed request (m_nTxLen bytes, at most the buffer)
    int nTxLen = 0;
    int64_t tTx = 0;
    std::vector<uint8_t> rx;
    int nRxLen = 0;
    int64_t tRx = 0;
};

// Where a download stands, sent while it runs.
struct DownloadProgress {
    EDownloadKind eKind = EDownloadKind::Memory;
    int nRecords = 0;            // rows received so far
    int nTotal = -1;             // OUTPUT: the count the summary announced; -1 unknown
    double dElapsedS = 0.0;      // since the request went out
    double dRate = 0.0;          // records per second so far
    double dRemainingS = -1.0;   // estimate; -1 while there is none
};

// How a firmware upload ended.
enum class EFirmwareOutcome {
    Done,
    NoImage,          // empty buffer or no head marker
    RequestFailed,    // the 0x48 exchange failed
    HeadFailed,       // the head exchange failed
    HeadRejected,     // the meter refused the head marker
    PieceFailed,      // a body piece's exchange failed
    CrcError,         // the meter found a CRC error in a piece
    Cancelled,        // stopped by the user between pieces
};

struct SessionResult {
    ESessionJob eJob = ESessionJob::None;
    int nResult = 0;             // the link's result code at the end of the job
    std::string strError;        // the link's text of nResult (UTF-8)
    int nOpenStatus = 0;         // the bridge status of the last failed open
    bool bCancelled = false;     // the user stopped the job

    bool bFound = false;         // Detect: a bridge is there
    bool bOpened = true;         // Exchange with open first: the link opened
    std::vector<SessionStepResult> steps;   // Exchange: one per step sent

    int nRecords = 0;            // downloads: rows received
    bool bComplete = false;      // downloads: every record arrived
    std::string strSinkError;    // downloads: the first error of the download sink

    EFirmwareOutcome eFirmware = EFirmwareOutcome::Done;
    int nPiecesSent = 0;         // firmware: body pieces the meter accepted
    std::string strVersionAfter; // firmware: the version read once the meter came back

    LinkExchange exchange;       // the last request and reply of the job
};

// One packet-log entry, carried from the link's thread to the log window.
struct PacketLogEntry {
    int nDirection = 0;          // 0 written to the meter, otherwise read
    std::vector<uint8_t> bytes;
};

Q_DECLARE_METATYPE(SessionResult)
Q_DECLARE_METATYPE(DownloadProgress)
