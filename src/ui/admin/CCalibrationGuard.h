#pragma once
// What the administrator window does to keep a meter's calibration
// trustworthy:
//
// - around every set-point or correction write it reads the calibration of
//   all three sizes before (as found) and after (as left), in the same
//   session job as the write, and keeps both in the archive;
// - "보정값 백업" reads the three sizes, keeps them and writes the backup file;
// - "보정값 불러오기" checks a backup file (checksum, same meter) before
//   trusting it, and restores its corrections: one question lists every
//   correction that will change, each is written with the correction
//   command and read back, and the first one that fails or reads back
//   otherwise stops the restore with what was written so far. Calibration
//   points cannot be written as values; their differences are shown.
//
// Snapshots are kept only when an archive is attached.

#include "CCalibrationSnapshot.h"
#include "MeterCommands.h"
#include "SessionTypes.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

class CMeterSession;
class CSqliteArchive;
class ILinkClock;
class QWidget;

class CCalibrationGuard {
public:
    using MeterSource = std::function<SnapshotMeter()>;
    using ClockSource = std::function<QString()>;

    CCalibrationGuard(QWidget* window, ILinkClock& clock, MeterSource meter, ClockSource meterClock);

    void SetSession(CMeterSession* session) { m_pSession = session; }
    void SetArchive(CSqliteArchive* archive) { m_pArchive = archive; }
    void SetUser(const QString& user) { m_strUser = user; }
    CSqliteArchive* Archive() const { return m_pArchive; }
    // An archive is attached and open: writes are wrapped by snapshots.
    bool KeepsSnapshots() const;

    // The write as one job: the three reads, the write, the three reads
    // again when snapshots are kept, else the write alone. The write is
    // step WriteIndex() of the job.
    std::vector<SessionStep> WrapWrite(const MeterRequest& write) const;
    int WriteIndex() const { return KeepsSnapshots() ? 3 : 0; }
    // After such a job: keeps the as-found and as-left snapshots. False with
    // the reason when the archive would not take them.
    bool KeepAround(const SessionResult& result, QString* error);

    // "보정값 백업" and "보정값 불러오기". hold lives until the operation ends
    // (the window's pause of its automatic reading).
    void Backup(std::shared_ptr<void> hold = nullptr);
    void LoadAndRestore(std::shared_ptr<void> hold = nullptr);
    // Restores the corrections of target onto the meter (a snapshot of the
    // history or a checked file).
    void Restore(const CCalibrationSnapshot& target, std::shared_ptr<void> hold = nullptr);

    // The three reads of a snapshot, and the snapshot made of the replies
    // in steps [first, first + 3) of a job.
    static std::vector<SessionStep> ReadAllSteps();
    CCalibrationSnapshot FromSteps(const std::vector<SessionStepResult>& steps, size_t first,
                                   ESnapshotReason reason) const;
    // Keeps one snapshot; its archive id, or 0 with the reason.
    int64_t Keep(const CCalibrationSnapshot& snapshot, QString* error);
    static const char* ReasonKey(ESnapshotReason reason);

private:
    void ReadAll(std::function<void(const CCalibrationSnapshot&, const SessionResult&)> done);
    void WriteNext(std::shared_ptr<struct RestoreRun> run);
    void FinishRestore(std::shared_ptr<struct RestoreRun> run, const QString& failure);
    void Warn(const QString& text) const;

    QWidget* m_pWindow;
    ILinkClock& m_clock;
    MeterSource m_fnMeter;
    ClockSource m_fnMeterClock;
    CMeterSession* m_pSession = nullptr;
    CSqliteArchive* m_pArchive = nullptr;
    QString m_strUser;
};
