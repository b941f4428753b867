// Installs the crash filter and then fails the way argv[2] names.
//   brevane_crash_probe <dump folder/> segv|abort|fpe|overflow|thread-overflow|terminate|exit

#include "CCrashAltStack.h"
#include "CrashFilter.h"

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <sys/resource.h>
#include <thread>

namespace {

// Deep enough to overflow any stack; the limit only keeps the compiler from
// proving the recursion endless.
int Recurse(volatile int depth)
{
    volatile char frame[1024];
    frame[0] = char(depth);
    if (depth > 1000000000)
        return frame[0];
    return Recurse(depth + 1) + frame[0];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const struct rlimit noCore {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    if (!InstallCrashFilter(argv[1]))
        return 3;

    const char* mode = argv[2];
    if (!std::strcmp(mode, "segv")) {
        // An address no mapping covers; laundered through a volatile so
        // the compiler neither warns about nor removes the store.
        volatile uintptr_t address = 16;
        *reinterpret_cast<volatile int*>(address) = 1;
    } else if (!std::strcmp(mode, "abort")) {
        std::abort();
    } else if (!std::strcmp(mode, "fpe")) {
        std::raise(SIGFPE);
    } else if (!std::strcmp(mode, "overflow")) {
        return Recurse(0);
    } else if (!std::strcmp(mode, "thread-overflow")) {
        // A thread the program starts, as the HID reader is started.
        std::thread([] {
            const CCrashAltStack altStack;
            Recurse(0);
        }).join();
    } else if (!std::strcmp(mode, "terminate")) {
        try {
            throw std::runtime_error("probe failure");
        } catch (...) {
            std::terminate();
        }
    }
    return 0;
}
