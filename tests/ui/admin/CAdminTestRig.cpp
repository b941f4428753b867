#include "CAdminTestRig.h"

#include "CSpreadSheet.h"
#include "CUiPrompts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

namespace {

class CFilterDevice : public IBridgeDevice {
public:
    CFilterDevice(CFilterBridge& owner, std::unique_ptr<IBridgeDevice> inner)
        : m_owner(owner), m_pInner(std::move(inner))
    {
    }

    int UartInit() override { return m_pInner->UartInit(); }
    int SelectGpioAFunction(int f) override { return m_pInner->SelectGpioAFunction(f); }
    int UartGetConfig(UartConfig* c) override { return m_pInner->UartGetConfig(c); }
    int UartSetBaudRate(uint32_t b) override { return m_pInner->UartSetBaudRate(b); }
    int UartSetFlowControl(int m) override { return m_pInner->UartSetFlowControl(m); }
    int UartSetDataCharacteristics(int d, int s, int p) override
    {
        return m_pInner->UartSetDataCharacteristics(d, s, p);
    }
    int UartGetQueueStatus(uint32_t* n) override { return m_pInner->UartGetQueueStatus(n); }
    int UartRead(uint8_t* b, uint32_t size, uint32_t count, uint32_t* read) override
    {
        return m_pInner->UartRead(b, size, count, read);
    }
    int UartReset() override { return m_pInner->UartReset(); }
    int Close() override { return m_pInner->Close(); }

    int UartWrite(const uint8_t* buffer, uint32_t size, uint32_t count, uint32_t* written) override
    {
        // @0 STX  @1 length  @2 command of a short request
        if (count >= 3 && buffer[0] == 0x02) {
            const uint8_t command = buffer[2];
            const auto replaced = m_owner.m_replaced.find(command);
            if (m_owner.m_dropped.count(command) || replaced != m_owner.m_replaced.end()) {
                if (replaced != m_owner.m_replaced.end()) {
                    const std::vector<uint8_t> frame = CSimMeter::MakeFrame(
                        command, replaced->second.data(), replaced->second.size());
                    m_owner.m_inner.InjectIncoming(frame.data(), frame.size());
                }
                *written = count;
                return BRIDGE_OK;
            }
        }
        return m_pInner->UartWrite(buffer, size, count, written);
    }

private:
    CFilterBridge& m_owner;
    std::unique_ptr<IBridgeDevice> m_pInner;
};

}   // namespace

std::vector<HidInterfaceInfo> CFilterBridge::EnumerateHidInterfaces()
{
    return m_inner.EnumerateHidInterfaces();
}

int CFilterBridge::OpenByDevicePath(const std::string& path, std::unique_ptr<IBridgeDevice>* device)
{
    std::unique_ptr<IBridgeDevice> inner;
    const int status = m_inner.OpenByDevicePath(path, &inner);
    if (status == BRIDGE_OK && inner)
        *device = std::make_unique<CFilterDevice>(*this, std::move(inner));
    return status;
}

int64_t CalendarSeconds(int y, int mo, int d, int h, int mi, int s)
{
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    return int64_t(timegm(&tm));
}

CAdminTestRig::CAdminTestRig(const CSimMeter::Setup& setup)
    : clock(LocalSeconds(2026, 12, 7, 10, 0, 0))
    , meter(clock, setup)
    , simBridge(meter, clock)
    , bridge(simBridge)
    , session(bridge, clock)
{
    CUiPrompts::SetInfoHook([this](const QString& text, const QString&) { messages.push_back(text); });
    CUiPrompts::SetYesNoHook([this](const QString& text, const QString& caption) {
        questions.push_back({text, caption});
        if (onQuestion)
            onQuestion(text);
        if (answers.empty())
            return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    });
    session.StartDetect();
    WaitIdle(session);
    dlg = std::make_unique<CDlgAdmin>(nullptr, clock);
    dlg->m_pSession = &session;
    dlg->InitDialog();
}

CAdminTestRig::~CAdminTestRig()
{
    dlg.reset();
    archive.reset();
    CUiPrompts::ClearHooks();
}

QString CAdminTestRig::Info(int col, int row) const
{
    return dlg->InfoGrid().GetCellText(col, row);
}

QString CAdminTestRig::Cal(int col, int row) const
{
    return dlg->CalGrid().GetCellText(col, row);
}

void CAdminTestRig::SetInfo(int col, int row, const QString& text)
{
    dlg->InfoGrid().SetCellText(col, row, text);
}

void CAdminTestRig::SetCal(int col, int row, const QString& text)
{
    dlg->CalGrid().SetCellText(col, row, text);
}

std::vector<uint8_t> CAdminTestRig::LastPayload() const
{
    // @0 STX  @1 length = payload + 1  @2 command  @3 payload
    const CFt260& link = const_cast<CMeterSession&>(session).Link();
    const int length = link.m_TxBuf[1] - 1;
    return std::vector<uint8_t>(link.m_TxBuf + 3, link.m_TxBuf + 3 + std::max(length, 0));
}

int CAdminTestRig::LastCommand() const
{
    return const_cast<CMeterSession&>(session).Link().m_TxBuf[2];
}

void CAdminTestRig::Wait()
{
    WaitIdle(session);
}

void CAdminTestRig::SearchOk()
{
    const size_t before = messages.size();
    dlg->OnDeviceSearch();
    Wait();
    ASSERT_EQ(dlg->m_bDeviceFound, 1);
    ASSERT_EQ(messages.size(), before) << LastMessage().toStdString();
}

void CAdminTestRig::AttachArchive()
{
    archive = std::make_unique<CSqliteArchive>();
    ASSERT_TRUE(archiveDir.isValid());
    archive->Open(archiveDir.filePath(QStringLiteral("archive.sqlite")).toStdString());
    ASSERT_TRUE(archive->IsOpen()) << archive->OpenMessage();
    dlg->SetArchive(archive.get());
}
