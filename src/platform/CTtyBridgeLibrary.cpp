#include "CTtyBridgeLibrary.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A USB device sits a few levels above its tty (interface, HID device or
// serial port in between); the walk stops well before the bus roots.
constexpr int kMaxParentLevels = 8;

bool ReadHexId(const fs::path& file, uint16_t* value)
{
    std::ifstream in(file);
    std::string text;
    if (!in || !std::getline(in, text))
        return false;
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    if (text.empty() || text.size() > 4)
        return false;
    unsigned result = 0;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        result = result * 16
            + unsigned(std::isdigit(static_cast<unsigned char>(c))
                           ? c - '0'
                           : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
    }
    *value = uint16_t(result);
    return true;
}

// The vendor and product of the USB device a tty belongs to: the nearest
// parent of its device directory that carries idVendor and idProduct.
bool UsbIdsOf(const fs::path& ttyClassDir, const fs::path& sysRoot, uint16_t* vendorId,
              uint16_t* productId)
{
    std::error_code ec;
    fs::path dir = fs::canonical(ttyClassDir / "device", ec);
    if (ec)
        return false;   // virtual consoles and the like have no device
    for (int level = 0; level < kMaxParentLevels; ++level) {
        if (dir.empty() || dir == sysRoot || dir == dir.root_path())
            return false;
        if (fs::exists(dir / "idVendor", ec) && fs::exists(dir / "idProduct", ec))
            return ReadHexId(dir / "idVendor", vendorId) && ReadHexId(dir / "idProduct", productId);
        dir = dir.parent_path();
    }
    return false;
}

bool IsFt260SerialName(const std::string& name)
{
    return name.compare(0, 5, "ttyFT") == 0 && name.size() > 5;
}

HidInterfaceInfo BridgeEntry(const std::string& path, uint16_t vendorId, uint16_t productId)
{
    HidInterfaceInfo info;
    info.path = path;
    info.attributesRead = true;
    info.vendorId = vendorId;
    info.productId = productId;
    return info;
}

}   // namespace

CTtyBridgeLibrary::CTtyBridgeLibrary()
    : CTtyBridgeLibrary("/sys", "/dev")
{
}

CTtyBridgeLibrary::CTtyBridgeLibrary(std::string sysRoot, std::string devRoot)
    : m_strSysRoot(std::move(sysRoot)), m_strDevRoot(std::move(devRoot))
{
}

std::unique_ptr<CTtyBridgeLibrary> CTtyBridgeLibrary::ForFixedPort(const std::string& path)
{
    std::unique_ptr<CTtyBridgeLibrary> library(new CTtyBridgeLibrary(std::string(), std::string()));
    library->m_bFixedPort = true;   // an empty path lists nothing rather than scanning
    library->m_strFixedPath = path;
    return library;
}

bool CTtyBridgeLibrary::NaturalLess(const std::string& a, const std::string& b)
{
    auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            size_t iEnd = i;
            size_t jEnd = j;
            while (iEnd < a.size() && digit(a[iEnd]))
                ++iEnd;
            while (jEnd < b.size() && digit(b[jEnd]))
                ++jEnd;
            // Leading zeros do not change the number; a longer run is larger.
            size_t iNum = i;
            size_t jNum = j;
            while (iNum + 1 < iEnd && a[iNum] == '0')
                ++iNum;
            while (jNum + 1 < jEnd && b[jNum] == '0')
                ++jNum;
            if (iEnd - iNum != jEnd - jNum)
                return iEnd - iNum < jEnd - jNum;
            const int order = a.compare(iNum, iEnd - iNum, b, jNum, jEnd - jNum);
            if (order != 0)
                return order < 0;
            i = iEnd;
            j = jEnd;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i == a.size();   // the one that ran out first
    return a < b;   // equal numbers spelt differently ("tty01", "tty1")
}

std::vector<HidInterfaceInfo> CTtyBridgeLibrary::EnumerateHidInterfaces()
{
    return m_bFixedPort ? ListFixedPort() : ScanSysfs();
}

std::vector<HidInterfaceInfo> CTtyBridgeLibrary::ScanSysfs() const
{
    struct Found {
        std::string name;
        uint16_t vendorId;
        uint16_t productId;
    };
    std::vector<Found> found;
    std::error_code ec;
    const fs::path devRoot(m_strDevRoot);
    const fs::path sysRoot = fs::canonical(m_strSysRoot, ec);
    const fs::path classDir = fs::path(m_strSysRoot) / "class" / "tty";
    fs::directory_iterator it(classDir, ec);
    if (ec) {
        // No tty class to ask (sysfs not mounted, as in some containers): the
        // ttyFT names are the FT260 serial driver's alone, so its nodes are
        // taken for bridges.
        for (fs::directory_iterator dev(devRoot, ec); !ec && dev != fs::directory_iterator();
             dev.increment(ec)) {
            const std::string name = dev->path().filename().string();
            if (IsFt260SerialName(name))
                found.push_back({name, kVendorId, kProductId});
        }
    } else {
        for (; it != fs::directory_iterator(); it.increment(ec)) {
            if (ec)
                break;
            const std::string name = it->path().filename().string();
            uint16_t vendorId = 0;
            uint16_t productId = 0;
            if (!UsbIdsOf(it->path(), sysRoot, &vendorId, &productId))
                continue;
            if (vendorId != kVendorId || productId != kProductId)
                continue;
            found.push_back({name, vendorId, productId});
        }
    }

    std::sort(found.begin(), found.end(),
              [](const Found& a, const Found& b) { return NaturalLess(a.name, b.name); });

    std::vector<HidInterfaceInfo> interfaces;
    for (const Found& entry : found) {
        // The kernel writes '/' in a device name as '!'.
        std::string relative = entry.name;
        std::replace(relative.begin(), relative.end(), '!', '/');
        const fs::path node = devRoot / relative;
        // A port whose node udev has not made yet is left for the next scan.
        if (!fs::exists(node, ec))
            continue;
        interfaces.push_back(BridgeEntry(node.string(), entry.vendorId, entry.productId));
    }
    return interfaces;
}

std::vector<HidInterfaceInfo> CTtyBridgeLibrary::ListFixedPort() const
{
    // Checked without opening: opening and closing a serial port once a
    // second would toggle its modem lines while the link is not using it.
    struct stat info {};
    if (m_strFixedPath.find('\0') != std::string::npos
        || ::stat(m_strFixedPath.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)
        || ::access(m_strFixedPath.c_str(), R_OK | W_OK) != 0)
        return {};
    return {BridgeEntry(m_strFixedPath, kVendorId, kProductId)};
}

int CTtyBridgeLibrary::OpenByDevicePath(const std::string& path,
                                        std::unique_ptr<IBridgeDevice>* device)
{
    if (!device)
        return BRIDGE_INVALID_PARAMETER;
    device->reset();

    const std::vector<HidInterfaceInfo> listed = EnumerateHidInterfaces();
    const bool bListed =
        std::any_of(listed.begin(), listed.end(), [&](const HidInterfaceInfo& info) {
            return info.path == path && info.vendorId == kVendorId && info.productId == kProductId;
        });
    if (!bListed)
        return BRIDGE_DEVICE_NOT_FOUND;

    std::unique_ptr<CTtyBridgeDevice> port;
    const int rc = CTtyBridgeDevice::Open(path, &port, m_nWriteStallMs);
    if (rc != BRIDGE_OK)
        return rc;
    *device = std::move(port);
    return BRIDGE_OK;
}
