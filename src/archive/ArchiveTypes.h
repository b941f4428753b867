#pragma once
// What the archive hands out: meters, downloads and single records, in plain
// types so that the session, the command-line tool and the tests need no Qt.

#include "IDownloadSink.h"
#include "MeterTime.h"

#include <cstdint>
#include <string>

// How opening the archive file went.
enum class EArchiveOpen {
    Ok,          // opened for reading and writing
    Created,     // no file was there: a fresh archive
    Migrated,    // an older file brought up to this program's schema
    SetAside,    // damaged or not an archive: renamed aside, a fresh archive started
    ReadOnly,    // the file cannot be written: opened for reading only
    TooNew,      // written by a newer program: refused, left as it was
    Failed,      // nothing could be opened
};

// A meter as the archive knows it. Meters are told apart by their serial
// number; one whose serial was never set is kept under its name.
struct ArchiveMeter {
    int64_t nId = 0;
    std::string strKey;        // "serial:<serial>" or "name:<name>"
    std::string strSerial;     // empty when unset
    bool bSerialUnset = false;
    std::string strName;
    std::string strVersion;
    int64_t tFirstSeen = 0;    // PC time of the first and the latest download
    int64_t tLastSeen = 0;
    int64_t nRecordCount = 0;
    int64_t tLastDownload = 0; // start of the latest download, 0 when none
};

struct ArchiveDownload {
    int64_t nId = 0;
    int64_t nMeterId = 0;
    std::string strStation;    // the archive that made it (with nId, its identity anywhere)
    EDownloadKind eKind = EDownloadKind::Memory;
    int64_t tStarted = 0;
    int64_t tFrom = 0;
    int64_t tTo = 0;
    bool bEnded = false;       // false: the program stopped before the download ended
    int64_t tFinished = 0;
    int nResult = 0;           // the link's result code, when ended
    bool bComplete = false;
    int nReceived = 0;         // records the download brought
    int nNew = 0;              // of them, not in the archive before
    int nKnown = 0;            // of them, already archived
};

// One archived measurement. The stored time is the meter's own fields as a
// number YYYYMMDDhhmmss, so that a record whose fields make no date is kept
// as it came and the order does not depend on the PC's time zone.
struct ArchiveRecord {
    int64_t nId = 0;
    int64_t nMeterId = 0;
    EDownloadKind eSource = EDownloadKind::Memory;
    int64_t nStoredTime = 0;
    int nRawForce = 0;         // 0.1 kN
    int nCellType = 0;
    int nOccurrence = 1;       // 2 for the second of two identical records of one download
    int64_t nDownloadId = 0;   // the download that brought it first
    int nStreamIndex = 0;
};

// The meter's time fields of a 10-byte record as YYYYMMDDhhmmss.
int64_t StoredTimeOfRecord(const uint8_t* record);
int64_t StoredTimeOf(int year, int month, int day, int hour, int minute, int second);
// The fields back out of such a number, as the meter sent them.
MeterDateTime StoredTimeFields(int64_t storedTime);
// "YYYY-MM-DD HH:MM:SS" of such a number, or the record-time text with its
// error mark when the fields make no date.
std::string FormatStoredTime(int64_t storedTime);
