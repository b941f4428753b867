// Timed driver: downloads 5,000 stored records from the simulated meter in
// real time at 115200 baud through CFt260 and compares the wall time of the
// download with the pure wire time of its bytes. The link polls in 50 ms
// steps and reads whole frames, so it should stay within 5 % of the wire.
//
// Prints
//   wall/wire ratio: X.XXX      (target <= 1.05)
//   link CPU per frame: X.X us  (the thread's CPU time, simulated bridge included)
// and exits with 1 when the download itself failed.

#include "CFt260.h"
#include "CSimBridge.h"
#include "CSimMeter.h"
#include "CSystemClock.h"
#include "ILinkOwner.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

constexpr int kRecords = 5000;
constexpr int kRequestBytes = 12;   // the 0x35 request frame
constexpr int kFrameBytes = 15;     // every record frame and the end marker

class CountingOwner : public ILinkOwner {
public:
    IPacketLog* GetPacketLog() override { return nullptr; }
    void AddMemoryRecord(int, const uint8_t*) override { ++m_nRecords; }
    void SetOutputSummary(const uint8_t*) override {}
    void AddOutputRecord(int, const uint8_t*) override {}
    int m_nRecords = 0;
};

double ThreadCpuUs()
{
    std::timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

} // namespace

int main()
{
    CSystemClock clock;
    CSimMeter::Setup setup;
    setup.nRecordCount = kRecords;
    setup.nRecordDays = 3000;
    setup.nRecordSeed = 2024;
    CSimMeter meter(clock, setup);
    CSimBridge bridge(meter, clock);
    CountingOwner owner;
    CFt260 link(bridge, clock);
    link.m_pOwner = &owner;

    if (link.FindDevice().empty() || !link.Open()) {
        std::fprintf(stderr, "cannot open the simulated meter: %s\n", link.GetErrorText().c_str());
        return 1;
    }

    const int64_t now = clock.NowSeconds();
    const int64_t from = now - int64_t(setup.nRecordDays + 2) * 86400;
    int count = 0;
    const double cpuStart = ThreadCpuUs();
    const auto wallStart = std::chrono::steady_clock::now();
    const int result = link.ReadMemoryRecords(from, now, &count);
    const auto wallEnd = std::chrono::steady_clock::now();
    const double cpuUs = ThreadCpuUs() - cpuStart;

    const int frames = count + 1;   // the end marker is read too
    const double wallS = std::chrono::duration<double>(wallEnd - wallStart).count();
    const double wireS =
        double(CSimBridge::WireTimeNs(uint64_t(kRequestBytes) + uint64_t(frames) * kFrameBytes)) / 1e9;

    std::printf("records: %d of %d (result %d)\n", count, kRecords, result);
    std::printf("wire time: %.3f s\n", wireS);
    std::printf("wall time: %.3f s\n", wallS);
    std::printf("wall/wire ratio: %.3f\n", wallS / wireS);
    std::printf("link CPU per frame: %.1f us\n", cpuUs / frames);
    return (result == 0 && count == kRecords) ? 0 : 1;
}
