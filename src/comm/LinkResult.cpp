#include "LinkResult.h"

#include <cstdio>

namespace {

struct ResultMessage {
    int32_t nCode;
    const char* szFormat;
};

// Every format takes exactly one integer argument: the code itself.
const ResultMessage kResultMessages[] = {
    {LINK_OK, "성공 (%d)"},
    {LINK_OPEN_FAILED, "장비 열기 실패 (%d)"},
    {LINK_FIND_FAILED, "장비 찾기 실패 (%d)"},
    {LINK_UART_INIT_FAILED, "UART 초기화 실패 (%d)"},
    {LINK_UART_GET_CONFIG_FAILED, "UART 정보 불러오기 실패 (%d)"},
    {LINK_UART_BAUD_FAILED, "UART 통신 속도 설정 실패 (%d)"},
    {LINK_UART_FLOW_FAILED, ""},
    {LINK_UART_DATA_FAILED, ""},
    {LINK_WRITE_FAILED, "UART 쓰기 실패 (%d)"},
    {LINK_READ_FAILED, "UART 읽기 실패 (%d)"},
    {LINK_STX_ERROR, "패킷 수신 실패 (STX) (%d)"},
    {LINK_ETX_ERROR, "패킷 수신 실패 (ETX) (%d)"},
    {LINK_LENGTH_ERROR, "패킷 수신 실패 (LENGTH) (%d)"},
    {LINK_ID_ERROR, "패킷 수신 실패 (ID) (%d)"},
    {LINK_CRC_ERROR, "패킷 수신 실패 (CRC) (%d)"},
    {LINK_TIMEOUT, "패킷 수신 실패 (타임아웃) (%d)"},
    {LINK_FW_HEADER_ERROR, "펌웨어 헤더 체크 실패 (%d)"},
    {LINK_FW_CRC_ERROR, "펌웨어 업로드 CRC 에러 (%d)"},
    {LINK_CANCELLED, "사용자 취소 (%d)"},
    {LINK_REQUEST_REFUSED, "잘못된 요청 (%d)"},
};

} // namespace

const char* LinkResultFormat(int32_t code)
{
    for (const ResultMessage& message : kResultMessages) {
        if (message.nCode == code)
            return message.szFormat;
    }
    return "";
}

std::string LinkResultText(int32_t code)
{
    const char* format = LinkResultFormat(code);
    if (format[0] == '\0')
        return std::string();
    char text[128];
    std::snprintf(text, sizeof text, format, static_cast<int>(code));
    return text;
}
