#pragma once
// The values the statistics hand out, the tolerance limits they are measured
// against, and the texts a window or a report shows for them. A statistic
// that does not exist for the data (no rows, one row, no spread) carries the
// reason instead of a NaN, so nothing downstream ever prints "nan".

#include <optional>
#include <string>

// Why a statistic has no value.
enum class EStatMissing {
    None,           // the value exists
    NoRows,         // nothing to compute from
    OneRow,         // a deviation needs at least two rows
    ZeroDeviation,  // every row has the same value: Cp and Cpk divide by zero
    NoLimits,       // no tolerance limit was given
    NeedBothLimits, // Cp and Cpk need a lower and an upper limit
};

struct StatValue {
    double dValue = 0.0;
    EStatMissing eMissing = EStatMissing::NoRows;

    bool Exists() const { return eMissing == EStatMissing::None; }
    static StatValue Of(double value) { return {value, EStatMissing::None}; }
    static StatValue Missing(EStatMissing why) { return {0.0, why}; }
};

// Short Korean text for a missing statistic; "-" where nothing needs
// explaining (no limit given) and "" for EStatMissing::None.
const char* StatMissingText(EStatMissing why);

// "%.<decimals>f" of the value followed by the suffix, or the missing text.
std::string FormatStatValue(const StatValue& value, int decimals, const char* suffix = "");

// Tolerance limits, both inclusive; either may be absent.
struct ToleranceLimits {
    std::optional<double> lower;
    std::optional<double> upper;

    bool Any() const { return lower.has_value() || upper.has_value(); }
    bool Both() const { return lower.has_value() && upper.has_value(); }
    // Inside every limit that is given (true when none is).
    bool Contains(double value) const
    {
        return (!lower || value >= *lower) && (!upper || value <= *upper);
    }
};

// Empty when the limits can be used, otherwise the Korean reason: a limit
// that is NaN or infinite, or a lower limit above the upper one.
std::string CheckToleranceLimits(const ToleranceLimits& limits);

// Reads two limit texts as typed (blank means "no limit"; a decimal point,
// never a comma, whatever the locale). On success returns "" and fills
// limits; otherwise returns the Korean reason and leaves limits unchanged.
std::string ParseToleranceLimits(const std::string& lowerText, const std::string& upperText,
                                 ToleranceLimits& limits);

// The text of a limit as ParseToleranceLimits reads it back ("" when absent).
std::string FormatLimit(const std::optional<double>& limit);
