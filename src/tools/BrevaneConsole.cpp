// brevane-console: talks to the simulated meter through the real link, in
// real time, and prints what it gets. A quick way to see the link and the
// meter agree without starting the windows.
//
//   brevane-console [--records N] [--seed N] [--fault NAME[,NAME...]]

#include "AnsiText.h"
#include "CConsoleOwner.h"
#include "CFt260.h"
#include "CSimBridge.h"
#include "CSimMeter.h"
#include "CSystemClock.h"
#include "MeterCommands.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Usage(std::FILE* out)
{
    std::fprintf(out,
                 "usage: brevane-console [--records N] [--seed N] [--fault NAME[,NAME...]]\n"
                 "  --records N   stored records in the simulated meter (0-100000, default 150)\n"
                 "  --seed N      seed of the stored records (default 1)\n"
                 "  --fault LIST  faults to switch on: %s, write-fail, unplugged\n",
                 CSimFaults::KnownNames());
}

bool ParseNumber(const char* text, long maximum, long* value)
{
    if (!text || !*text)
        return false;
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (*end != '\0' || n < 0 || n > maximum)
        return false;
    *value = n;
    return true;
}

// Reads one identity field; an empty string when the meter did not answer.
bool ReadField(CFt260& link, uint8_t command, uint8_t* reply)
{
    const uint8_t zero = 0;
    return link.SendPacket(command, &zero, 1, reply) >= 0;
}

bool Download(CFt260& link, CConsoleOwner& owner, const char* title, int64_t from, int64_t to)
{
    std::printf("\n%s\n", title);
    owner.ResetCount();
    int count = 0;
    const int result = link.ReadMemoryRecords(from, to, &count);
    if (result < 0) {
        std::printf("download failed: %s (%d records before the failure)\n",
                    link.GetErrorText().c_str(), count);
        return false;
    }
    std::printf("%d record(s)\n", count);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    CSimMeter::Setup setup;
    std::string faults;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        long n = 0;
        if (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h")) {
            Usage(stdout);
            return 0;
        } else if (!std::strcmp(arg, "--records") && ParseNumber(value, 100000, &n)) {
            setup.nRecordCount = int(n);
            ++i;
        } else if (!std::strcmp(arg, "--seed") && ParseNumber(value, 0xFFFFFFFFL, &n)) {
            setup.nRecordSeed = uint32_t(n);
            ++i;
        } else if (!std::strcmp(arg, "--fault") && value) {
            faults += std::string(faults.empty() ? "" : ",") + value;
            ++i;
        } else {
            std::fprintf(stderr, "brevane-console: bad argument '%s'%s\n", arg,
                         value || std::strncmp(arg, "--", 2) ? "" : " (a value is missing)");
            Usage(stderr);
            return 2;
        }
    }

    CSystemClock clock;
    CSimMeter meter(clock, setup);
    CSimBridge bridge(meter, clock);
    if (!bridge.SetFaults(faults)) {
        std::fprintf(stderr, "brevane-console: unknown fault in '%s'\n", faults.c_str());
        Usage(stderr);
        return 2;
    }
    CConsoleOwner owner(stdout);
    CFt260 link(bridge, clock);
    link.m_pOwner = &owner;

    // Device search: discovery, open, then name, serial number and version.
    const std::string path = link.FindDevice();
    if (path.empty()) {
        std::printf("no meter found\n");
        return 1;
    }
    std::printf("meter at %s\n", path.c_str());
    if (!link.Open()) {
        std::printf("open failed: %s\n", link.GetErrorText().c_str());
        return 1;
    }
    uint8_t reply[REPLY_BUFFER_LEN];
    bool ok = true;
    if (ReadField(link, CMD_READ_NAME, reply)) {
        std::printf("name     %s\n", AnsiToUtf8(reply, NAME_FIELD_LEN).c_str());
    } else {
        std::printf("name     (no answer: %s)\n", link.GetErrorText().c_str());
        ok = false;
    }
    if (ReadField(link, CMD_READ_SERIAL, reply)) {
        const bool none = reply[0] == 0x00 || reply[0] == 0xFF;
        std::printf("serial   %s\n", none ? "-" : AnsiToUtf8(reply, SERIAL_FIELD_LEN).c_str());
    } else {
        std::printf("serial   (no answer: %s)\n", link.GetErrorText().c_str());
        ok = false;
    }
    if (ReadField(link, CMD_READ_VERSION, reply)) {
        std::printf("version  %s\n", AnsiToUtf8(reply, VERSION_FIELD_LEN).c_str());
    } else {
        std::printf("version  (no answer: %s)\n", link.GetErrorText().c_str());
        ok = false;
    }

    const int64_t now = clock.NowSeconds();
    ok = Download(link, owner, "MEMORY today", now, now) && ok;
    ok = Download(link, owner, "MEMORY last 30 days", now - 29 * 86400LL, now) && ok;
    return ok ? 0 : 1;
}
