// Timed driver: downloads 5,000 stored records from the simulated meter
// served on a pseudo-terminal (CPtyMeterServer on its own thread, bytes
// paced at 115200 baud) through CFt260 over the serial-port bridge, and
// compares the wall time with the pure wire time of the bytes. The link
// polls in 50 ms steps and reads whole frames, and the tty adds only the
// kernel's hand-over, so the download should stay within 5 % of the wire.
//
// Prints
//   tty wall/wire ratio: X.XXX   (target <= 1.05)
// and exits with 1 when the download itself failed.

#include "CFt260.h"
#include "CPtyMeterServer.h"
#include "CSystemClock.h"
#include "CTtyBridgeLibrary.h"
#include "ILinkOwner.h"

#include <chrono>
#include <cstdio>
#include <string>

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

} // namespace

int main()
{
    CSimMeter::Setup setup;
    setup.nRecordCount = kRecords;
    setup.nRecordDays = 3000;
    setup.nRecordSeed = 2024;
    CPtyMeterServer server(setup);
    std::string error;
    if (!server.OpenPty(&error) || !server.Start()) {
        std::fprintf(stderr, "cannot serve the simulated meter: %s\n", error.c_str());
        return 1;
    }

    CSystemClock clock;
    auto library = CTtyBridgeLibrary::ForFixedPort(server.GetPath());
    CountingOwner owner;
    CFt260 link(*library, clock);
    link.m_pOwner = &owner;
    if (link.FindDevice().empty() || !link.Open()) {
        std::fprintf(stderr, "cannot open %s: %s\n", server.GetPath().c_str(),
                     link.GetErrorText().c_str());
        return 1;
    }

    const int64_t now = clock.NowSeconds();
    const int64_t from = now - int64_t(setup.nRecordDays + 2) * 86400;
    int count = 0;
    const auto wallStart = std::chrono::steady_clock::now();
    const int result = link.ReadMemoryRecords(from, now, &count);
    const auto wallEnd = std::chrono::steady_clock::now();

    const int frames = count + 1;   // the end marker is read too
    const double wallS = std::chrono::duration<double>(wallEnd - wallStart).count();
    const double wireS = double(CPtyMeterServer::WireTimeNs(uint64_t(kRequestBytes)
                                                            + uint64_t(frames) * kFrameBytes))
        / 1e9;

    std::printf("pseudo-terminal: %s\n", server.GetPath().c_str());
    std::printf("records: %d of %d (result %d)\n", count, kRecords, result);
    std::printf("wire time: %.3f s\n", wireS);
    std::printf("wall time: %.3f s\n", wallS);
    std::printf("tty wall/wire ratio: %.3f\n", wallS / wireS);
    return (result == 0 && count == kRecords) ? 0 : 1;
}
