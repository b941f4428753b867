#pragma once
// A stand-in FT260 behind the HID handle seam: it answers the feature GETs
// the way the chip does, keeps the UART settings the host sets, records
// every report the host sends and lets a test push input reports.

#include "IHidHandle.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

using Bytes = std::vector<uint8_t>;

class CFakeFt260Chip : public std::enable_shared_from_this<CFakeFt260Chip> {
public:
    // A handle on this chip, as the transport hands it out.
    std::unique_ptr<IHidHandle> OpenHandle();

    // What the host sent, in order.
    std::vector<Bytes> OutputReports();
    std::vector<Bytes> FeatureSets();
    int FeatureGets(uint8_t reportId);
    bool Closed();

    void PushInput(const Bytes& report);
    void Unplug();

    // Settings and faults, before the chip is opened.
    uint8_t m_nChipMode = 0;
    uint8_t m_nPowerSaving = 1;
    uint8_t m_nFlowControl = 3;   // the chip powers up with XON/XOFF
    uint32_t m_nBaudRate = 9600;
    uint8_t m_nDataBits = 8;
    uint8_t m_nParity = 0;
    uint8_t m_nStopBits = 0;
    int m_nFailOutputAt = -1;     // index of the output report that fails
    bool m_bFailFeatureGet = false;

    // The handle's side.
    int Write(const uint8_t* data, size_t length);
    int SetFeature(const uint8_t* data, size_t length);
    int GetFeature(uint8_t* data, size_t length);
    int Read(uint8_t* data, size_t length, int timeoutMs);
    void Close();

private:
    std::mutex m_csState;
    std::condition_variable m_cvInput;
    std::vector<Bytes> m_Outputs;
    std::vector<Bytes> m_FeatureSets;
    std::map<uint8_t, int> m_FeatureGets;
    std::deque<Bytes> m_Inputs;
    bool m_bUnplugged = false;
    bool m_bClosed = false;
};
