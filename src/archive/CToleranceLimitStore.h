#pragma once
// Tolerance limits kept per meter in the archive (table tolerance_limits),
// so that the analysis window opens with the limits last used for the meter
// at hand. Limits are kept per unit: stored records are judged in tons, the
// continuous series in kN. Either limit may be absent.
//
// Works on the caller's open archive, on the caller's thread.

#include "IDownloadSink.h"

#include <cstdint>
#include <optional>
#include <string>

class CSqliteArchive;

struct StoredToleranceLimits {
    std::optional<double> lower;
    std::optional<double> upper;
    int64_t tChanged = 0;   // PC time of the last change, seconds since 1970
};

class CToleranceLimitStore {
public:
    explicit CToleranceLimitStore(CSqliteArchive& archive);

    // The limits kept for the meter and unit ("톤" or "KN"); false when none
    // are kept (or the archive cannot be read).
    bool Load(const DownloadMeter& meter, const std::string& unit, StoredToleranceLimits* out);
    // Keeps the limits (both absent removes them); false with the user's
    // text in *error when the archive cannot be written.
    bool Save(const DownloadMeter& meter, const std::string& unit, const std::optional<double>& lower,
              const std::optional<double>& upper, int64_t now, std::string* error);

private:
    CSqliteArchive& m_archive;
};
