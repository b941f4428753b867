#pragma once
// A throw-away sysfs and /dev tree in a temporary folder, laid out as the
// kernel lays out its tty class: class/tty/<name> leads to the tty's
// directory under devices/, whose "device" link leads to the device that
// owns the port, below which sits the USB device with idVendor/idProduct.

#include <cstdint>
#include <string>

class CFakeSysfs {
public:
    CFakeSysfs();
    ~CFakeSysfs();
    CFakeSysfs(const CFakeSysfs&) = delete;
    CFakeSysfs& operator=(const CFakeSysfs&) = delete;

    std::string SysRoot() const { return m_strRoot + "/sys"; }
    std::string DevRoot() const { return m_strRoot + "/dev"; }
    std::string DevPath(const std::string& name) const { return DevRoot() + "/" + name; }

    // The FT260 serial driver's port: tty below the HID device, below the
    // USB interface, below the USB device.
    void AddHidSerialTty(const std::string& name, uint16_t vendorId, uint16_t productId);
    // A USB serial driver's port: tty below its port device, below the USB
    // interface, below the USB device.
    void AddUsbSerialTty(const std::string& name, uint16_t vendorId, uint16_t productId);
    // An on-board UART: no USB device above it.
    void AddPlatformTty(const std::string& name);
    // A virtual console: no device link at all.
    void AddVirtualTty(const std::string& name);
    // The /dev node: an empty file, or a link to target (a pseudo-terminal).
    void AddDevNode(const std::string& name, const std::string& target = std::string());

    // Removes class/tty, as when sysfs is not mounted.
    void RemoveTtyClass();

private:
    void AddClassEntry(const std::string& name, const std::string& ttyDir,
                       const std::string& deviceDir);
    std::string AddUsbDevice(uint16_t vendorId, uint16_t productId);

    std::string m_strRoot;
    int m_nUsbPorts = 0;
};
