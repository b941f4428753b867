#pragma once
// The calibration certificate ("보정 성적서") of one load-cell size as a PDF:
// the meter's identity and version, the size, the nominal forces against the
// recorded calibration points with each point's deviation from the
// least-squares line, the line and its largest deviation in % of full scale,
// the corrections, date, user and a signature line.

#include "AnalysisData.h"
#include "CCalibrationFit.h"

#include <QString>

struct CalibrationCertificateData {
    ReportHeader header;        // strReportDate: the calibration's date; strAuthor: who calibrated
    std::string strMeterClock;  // the meter's clock as read, or empty
    LoadCellSize eSize = LOADCELL_7T;
    CalibrationRecord record;
};

class CPdfCalibrationCertificate {
public:
    explicit CPdfCalibrationCertificate(const CalibrationCertificateData& data);

    // False with a Korean reason in *error when the file could not be written.
    bool Write(const QString& path, QString* error) const;

    // "%.Nf" without a minus sign on a value that prints as zero.
    static QString Number(double value, int decimals);

private:
    const CalibrationCertificateData& m_data;
};
