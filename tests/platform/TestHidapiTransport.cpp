#include "CHidapiTransport.h"
#include "IBridgeDevice.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A node this process exists but may not open for writing: a file without
// permissions for an ordinary user; for root, whose permission checks pass
// on files, a read-only sysfs attribute, which refuses writers with EACCES.
std::string FindDeniedNode(std::string* pTempFile)
{
    if (geteuid() != 0) {
        char name[] = "/tmp/brevane-denied-XXXXXX";
        int fd = mkstemp(name);
        if (fd < 0)
            return {};
        close(fd);
        chmod(name, 0);
        *pTempFile = name;
        return name;
    }
    for (const char* path : {"/sys/devices/system/cpu/online", "/sys/kernel/uevent_seqnum"}) {
        int fd = open(path, O_RDWR);
        if (fd >= 0) {
            close(fd);
            continue;
        }
        if (errno == EACCES || errno == EPERM)
            return path;
    }
    return {};
}

TEST(HidapiTransport, OpenFailuresAreToldApartByCause)
{
    CHidapiTransport transport;
    std::unique_ptr<IHidHandle> handle;
    EXPECT_EQ(BRIDGE_DEVICE_NOT_OPENED, transport.Open("/nonexistent/hidraw99", &handle));
    EXPECT_EQ(nullptr, handle);

    std::string tempFile;
    const std::string denied = FindDeniedNode(&tempFile);
    if (denied.empty())
        GTEST_SKIP() << "no node here refuses this user with EACCES";
    EXPECT_EQ(BRIDGE_ACCESS_DENIED, transport.Open(denied, &handle));
    EXPECT_EQ(nullptr, handle);
    EXPECT_EQ(BRIDGE_ACCESS_DENIED, CHidapiTransport::ClassifyOpenFailure(denied));
    if (!tempFile.empty())
        unlink(tempFile.c_str());
}

}   // namespace
