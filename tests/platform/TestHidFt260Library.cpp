#include "CFakeHidTransport.h"
#include "CHidFt260Library.h"

#include <gtest/gtest.h>

namespace {

HidDeviceEntry Entry(const std::string& path, uint16_t vid, uint16_t pid, int interfaceNumber,
                     uint16_t usagePage = 0xFF00)
{
    HidDeviceEntry entry;
    entry.path = path;
    entry.vendorId = vid;
    entry.productId = pid;
    entry.interfaceNumber = interfaceNumber;
    entry.usagePage = usagePage;
    return entry;
}

std::vector<std::string> Paths(const std::vector<HidInterfaceInfo>& interfaces)
{
    std::vector<std::string> paths;
    for (const HidInterfaceInfo& info : interfaces)
        paths.push_back(info.path);
    return paths;
}

struct FakeSystem {
    FakeSystem()
    {
        pTransport = new CFakeHidTransport;
        library = std::make_unique<CHidFt260Library>(std::unique_ptr<IHidTransport>(pTransport), 0);
    }
    std::shared_ptr<CFakeFt260Chip> AddChip(const std::string& path, int interfaceNumber)
    {
        pTransport->m_Entries.push_back(Entry(path, 0x0403, 0x6030, interfaceNumber));
        auto chip = std::make_shared<CFakeFt260Chip>();
        pTransport->m_Chips[path] = chip;
        return chip;
    }

