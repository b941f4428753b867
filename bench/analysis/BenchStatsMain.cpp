// brevane_bench_stats
// Statistics of 1,000,000 forces over three load-cell types with both
// tolerance limits, best of five runs. Target: 20 ms or less.

#include "CMeasurementStats.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

int main()
{
    constexpr int kRows = 1000000;
    std::vector<double> values(kRows);
    std::vector<uint8_t> types(kRows);
    uint32_t seed = 12345;
    for (int i = 0; i < kRows; ++i) {
        seed = seed * 1664525u + 1013904223u;
        values[i] = 100.0 + static_cast<double>(seed >> 16) / 65536.0 * 50.0;
        types[i] = static_cast<uint8_t>((i / 1000) % 3);
    }
    ToleranceLimits limits;
    limits.lower = 105.0;
    limits.upper = 145.0;

    double best = 1e9;
    double checksum = 0.0;
    for (int run = 0; run < 5; ++run) {
        const auto start = std::chrono::steady_clock::now();
        CMeasurementStats stats(limits);
        for (int i = 0; i < kRows; ++i)
            stats.Add(values[i], types[i]);
        const std::vector<GroupStats> all = stats.All();
        const auto end = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(end - start).count());
        checksum += all.back().deviation.dValue + static_cast<double>(all.back().nInside);
    }
    std::printf("statistics of 1000000 rows: %.1f ms\n", best);
    return checksum > 0.0 ? 0 : 1;
}
