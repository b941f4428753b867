#pragma once
// The numbers of a calibration certificate for one load-cell size: the
// nominal force of each calibration point (the forces the administrator
// window labels the points with) against the load-cell value the meter
// recorded for it, the least-squares straight line through the four points,
// each point's deviation from that line and the largest one in % of full
// scale, and the three corrections the meter holds.
//
// The line gives the load-cell value for a force: value = slope × kN +
// intercept. A deviation in % of full scale is (value − line) divided by the
// line's span over full scale (|slope| × the size's highest nominal force),
// so it reads the same for any load-cell gain.

#include "MeterCommands.h"
#include "MeterRecords.h"

#include <string>

class CCalibrationFit {
public:
    enum : int { POINTS = 4, CORRECTIONS = 3 };

    // Nominal forces of points 0..3 in kN: 7 t 0/30/50/65, 15 t 0/80/110/140,
    // 30 t 0/160/220/280; all 0 for an unknown size.
    static int NominalLoadKn(LoadCellSize size, int point);
    // The highest nominal force of the size: its full scale.
    static int FullScaleKn(LoadCellSize size) { return NominalLoadKn(size, POINTS - 1); }
    // "30 KN": how the administrator window labels point 1 of the 7-ton size.
    static std::string PointLabel(LoadCellSize size, int point);
    // "30 KN 보정 값": the label of correction 0..2 (for points 1..3).
    static std::string CorrectionLabel(LoadCellSize size, int correction);
    // "7톤", "15톤", "30톤"; empty for an unknown size.
    static std::string SizeName(LoadCellSize size);

    // Fits the record of one size. Without a line (unknown size, or points
    // that do not rise with the force, so every value is the same) the fit
    // is not valid and Reason() says why in Korean; the points and
    // corrections are kept either way.
    static CCalibrationFit Compute(LoadCellSize size, const CalibrationRecord& record);

    bool IsValid() const { return m_bValid; }
    const std::string& Reason() const { return m_strReason; }

    LoadCellSize m_eSize = LOADCELL_7T;
    CalibrationRecord m_record;
    double m_dSlope = 0.0;       // load-cell value per kN
    double m_dIntercept = 0.0;   // load-cell value at no load
    double m_dFitted[POINTS] = {0, 0, 0, 0};           // the line at each nominal force
    double m_dDeviationPercent[POINTS] = {0, 0, 0, 0}; // % of full scale, signed
    double m_dMaxDeviationPercent = 0.0;                // largest |deviation|, % of full scale
    int m_nMaxDeviationPoint = 0;

private:
    bool m_bValid = false;
    std::string m_strReason;
};
