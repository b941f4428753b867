#pragma once
// What the calibration of a meter was at one moment: for each of the three
// load-cell sizes the 21-byte calibration record as the meter sent it (or
// nothing when that size could not be read), the meter's identity and clock,
// the PC's time, who took it and why.
//
// The file form ("보정값 백업") is JSON:
//
//   { "format": "brevane-calibration", "version": 1,
//     "content": { meter, clocks, user, reason, sizes: [...] },
//     "sha256": hex SHA-256 of "content" written compactly }
//
// Qt writes object keys in sorted order, so "content" written compactly
// again after reading gives the same bytes, and the checksum tells a file
// that was damaged or edited by hand. The decoded points and corrections
// are written beside each record for people reading the file; loading
// trusts only the record bytes.

#include "MeterCommands.h"
#include "MeterRecords.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// The meter as the last device search read it.
struct SnapshotMeter {
    QString strName;
    QString strSerial;    // "-" or empty when the meter has none set
    QString strVersion;

    bool HasSerial() const { return !strSerial.isEmpty() && strSerial != QLatin1String("-"); }
    // The same meter: the same serial number when both have one, else the
    // same name (the archive keys meters the same way).
    bool IsSameMeter(const SnapshotMeter& other) const;
    // "PM-01 (S/N SN12345)"
    QString Text() const;
};

enum class ESnapshotReason { AsFound, AsLeft, BeforeFirmware, Backup };

using CalibrationBytes = std::array<uint8_t, CALIBRATION_RECORD_LEN>;

class CCalibrationSnapshot {
public:
    enum : int { SIZES = 3 };

    // "보정 전", "보정 후", "펌웨어 업로드 전", "백업".
    static QString ReasonText(ESnapshotReason reason);

    void SetRecord(LoadCellSize size, const uint8_t* record);
    bool HasRecord(LoadCellSize size) const;
    // The decoded record; all zero when the size was not read.
    CalibrationRecord Record(LoadCellSize size) const;
    // The record bytes; empty when the size was not read (or is unknown).
    std::optional<CalibrationBytes> Bytes(LoadCellSize size) const;

    // The file's bytes.
    QByteArray ToJson() const;
    // Reads the file's bytes; false with a Korean reason in *error for
    // anything that is not an intact backup of this program.
    static bool FromJson(const QByteArray& json, CCalibrationSnapshot* snapshot, QString* error);

    // "보정값 백업": writes the file, replacing one there only when the new one
    // is whole. False with a Korean reason.
    bool Save(const QString& path, QString* error) const;
    // "보정값 불러오기": reads a backup for the connected meter. Refused, with a
    // Korean reason, when the file is damaged or altered (checksum), belongs
    // to another meter than expected, or expected names no meter at all.
    static bool Load(const QString& path, const SnapshotMeter& expected, CCalibrationSnapshot* snapshot,
                     QString* error);

    // A file name to offer: "보정값 백업 <serial or name> <yyyyMMdd-HHmmss>.json",
    // without characters a file name may not hold.
    QString SuggestedFileName() const;

    SnapshotMeter m_meter;
    QString m_strMeterClock;    // the meter's clock as read ("yyyy-MM-dd HH:mm:ss", "-" when unset)
    QDateTime m_dtPc;           // the PC's time when the snapshot was taken
    QString m_strUser;
    ESnapshotReason m_eReason = ESnapshotReason::Backup;

private:
    std::array<std::optional<CalibrationBytes>, SIZES> m_records;
};
