#include "CSimBridgeDevice.h"

#include "CSimBridge.h"

#include <string>

CSimBridgeDevice::CSimBridgeDevice(CSimBridge* bridge, std::shared_ptr<bool> bridgeAlive, int id)
    : m_pBridge(bridge), m_pAlive(std::move(bridgeAlive)), m_nId(id)
{
}

CSimBridgeDevice::~CSimBridgeDevice()
{
    if (CSimBridge* b = Bridge()) {
        if (size_t(m_nId) < b->m_handles.size() && b->m_handles[size_t(m_nId)].open)
            b->DevClose(m_nId);
    }
}

int CSimBridgeDevice::UartInit()
{
    CSimBridge* b = Bridge();
    return b ? b->DevConfig(m_nId, "UartInit") : BRIDGE_DEVICE_NOT_OPENED;
}

int CSimBridgeDevice::SelectGpioAFunction(int function)
{
    CSimBridge* b = Bridge();
    return b ? b->DevConfig(m_nId, "SelectGpioAFunction " + std::to_string(function))
             : BRIDGE_DEVICE_NOT_OPENED;
}

int CSimBridgeDevice::UartGetConfig(UartConfig* config)
{
    CSimBridge* b = Bridge();
    return b ? b->DevGetConfig(m_nId, config) : BRIDGE_DEVICE_NOT_OPENED;
}

int CSimBridgeDevice::UartSetBaudRate(uint32_t baudRate)
{
    CSimBridge* b = Bridge();
    return b ? b->DevSetBaudRate(m_nId, baudRate) : BRIDGE_DEVICE_NOT_OPENED;
}

int CSimBridgeDevice::UartSetFlowControl(int mode)
{
    CSimBridge* b = Bridge();
    return b ? b->DevSetFlowControl(m_nId, mode) : BRIDGE_DEVICE_NOT_OPENED;
}

int CSimBridgeDevice::UartSetDataCharacteristics(int dataBits, int stopBits, int parity)
{
    CSimBridge* b = Bridge();
    return b ? b->DevSetDataCharacteristics(m_nId, dataBits, stopBits, parity)
             : BRIDGE_DEVICE_NOT_OPENED;
}

int CSimBridgeDevice::UartGetQueueStatus(uint32_t* bytesWaiting)
{
    CSimBridge* b = Bridge();
    return b ? b->DevQueueStatus(m_nId, bytesWaiting) : BRIDGE_DEVICE_NOT_OPENED;
}

int CSimBridgeDevice::UartRead(uint8_t* buffer, uint32_t bufferSize, uint32_t bytesToRead,
                               uint32_t* bytesRead)
{
    CSimBridge* b = Bridge();
    if (!b) {
        if (bytesRead)
            *bytesRead = 0;
        return BRIDGE_DEVICE_NOT_OPENED;
    }
    return b->DevRead(m_nId, buffer, bufferSize, bytesToRead, bytesRead);
}

int CSimBridgeDevice::UartWrite(const uint8_t* buffer, uint32_t bufferSize, uint32_t bytesToWrite,
                                uint32_t* bytesWritten)
{
    CSimBridge* b = Bridge();
    if (!b) {
        if (bytesWritten)
            *bytesWritten = 0;
        return BRIDGE_DEVICE_NOT_OPENED;
    }
    return b->DevWrite(m_nId, buffer, bufferSize, bytesToWrite, bytesWritten);
}

int CSimBridgeDevice::UartReset()
{
    CSimBridge* b = Bridge();
    return b ? b->DevConfig(m_nId, "UartReset") : BRIDGE_DEVICE_NOT_OPENED;
}

int CSimBridgeDevice::Close()
{
    CSimBridge* b = Bridge();
    return b ? b->DevClose(m_nId) : BRIDGE_DEVICE_NOT_OPENED;
}