    CFakeHidTransport* pTransport;   // owned by the library
    std::unique_ptr<CHidFt260Library> library;
};

TEST(HidFt260Library, DiscoveryListsTheUartInterfaceOnceInEnumerationOrder)
{
    FakeSystem s;
    auto& e = s.pTransport->m_Entries;
    e.push_back(Entry("/dev/hidraw0", 0x046D, 0xC077, 0, 0x0001));
    e.push_back(Entry("/dev/hidraw0", 0x046D, 0xC077, 0, 0x000C));   // second collection
    e.push_back(Entry("/dev/hidraw3", 0x0403, 0x6030, 0));            // I2C of the first chip
    e.push_back(Entry("/dev/hidraw4", 0x0403, 0x6030, 1));
    e.push_back(Entry("/dev/hidraw4", 0x0403, 0x6030, 1, 0xFF01));
    e.push_back(Entry("/dev/hidraw1", 0x0403, 0x6001, 0));            // other FTDI product
    e.push_back(Entry("/dev/hidraw2", 0x0403, 0x6030, 1));            // second chip's UART
    e.push_back(Entry("/dev/hidraw5", 0x0403, 0x6030, 0));            // ... and its I2C

    const std::vector<HidInterfaceInfo> found = s.library->EnumerateHidInterfaces();
    EXPECT_EQ((std::vector<std::string>{"/dev/hidraw0", "/dev/hidraw4", "/dev/hidraw1",
                                        "/dev/hidraw2"}),
              Paths(found));
    ASSERT_EQ(4u, found.size());
    EXPECT_TRUE(found[0].attributesRead);
    EXPECT_EQ(0x046D, found[0].vendorId);
    EXPECT_EQ(0xC077, found[0].productId);
    EXPECT_EQ(0x0403, found[1].vendorId);
    EXPECT_EQ(0x6030, found[1].productId);
    EXPECT_EQ(0x6001, found[2].productId);
}

TEST(HidFt260Library, ChipWithASingleInterfaceIsListedAndOpenedWhenItIsAUart)
{
    FakeSystem s;
    auto chip = s.AddChip("/dev/hidraw7", 0);
    chip->m_nChipMode = 2;   // UART only, on interface 0
    EXPECT_EQ(std::vector<std::string>{"/dev/hidraw7"}, Paths(s.library->EnumerateHidInterfaces()));

    std::unique_ptr<IBridgeDevice> device;
    ASSERT_EQ(BRIDGE_OK, s.library->OpenByDevicePath("/dev/hidraw7", &device));
    ASSERT_NE(nullptr, device);

    // The same interface on an I2C-only chip is no UART.
    auto i2cOnly = s.AddChip("/dev/hidraw8", 0);
    i2cOnly->m_nChipMode = 1;
    std::unique_ptr<IBridgeDevice> second;
    EXPECT_EQ(BRIDGE_DEVICE_NOT_OPENED, s.library->OpenByDevicePath("/dev/hidraw8", &second));
    EXPECT_EQ(nullptr, second);
    EXPECT_TRUE(i2cOnly->Closed());
}

TEST(HidFt260Library, OpenGivesAWorkingBridgeOnTheUartInterface)
{
    FakeSystem s;
    auto i2c = s.AddChip("/dev/hidraw3", 0);
    auto uart = s.AddChip("/dev/hidraw4", 1);

    std::unique_ptr<IBridgeDevice> device;
    ASSERT_EQ(BRIDGE_OK, s.library->OpenByDevicePath("/dev/hidraw4", &device));
    ASSERT_NE(nullptr, device);
    const uint8_t frame[] = {0x02, 0x02, 0x31, 0x00, 0x31, 0x03};
    uint32_t written = 0;
    ASSERT_EQ(BRIDGE_OK, device->UartWrite(frame, 6, 6, &written));
    EXPECT_EQ((Bytes{0xF1, 0x06, 0x02, 0x02, 0x31, 0x00, 0x31, 0x03}), uart->OutputReports().at(0));
    EXPECT_EQ(BRIDGE_OK, device->Close());
    EXPECT_TRUE(uart->Closed());

    // Interface 0 of a default-mode chip is its I2C controller.
    std::unique_ptr<IBridgeDevice> wrong;
    EXPECT_EQ(BRIDGE_DEVICE_NOT_OPENED, s.library->OpenByDevicePath("/dev/hidraw3", &wrong));
    EXPECT_EQ(nullptr, wrong);
    EXPECT_TRUE(i2c->OutputReports().empty());
    EXPECT_TRUE(i2c->FeatureSets().empty());
}

TEST(HidFt260Library, OpenFailuresKeepTheirCause)
{
    FakeSystem s;
    s.AddChip("/dev/hidraw4", 1);
    s.pTransport->m_Entries.push_back(Entry("/dev/hidraw6", 0x0403, 0x6030, 1));
    s.pTransport->m_OpenFailures["/dev/hidraw6"] = BRIDGE_ACCESS_DENIED;
    s.pTransport->m_Entries.push_back(Entry("/dev/hidraw9", 0x0403, 0x6030, 1));
    s.pTransport->m_OpenFailures["/dev/hidraw9"] = BRIDGE_DEVICE_NOT_OPENED;
    s.pTransport->m_Entries.push_back(Entry("/dev/hidraw0", 0x046D, 0xC077, 0));
    s.pTransport->m_Chips["/dev/hidraw0"] = std::make_shared<CFakeFt260Chip>();

    std::unique_ptr<IBridgeDevice> device;
    EXPECT_EQ(BRIDGE_ACCESS_DENIED, s.library->OpenByDevicePath("/dev/hidraw6", &device));
    EXPECT_EQ(nullptr, device);
    EXPECT_EQ(BRIDGE_DEVICE_NOT_OPENED, s.library->OpenByDevicePath("/dev/hidraw9", &device));
    // A path that is gone, or that now belongs to another device, is not opened.
    EXPECT_EQ(BRIDGE_DEVICE_NOT_FOUND, s.library->OpenByDevicePath("/dev/hidraw2", &device));
    EXPECT_EQ(BRIDGE_DEVICE_NOT_FOUND, s.library->OpenByDevicePath("/dev/hidraw0", &device));
    EXPECT_TRUE(s.pTransport->m_Chips["/dev/hidraw0"]->FeatureSets().empty());
    EXPECT_EQ(0, s.pTransport->m_Chips["/dev/hidraw0"]->FeatureGets(0xA1));

    // A chip that does not answer its status is not a bridge to use.
    s.pTransport->m_Chips["/dev/hidraw4"]->m_bFailFeatureGet = true;
    EXPECT_EQ(BRIDGE_DEVICE_NOT_OPENED, s.library->OpenByDevicePath("/dev/hidraw4", &device));
    EXPECT_EQ(nullptr, device);
}

}   // namespace
