#pragma once
// The statistics block as rows of texts, shared by the analysis window and
// the PDF report so that both show the same figures the same way.

#include "AnalysisData.h"

#include <string>
#include <vector>

// "구분", "개수", "평균", "최소", "최대", "범위", "표준편차", "합격", "불합격",
// "합격률", "Cp", "Cpk".
std::vector<std::string> StatsHeadings();
// The load-cell model name, "전체" for the total, "종류 %d" for an unknown type.
std::string StatsGroupName(int loadCellType);
// One row of texts under StatsHeadings; forces with two decimals and the
// unit's text, pass/fail counts "-" when no limit was given.
std::vector<std::string> StatsRowTexts(const GroupStats& stats, EForceUnit unit);
// "허용 범위: 하한 12.0 톤, 상한 -" or "허용 범위: 지정 안 됨".
std::string LimitsText(const ToleranceLimits& limits, EForceUnit unit);
