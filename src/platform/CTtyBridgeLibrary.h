#pragma once
#include "CTtyBridgeDevice.h"
#include "IBridgeLibrary.h"

#include <memory>
#include <string>
#include <vector>

// Finds and opens FT260 bridges that the operating system presents as
// serial ports, in one of two modes:
//
// - Scan: every tty in <sysfs>/class/tty whose USB device is 0403:6030 (the
//   FT260 serial driver's ttyFT*, or the bridge behind a USB serial driver),
//   listed as <dev>/<name> in natural name order (ttyFT2 before ttyFT10), so
//   the first bridge stays the first from one scan to the next.
// - Fixed port: exactly one path given by the user (a serial adapter, a
//   pseudo-terminal with a simulated meter on the other side), listed as a
//   0403:6030 bridge while it is a character device the user may open, so
//   the program treats it as a plugged meter.
//
// Only bridges are listed; other ttys never reach the link.
class CTtyBridgeLibrary : public IBridgeLibrary {
public:
    static constexpr uint16_t kVendorId = 0x0403;
    static constexpr uint16_t kProductId = 0x6030;

    // Scans /sys and /dev.
    CTtyBridgeLibrary();
    // Scans the given roots; a test builds a fake sysfs tree there.
    CTtyBridgeLibrary(std::string sysRoot, std::string devRoot);

    static std::unique_ptr<CTtyBridgeLibrary> ForFixedPort(const std::string& path);

    std::vector<HidInterfaceInfo> EnumerateHidInterfaces() override;

    // Opens only a path this library lists now (BRIDGE_DEVICE_NOT_FOUND
    // otherwise): a stale ttyUSB name may since belong to another adapter,
    // which must not be sent the meter's frames.
    int OpenByDevicePath(const std::string& path,
                         std::unique_ptr<IBridgeDevice>* device) override;

    // How long a write may make no progress on the ports this library opens.
    void SetWriteStallMs(int milliseconds) { m_nWriteStallMs = milliseconds; }

    // Natural order of tty names: digit runs compare as numbers.
    static bool NaturalLess(const std::string& a, const std::string& b);

private:
    std::vector<HidInterfaceInfo> ScanSysfs() const;
    std::vector<HidInterfaceInfo> ListFixedPort() const;

    std::string m_strSysRoot;
    std::string m_strDevRoot;
    bool m_bFixedPort = false;
    std::string m_strFixedPath;
    int m_nWriteStallMs = CTtyBridgeDevice::kDefaultWriteStallMs;
};
