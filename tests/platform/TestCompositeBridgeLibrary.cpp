#include "CCompositeBridgeLibrary.h"
#include "CPseudoTerminal.h"
#include "CTtyBridgeDevice.h"

#include <gtest/gtest.h>

namespace {

// A library with a set list that opens a pseudo-terminal for any path it is
// told to accept, and counts what it is asked to open.
class CListedLibrary : public IBridgeLibrary {
public:
    CListedLibrary(std::vector<std::string> paths, std::string ttyPath)
        : m_Paths(std::move(paths)), m_strTtyPath(std::move(ttyPath))
    {
    }

    std::vector<HidInterfaceInfo> EnumerateHidInterfaces() override
    {
        std::vector<HidInterfaceInfo> list;
        for (const std::string& path : m_Paths) {
            HidInterfaceInfo info;
            info.path = path;
            info.attributesRead = true;
            info.vendorId = 0x0403;
            info.productId = 0x6030;
            list.push_back(info);
        }
        return list;
    }

    int OpenByDevicePath(const std::string& path, std::unique_ptr<IBridgeDevice>* device) override
    {
        m_Asked.push_back(path);
        if (m_nRefusal != BRIDGE_OK)
            return m_nRefusal;
        std::unique_ptr<CTtyBridgeDevice> tty;
        const int rc = CTtyBridgeDevice::Open(m_strTtyPath, &tty);
        *device = std::move(tty);
        return rc;
    }

    std::vector<std::string> m_Paths;
    std::string m_strTtyPath;
    int m_nRefusal = BRIDGE_OK;
    std::vector<std::string> m_Asked;
};

std::vector<std::string> Paths(const std::vector<HidInterfaceInfo>& interfaces)
{
    std::vector<std::string> paths;
    for (const HidInterfaceInfo& info : interfaces)
        paths.push_back(info.path);
    return paths;
}

struct TwoLibraries {
    TwoLibraries()
    {
        using List = std::vector<std::string>;
        auto a = std::make_unique<CListedLibrary>(List{"/dev/hidraw3", "shared"}, ptyA.SlavePath());
        auto b = std::make_unique<CListedLibrary>(List{"/dev/ttyFT0", "shared"}, ptyB.SlavePath());
        pA = a.get();
        pB = b.get();
        composite.Add(std::move(a));
        composite.Add(nullptr);   // ignored
        composite.Add(std::move(b));
    }

    // Which side a device opened through the composite belongs to.
    char SideOf(IBridgeDevice& device)
    {
        const uint8_t probe = 0x5A;
        uint32_t written = 0;
        if (device.UartWrite(&probe, 1, 1, &written) != BRIDGE_OK)
            return '?';
        if (!ptyA.Read(1, 200).empty())
            return 'A';
        if (!ptyB.Read(1, 200).empty())
            return 'B';
        return '?';
    }

    CPseudoTerminal ptyA;
    CPseudoTerminal ptyB;
    CListedLibrary* pA;
    CListedLibrary* pB;
    CCompositeBridgeLibrary composite;
};

}   // namespace

TEST(CompositeBridgeLibrary, DiscoveryKeepsTheOrderOfTheLibraries)
{
    TwoLibraries s;
    EXPECT_EQ(2u, s.composite.Count());
    EXPECT_EQ((std::vector<std::string>{"/dev/hidraw3", "shared", "/dev/ttyFT0", "shared"}),
              Paths(s.composite.EnumerateHidInterfaces()));
}

TEST(CompositeBridgeLibrary, APathIsOpenedByTheLibraryThatListedIt)
{
    TwoLibraries s;
    s.composite.EnumerateHidInterfaces();

    std::unique_ptr<IBridgeDevice> device;
    ASSERT_EQ(BRIDGE_OK, s.composite.OpenByDevicePath("/dev/ttyFT0", &device));
    ASSERT_NE(nullptr, device);
    EXPECT_EQ('B', s.SideOf(*device));
    EXPECT_TRUE(s.pA->m_Asked.empty());

    // Listed by both: the first lister opens it, as the first one wins in the link.
    ASSERT_EQ(BRIDGE_OK, s.composite.OpenByDevicePath("shared", &device));
    EXPECT_EQ('A', s.SideOf(*device));
    EXPECT_EQ(1u, s.pB->m_Asked.size());

    // The lister's refusal is the answer; the other library is not tried.
    s.pB->m_nRefusal = BRIDGE_ACCESS_DENIED;
    EXPECT_EQ(BRIDGE_ACCESS_DENIED, s.composite.OpenByDevicePath("/dev/ttyFT0", &device));
    EXPECT_EQ(nullptr, device);
    EXPECT_EQ(1u, s.pA->m_Asked.size());

    // A path that moved to another library goes there after the next discovery.
    s.pB->m_nRefusal = BRIDGE_OK;
    s.pA->m_Paths = {"/dev/ttyFT0"};
    s.pB->m_Paths = {};
    s.composite.EnumerateHidInterfaces();
    ASSERT_EQ(BRIDGE_OK, s.composite.OpenByDevicePath("/dev/ttyFT0", &device));
    EXPECT_EQ('A', s.SideOf(*device));
}

TEST(CompositeBridgeLibrary, AnUnlistedPathIsOfferedToEachLibraryInTurn)
{
    TwoLibraries s;
    std::unique_ptr<IBridgeDevice> device;

    s.pA->m_nRefusal = BRIDGE_DEVICE_NOT_FOUND;
    ASSERT_EQ(BRIDGE_OK, s.composite.OpenByDevicePath("/dev/ttyUSB5", &device));
    EXPECT_EQ('B', s.SideOf(*device));
    EXPECT_EQ(std::vector<std::string>{"/dev/ttyUSB5"}, s.pA->m_Asked);

    // No library opens it: a library that knew the path says more than "not found".
    s.pA->m_nRefusal = BRIDGE_ACCESS_DENIED;
    s.pB->m_nRefusal = BRIDGE_DEVICE_NOT_FOUND;
    EXPECT_EQ(BRIDGE_ACCESS_DENIED, s.composite.OpenByDevicePath("/dev/ttyUSB5", &device));
    EXPECT_EQ(nullptr, device);
    s.pA->m_nRefusal = BRIDGE_DEVICE_NOT_FOUND;
    EXPECT_EQ(BRIDGE_DEVICE_NOT_FOUND, s.composite.OpenByDevicePath("/dev/ttyUSB5", &device));

    CCompositeBridgeLibrary empty;
    EXPECT_TRUE(empty.EnumerateHidInterfaces().empty());
    EXPECT_EQ(BRIDGE_DEVICE_NOT_FOUND, empty.OpenByDevicePath("/dev/ttyFT0", &device));
    EXPECT_EQ(BRIDGE_INVALID_PARAMETER, empty.OpenByDevicePath("/dev/ttyFT0", nullptr));
}
