#include "CFakeFt260Chip.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

class CFakeFt260Handle : public IHidHandle {
public:
    explicit CFakeFt260Handle(std::shared_ptr<CFakeFt260Chip> chip) : m_pChip(std::move(chip)) {}
    ~CFakeFt260Handle() override { Close(); }

    int WriteOutputReport(const uint8_t* data, size_t length) override
    {
        return m_pChip->Write(data, length);
    }
    int SendFeatureReport(const uint8_t* data, size_t length) override
    {
        return m_pChip->SetFeature(data, length);
    }
    int GetFeatureReport(uint8_t* data, size_t length) override
    {
        return m_pChip->GetFeature(data, length);
    }
    int ReadInputReport(uint8_t* data, size_t length, int timeoutMs) override
    {
        return m_pChip->Read(data, length, timeoutMs);
    }
    void Close() override { m_pChip->Close(); }

private:
    std::shared_ptr<CFakeFt260Chip> m_pChip;
};

uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}   // namespace

std::unique_ptr<IHidHandle> CFakeFt260Chip::OpenHandle()
{
    return std::make_unique<CFakeFt260Handle>(shared_from_this());
}

std::vector<Bytes> CFakeFt260Chip::OutputReports()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_Outputs;
}

std::vector<Bytes> CFakeFt260Chip::FeatureSets()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_FeatureSets;
}

int CFakeFt260Chip::FeatureGets(uint8_t reportId)
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_FeatureGets[reportId];
}

bool CFakeFt260Chip::Closed()
{
    std::lock_guard<std::mutex> lock(m_csState);
    return m_bClosed;
}

void CFakeFt260Chip::PushInput(const Bytes& report)
{
    {
        std::lock_guard<std::mutex> lock(m_csState);
        m_Inputs.push_back(report);
    }
    m_cvInput.notify_all();
}

void CFakeFt260Chip::Unplug()
{
    {
        std::lock_guard<std::mutex> lock(m_csState);
        m_bUnplugged = true;
    }
    m_cvInput.notify_all();
}

int CFakeFt260Chip::Write(const uint8_t* data, size_t length)
{
    std::lock_guard<std::mutex> lock(m_csState);
    if (m_bUnplugged || m_bClosed)
        return -1;
    const bool bFail = int(m_Outputs.size()) == m_nFailOutputAt;
    m_Outputs.emplace_back(data, data + length);
    return bFail ? -1 : int(length);
}

int CFakeFt260Chip::SetFeature(const uint8_t* data, size_t length)
{
    std::lock_guard<std::mutex> lock(m_csState);
    if (m_bUnplugged || m_bClosed)
        return -1;
    m_FeatureSets.emplace_back(data, data + length);
    if (length < 2 || data[0] != 0xA1)
        return -1;
    // A request shorter than its fields is stalled by the chip.
    auto need = [&](size_t n) { return length >= n; };
    switch (data[1]) {
    case 0x40:
        return int(length);
    case 0x41:
        if (!need(11))
            return -1;
        m_nFlowControl = data[2];
        m_nBaudRate = Le32(data + 3);
        m_nDataBits = data[7];
        m_nParity = data[8];
        m_nStopBits = data[9];
        return int(length);
    case 0x42:
        if (!need(6))
            return -1;
        m_nBaudRate = Le32(data + 2);
        return int(length);
    case 0x03:
    case 0x08:
    case 0x43:
    case 0x44:
    case 0x45:
        if (!need(3))
            return -1;
        if (data[1] == 0x03)
            m_nFlowControl = data[2];
        else if (data[1] == 0x43)
            m_nDataBits = data[2];
        else if (data[1] == 0x44)
            m_nParity = data[2];
        else if (data[1] == 0x45)
            m_nStopBits = data[2];
        return int(length);
    default:
        return -1;
    }
}

int CFakeFt260Chip::GetFeature(uint8_t* data, size_t length)
{
    std::lock_guard<std::mutex> lock(m_csState);
    if (m_bUnplugged || m_bClosed || length < 1)
        return -1;
    const uint8_t id = data[0];
    m_FeatureGets[id]++;
    if (m_bFailFeatureGet)
        return -1;

    uint8_t report[64] = {id};
    size_t n = 0;
    switch (id) {
    case 0xA0:   // chip code 0260, version 2.0
        report[1] = 0x02;
        report[2] = 0x60;
        report[3] = 0x02;
        n = 13;
        break;
    case 0xA1:
        report[1] = m_nChipMode;
        report[2] = 2;   // 48 MHz
        report[4] = 1;   // powered
        report[6] = m_nFlowControl;
        report[9] = 3;   // GPIO A: transmit active
        report[14] = m_nPowerSaving;
        n = 26;
        break;
    case 0xE0:
        report[1] = m_nFlowControl;
        report[2] = uint8_t(m_nBaudRate);
        report[3] = uint8_t(m_nBaudRate >> 8);
        report[4] = uint8_t(m_nBaudRate >> 16);
        report[5] = uint8_t(m_nBaudRate >> 24);
        report[6] = m_nDataBits;
        report[7] = m_nParity;
        report[8] = m_nStopBits;
        n = 10;
        break;
    default:
        return -1;
    }
    n = std::min(n, length);
    std::memcpy(data, report, n);
    return int(n);
}

int CFakeFt260Chip::Read(uint8_t* data, size_t length, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_csState);
    m_cvInput.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                       [&] { return !m_Inputs.empty() || m_bUnplugged; });
    if (!m_Inputs.empty()) {
        Bytes report = std::move(m_Inputs.front());
        m_Inputs.pop_front();
        const size_t n = std::min(report.size(), length);
        std::memcpy(data, report.data(), n);
        return int(n);
    }
    return m_bUnplugged ? -1 : 0;
}

void CFakeFt260Chip::Close()
{
    std::lock_guard<std::mutex> lock(m_csState);
    m_bClosed = true;
}
