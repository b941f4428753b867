#pragma once
// What differs between two calibration snapshots, and what restoring one of
// them onto the meter would do.
//
// The comparison lists the calibration points and corrections that differ,
// size by size. The present load-cell value is a live reading, not part of
// the calibration, so it is never listed.
//
// A restore can write corrections (command 0x47 takes the value), but not
// calibration points: the meter sets a point to its own present load-cell
// reading and takes no value for it. Points that differ are therefore listed
// apart, for the administrator to set again under the right load.

#include "CCalibrationSnapshot.h"

#include <QString>
#include <QStringList>

#include <vector>

struct CalibrationChange {
    enum class EField { Point, Correction, Record };

    LoadCellSize eSize = LOADCELL_7T;
    EField eField = EField::Point;
    int nIndex = 0;          // point 0..3 or correction 0..2
    QString strLabel;        // "30 KN"; empty for a whole record
    QString strOld;          // "12"; "(읽지 않음)" for a size not read
    QString strNew;

    // "보정 점", "보정 값", "보정 기록"
    QString FieldText() const;
    // "7톤 30 KN 보정 값: 12 → -5"
    QString Text() const;
};

// What changed from before to after.
std::vector<CalibrationChange> CompareSnapshots(const CCalibrationSnapshot& before,
                                                const CCalibrationSnapshot& after);

struct CorrectionWrite {
    LoadCellSize eSize = LOADCELL_7T;
    int nCorrection = 0;     // 0..2
    int nSlot = 0;           // the meter's correction slot (CorrectionSlot)
    int nOld = 0;            // the meter now
    int nNew = 0;            // the backup
    MeterRequest request;    // the write, ready to send
    QString Text() const;    // "7톤 30 KN 보정 값 (슬롯 6): 12 → 0"
};

struct PointDifference {
    LoadCellSize eSize = LOADCELL_7T;
    int nPoint = 0;
    uint32_t nOld = 0;
    uint32_t nNew = 0;
    QString Text() const;    // "7톤 30 KN 보정 점: 31000 → 30950"
};

struct CalibrationRestorePlan {
    std::vector<CorrectionWrite> corrections;   // written by the restore, in this order
    std::vector<PointDifference> points;        // cannot be written; set again under load
    QStringList notes;                          // sizes not compared, values that cannot be written

    bool HasWrites() const { return !corrections.empty(); }
    // The text of the question before the restore; says that points cannot
    // be written as values.
    QString Text() const;
};

// Restoring target (a backup) onto a meter whose calibration is now current.
// Only sizes present in both are compared; snapshots of two different
// meters give a plan without writes that says so.
CalibrationRestorePlan PlanRestore(const CCalibrationSnapshot& current, const CCalibrationSnapshot& target);
