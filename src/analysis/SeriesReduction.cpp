#include "SeriesReduction.h"

#include <algorithm>
#include <cmath>

std::vector<size_t> ReduceToColumns(const double* x, const double* y, size_t n, double x0, double x1,
                                    int columns)
{
    std::vector<size_t> kept;
    if (n == 0 || !(x1 >= x0))
        return kept;
    if (columns < 1)
        columns = 1;
    const size_t begin = static_cast<size_t>(std::lower_bound(x, x + n, x0) - x);
    const size_t end = static_cast<size_t>(std::upper_bound(x, x + n, x1) - x);

    auto keepIfNumber = [&](size_t i) {
        if (!std::isnan(y[i]) && (kept.empty() || kept.back() < i))
            kept.push_back(i);
    };
    // The neighbours outside the range carry the line to the plot's edge.
    for (size_t i = begin; i-- > 0;) {
        if (!std::isnan(y[i])) {
            kept.push_back(i);
            break;
        }
    }
    const double width = x1 - x0;
    const double scale = width > 0.0 ? static_cast<double>(columns) / width : 0.0;
    // Monotone in x, so each column is one run of points.
    auto columnOf = [&](size_t j) { return std::min<long>(columns - 1, static_cast<long>((x[j] - x0) * scale)); };
    size_t i = begin;
    while (i < end) {
        const long column = columnOf(i);
        size_t runEnd = i;
        size_t low = n, high = n;
        for (; runEnd < end && columnOf(runEnd) == column; ++runEnd) {
            const double v = y[runEnd];
            if (std::isnan(v))
                continue;
            if (low == n)
                low = high = runEnd;
            if (v < y[low])
                low = runEnd;
            if (v > y[high])
                high = runEnd;
        }
        if (low != n) {
            keepIfNumber(std::min(low, high));
            keepIfNumber(std::max(low, high));
        }
        i = runEnd;
    }
    for (size_t j = end; j < n; ++j) {
        if (!std::isnan(y[j])) {
            keepIfNumber(j);
            break;
        }
    }
    return kept;
}
