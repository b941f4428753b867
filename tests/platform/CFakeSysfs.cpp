#include "CFakeSysfs.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream(path) << text;
}

std::string Hex4(uint16_t value)
{
    char text[8];
    std::snprintf(text, sizeof(text), "%04x\n", value);
    return text;
}

}   // namespace

CFakeSysfs::CFakeSysfs()
{
    std::string pattern = (fs::temp_directory_path() / "brevane-sysfs-XXXXXX").string();
    if (::mkdtemp(pattern.data()))
        m_strRoot = pattern;
    fs::create_directories(SysRoot() + "/class/tty");
    fs::create_directories(SysRoot() + "/devices");
    fs::create_directories(DevRoot());
}

CFakeSysfs::~CFakeSysfs()
{
    std::error_code ec;
    if (!m_strRoot.empty())
        fs::remove_all(m_strRoot, ec);
}

std::string CFakeSysfs::AddUsbDevice(uint16_t vendorId, uint16_t productId)
{
    ++m_nUsbPorts;
    const std::string dir = SysRoot() + "/devices/pci0000:00/0000:00:14.0/usb1/1-"
        + std::to_string(m_nUsbPorts);
    fs::create_directories(dir);
    WriteFile(dir + "/idVendor", Hex4(vendorId));
    WriteFile(dir + "/idProduct", Hex4(productId));
    return dir;
}

void CFakeSysfs::AddClassEntry(const std::string& name, const std::string& ttyDir,
                               const std::string& deviceDir)
{
    fs::create_directories(ttyDir);
    WriteFile(ttyDir + "/dev", "188:0\n");
    if (!deviceDir.empty())
        fs::create_directory_symlink(deviceDir, ttyDir + "/device");
    fs::create_directory_symlink(ttyDir, SysRoot() + "/class/tty/" + name);
}

void CFakeSysfs::AddHidSerialTty(const std::string& name, uint16_t vendorId, uint16_t productId)
{
    const std::string usb = AddUsbDevice(vendorId, productId);
    const std::string iface = usb + "/1-" + std::to_string(m_nUsbPorts) + ":1.1";
    const std::string hid = iface + "/0003:" + Hex4(vendorId).substr(0, 4) + ":"
        + Hex4(productId).substr(0, 4) + ".000" + std::to_string(m_nUsbPorts);
    fs::create_directories(hid);
    WriteFile(iface + "/bInterfaceNumber", "01\n");
    AddClassEntry(name, hid + "/tty/" + name, hid);
}

void CFakeSysfs::AddUsbSerialTty(const std::string& name, uint16_t vendorId, uint16_t productId)
{
    const std::string usb = AddUsbDevice(vendorId, productId);
    const std::string port = usb + "/1-" + std::to_string(m_nUsbPorts) + ":1.0/" + name;
    fs::create_directories(port);
    AddClassEntry(name, port + "/tty/" + name, port);
}

void CFakeSysfs::AddPlatformTty(const std::string& name)
{
    const std::string device = SysRoot() + "/devices/platform/serial8250";
    fs::create_directories(device);
    AddClassEntry(name, device + "/tty/" + name, device);
}

void CFakeSysfs::AddVirtualTty(const std::string& name)
{
    AddClassEntry(name, SysRoot() + "/devices/virtual/tty/" + name, std::string());
}

void CFakeSysfs::AddDevNode(const std::string& name, const std::string& target)
{
    if (target.empty())
        WriteFile(DevPath(name), std::string());
    else
        fs::create_symlink(target, DevPath(name));
}

void CFakeSysfs::RemoveTtyClass()
{
    fs::remove_all(SysRoot() + "/class/tty");
}
