#include "CFakeBridgeDevice.h"

#include <algorithm>

void FakeBridgeState::Schedule(int delayMs, const Bytes& bytes)
{
    m_pending.push_back({m_clock.MonotonicUs() + int64_t(delayMs) * 1000, bytes});
    std::stable_sort(m_pending.begin(), m_pending.end(),
                     [](const Arrival& a, const Arrival& b) { return a.nAtUs < b.nAtUs; });
}

void FakeBridgeState::Promote()
{
    const int64_t now = m_clock.MonotonicUs();
    while (!m_pending.empty() && m_pending.front().nAtUs <= now) {
        const Bytes& bytes = m_pending.front().bytes;
        m_readable.insert(m_readable.end(), bytes.begin(), bytes.end());
        m_pending.pop_front();
    }
}

int CFakeBridgeDevice::UartInit()
{
    ++m_state->m_nInitCalls;
    return m_state->m_nInitStatus;
}

int CFakeBridgeDevice::SelectGpioAFunction(int function)
{
    m_state->m_nGpioFunction = function;
    return BRIDGE_OTHER_ERROR;   // the link must not depend on it
}

int CFakeBridgeDevice::UartGetConfig(UartConfig* config)
{
    if (m_state->m_nGetConfigStatus != 0)
        return m_state->m_nGetConfigStatus;
    *config = m_state->m_config;
    return BRIDGE_OK;
}

int CFakeBridgeDevice::UartSetBaudRate(uint32_t baudRate)
{
    ++m_state->m_nSetBaudCalls;
    if (m_state->m_nSetBaudStatus == 0)
        m_state->m_config.baudRate = baudRate;
    return m_state->m_nSetBaudStatus;
}

int CFakeBridgeDevice::UartSetFlowControl(int mode)
{
    ++m_state->m_nSetFlowCalls;
    if (m_state->m_nSetFlowStatus == 0)
        m_state->m_config.flowControl = static_cast<uint8_t>(mode);
    return m_state->m_nSetFlowStatus;
}

int CFakeBridgeDevice::UartSetDataCharacteristics(int dataBits, int stopBits, int parity)
{
    ++m_state->m_nSetDataCalls;
    if (m_state->m_nSetDataStatus == 0) {
        m_state->m_config.dataBits = static_cast<uint8_t>(dataBits);
        m_state->m_config.stopBits = static_cast<uint8_t>(stopBits);
        m_state->m_config.parity = static_cast<uint8_t>(parity);
    }
    return m_state->m_nSetDataStatus;
}

int CFakeBridgeDevice::UartGetQueueStatus(uint32_t* bytesWaiting)
{
    const int nCall = ++m_state->m_nQueryCalls;
    if (m_state->m_nFailQueriesFrom > 0 && nCall >= m_state->m_nFailQueriesFrom)
        return BRIDGE_IO_ERROR;
    m_state->Promote();
    *bytesWaiting = static_cast<uint32_t>(m_state->m_readable.size());
    return BRIDGE_OK;
}

int CFakeBridgeDevice::UartRead(uint8_t* buffer, uint32_t bufferSize, uint32_t bytesToRead,
                                uint32_t* bytesRead)
{
    const int nCall = ++m_state->m_nReadCalls;
    *bytesRead = 0;
    m_state->Promote();
    if (m_state->m_failReads.count(nCall)) {
        // A failed read loses what it was reading.
        for (uint32_t i = 0; i < bytesToRead && !m_state->m_readable.empty(); ++i)
            m_state->m_readable.pop_front();
        return BRIDGE_IO_ERROR;
    }
    const uint32_t n = std::min<uint32_t>(
        {bytesToRead, bufferSize, static_cast<uint32_t>(m_state->m_readable.size())});
    for (uint32_t i = 0; i < n; ++i) {
        buffer[i] = m_state->m_readable.front();
        m_state->m_readable.pop_front();
    }
    *bytesRead = n;
    return BRIDGE_OK;
}

int CFakeBridgeDevice::UartWrite(const uint8_t* buffer, uint32_t bufferSize,
                                 uint32_t bytesToWrite, uint32_t* bytesWritten)
{
    *bytesWritten = 0;
    if (m_state->m_nWriteStatus != 0)
        return m_state->m_nWriteStatus;
    uint32_t n = std::min(bytesToWrite, bufferSize);
    if (m_state->m_nWriteLimit >= 0)
        n = std::min<uint32_t>(n, static_cast<uint32_t>(m_state->m_nWriteLimit));
    Bytes frame(buffer, buffer + n);
    m_state->m_writes.push_back(frame);
    *bytesWritten = n;
    if (n == bytesToWrite && m_state->m_onWrite)
        m_state->m_onWrite(frame);
    return BRIDGE_OK;
}

int CFakeBridgeDevice::UartReset()
{
    ++m_state->m_nResetCalls;
    return BRIDGE_OK;
}

int CFakeBridgeDevice::Close()
{
    ++m_state->m_nCloseCalls;
    return BRIDGE_OK;
}
