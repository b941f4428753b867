#include "CCalibrationFit.h"

#include <cmath>

namespace {

const int kNominalKn[3][CCalibrationFit::POINTS] = {
    {0, 30, 50, 65},     // 7 t
    {0, 80, 110, 140},   // 15 t
    {0, 160, 220, 280},  // 30 t
};

bool IsKnownSize(LoadCellSize size)
{
    return size >= LOADCELL_7T && size <= LOADCELL_30T;
}

} // namespace

int CCalibrationFit::NominalLoadKn(LoadCellSize size, int point)
{
    if (!IsKnownSize(size) || point < 0 || point >= POINTS)
        return 0;
    return kNominalKn[size][point];
}

std::string CCalibrationFit::PointLabel(LoadCellSize size, int point)
{
    return std::to_string(NominalLoadKn(size, point)) + " KN";
}

std::string CCalibrationFit::CorrectionLabel(LoadCellSize size, int correction)
{
    return PointLabel(size, correction + 1) + " 보정 값";
}

std::string CCalibrationFit::SizeName(LoadCellSize size)
{
    switch (size) {
    case LOADCELL_7T:
        return "7톤";
    case LOADCELL_15T:
        return "15톤";
    case LOADCELL_30T:
        return "30톤";
    }
    return {};
}

CCalibrationFit CCalibrationFit::Compute(LoadCellSize size, const CalibrationRecord& record)
{
    CCalibrationFit fit;
    fit.m_eSize = size;
    fit.m_record = record;
    if (!IsKnownSize(size)) {
        fit.m_strReason = "알 수 없는 로드셀 크기입니다.";
        return fit;
    }

    // Ordinary least squares of value on force over the four points.
    double meanX = 0.0;
    double meanY = 0.0;
    for (int i = 0; i < POINTS; ++i) {
        meanX += NominalLoadKn(size, i);
        meanY += double(record.nPoints[i]);
    }
    meanX /= POINTS;
    meanY /= POINTS;
    double sxx = 0.0;
    double sxy = 0.0;
    for (int i = 0; i < POINTS; ++i) {
        const double dx = NominalLoadKn(size, i) - meanX;
        sxx += dx * dx;
        sxy += dx * (double(record.nPoints[i]) - meanY);
    }
    fit.m_dSlope = sxy / sxx;   // the nominal forces differ, so sxx > 0
    fit.m_dIntercept = meanY - fit.m_dSlope * meanX;

    const double span = std::fabs(fit.m_dSlope) * FullScaleKn(size);
    if (span < 1e-9) {
        fit.m_dSlope = 0.0;
        fit.m_dIntercept = meanY;
        fit.m_strReason = "보정 점의 값이 하중에 따라 변하지 않아 직선을 구할 수 없습니다.";
        return fit;
    }
    for (int i = 0; i < POINTS; ++i) {
        fit.m_dFitted[i] = fit.m_dSlope * NominalLoadKn(size, i) + fit.m_dIntercept;
        fit.m_dDeviationPercent[i] = (double(record.nPoints[i]) - fit.m_dFitted[i]) / span * 100.0;
        if (std::fabs(fit.m_dDeviationPercent[i]) > fit.m_dMaxDeviationPercent) {
            fit.m_dMaxDeviationPercent = std::fabs(fit.m_dDeviationPercent[i]);
            fit.m_nMaxDeviationPoint = i;
        }
    }
    fit.m_bValid = true;
    return fit;
}
