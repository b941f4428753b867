// The FT260 driver's input reports, through the fake HID transport: a chip
// in any mode pushes arbitrary reports, the driver's reader thread takes
// them in, and the UART side must hand out exactly the data bytes of the
// well-formed UART reports, in order. Transmit data goes out in reports the
// chip can take.
//
// Input: a chip byte (bits 0-1 mode, bit 2 power saving, bits 3-4 the
// interface number), transmit bytes, the reports, then the sizes of the
// reads that collect the data.

#include "CFakeHidTransport.h"
#include "CFuzzInput.h"
#include "CHidFt260Library.h"

#include <chrono>
#include <memory>
#include <thread>

namespace {

const char* const kPath = "/dev/hidraw-fuzz";
constexpr size_t kReportBytes = 64;   // what one HID read of the driver holds

// The data bytes of one input report as the chip defines them: ids
// 0xF0..0xFE, a count, then that many bytes; anything else carries none.
void AppendUartData(const Bytes& report, Bytes& data)
{
    const size_t length = std::min(report.size(), kReportBytes);
    if (length < 2 || report[0] < 0xF0 || report[0] > 0xFE || report[1] > length - 2)
        return;
    data.insert(data.end(), report.begin() + 2, report.begin() + 2 + report[1]);
}

void CheckTransmit(CFakeFt260Chip& chip, IBridgeDevice& device, const Bytes& data)
{
    const size_t nBefore = chip.OutputReports().size();
    std::unique_ptr<uint8_t[]> exact(new uint8_t[data.size() + 1]);
    std::copy(data.begin(), data.end(), exact.get());
    uint32_t written = 0;
    FUZZ_CHECK(device.UartWrite(exact.get(), uint32_t(data.size()), uint32_t(data.size()), &written)
               == BRIDGE_OK);
    FUZZ_CHECK(written == data.size());
    Bytes sent;
    const std::vector<Bytes> reports = chip.OutputReports();
    for (size_t i = nBefore; i < reports.size(); ++i) {
        const Bytes& report = reports[i];
        // @0 id 0xF0 + (n - 1) / 4, @1 n (1..60), @2 n data bytes
        FUZZ_CHECK(report.size() >= 3 && report[1] >= 1 && report[1] <= 60);
        FUZZ_CHECK(report.size() == size_t(report[1]) + 2);
        FUZZ_CHECK(report[0] == 0xF0 + (report[1] - 1) / 4);
        sent.insert(sent.end(), report.begin() + 2, report.end());
    }
    FUZZ_CHECK(sent == data);
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CFuzzInput in(data, size);
    const uint8_t chipByte = in.Byte();
    auto chip = std::make_shared<CFakeFt260Chip>();
    chip->m_nChipMode = chipByte & 3;
    chip->m_nPowerSaving = (chipByte >> 2) & 1;
    const int interfaceNumber = int((chipByte >> 3) & 3) - 1;   // -1 unknown, 0, 1, 2

    auto transport = std::make_unique<CFakeHidTransport>();
    HidDeviceEntry entry;
    entry.path = kPath;
    entry.vendorId = CHidFt260Library::kVendorId;
    entry.productId = CHidFt260Library::kProductId;
    entry.interfaceNumber = interfaceNumber;
    transport->m_Entries.push_back(entry);
    transport->m_Chips[kPath] = chip;
    CHidFt260Library library(std::move(transport), 0);

    const Bytes transmit = in.Block(in.Byte() % 160);
    Bytes expected;
    const int nReports = in.Byte() % 48;
    for (int i = 0; i < nReports && !in.Empty(); ++i) {
        // A HID read never yields less than the report id.
        const Bytes report = in.Block(1 + in.Byte() % 80);
        if (report.empty())
            break;
        chip->PushInput(report);
        AppendUartData(report, expected);
    }

    std::unique_ptr<IBridgeDevice> device;
    const int status = library.OpenByDevicePath(kPath, &device);
    if (chip->m_nChipMode == 1) {
        // That mode has no UART at all.
        FUZZ_CHECK(status != BRIDGE_OK);
    }
    if (status != BRIDGE_OK) {
        FUZZ_CHECK(!device);
        return 0;
    }
    FUZZ_CHECK(device != nullptr);
    if (!transmit.empty())
        CheckTransmit(*chip, *device, transmit);

    // Once unplugged, the reader ends after the last pushed report and the
    // device reports the failure as soon as everything received is read.
    chip->Unplug();
    Bytes received;
    for (;;) {
        const uint32_t bufferSize = in.Empty() ? 64 : in.Byte();
        const uint32_t toRead = in.Empty() ? 64 : in.Byte();
        std::unique_ptr<uint8_t[]> buffer(new uint8_t[bufferSize + 1]);
        uint32_t got = 12345;
        const int rc = device->UartRead(buffer.get(), bufferSize, toRead, &got);
        if (rc == BRIDGE_IO_ERROR) {
            FUZZ_CHECK(got == 0);
            break;
        }
        if (toRead > bufferSize) {
            FUZZ_CHECK(rc == BRIDGE_INVALID_PARAMETER && got == 0);
            continue;
        }
        FUZZ_CHECK(rc == BRIDGE_OK && got <= toRead);
        received.insert(received.end(), buffer.get(), buffer.get() + got);
        uint32_t waiting = 0;
        const int query = device->UartGetQueueStatus(&waiting);
        FUZZ_CHECK(query == BRIDGE_OK || (query == BRIDGE_IO_ERROR && waiting == 0));
        if (got == 0)   // the reader is still at work: let it run
            std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
    FUZZ_CHECK(received == expected);
    FUZZ_CHECK(device->Close() == BRIDGE_OK);
    FUZZ_CHECK(chip->Closed());
    return 0;
}
