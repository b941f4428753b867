#pragma once
// Result codes of the link. 0 is success; every failure is negative, and a
// caller treats -1 or below as failure. Each code has at most one message,
// kept in the one table of LinkResult.cpp.

#include <cstdint>
#include <string>

enum LinkResult : int32_t {
    LINK_OK = 0,
    LINK_OPEN_FAILED = -1100,          // no device path, or the bridge refused to open
    LINK_FIND_FAILED = -1099,
    LINK_UART_INIT_FAILED = -1098,
    LINK_UART_GET_CONFIG_FAILED = -1097,
    LINK_UART_BAUD_FAILED = -1096,
    LINK_UART_FLOW_FAILED = -1095,     // has no message
    LINK_UART_DATA_FAILED = -1094,     // has no message
    LINK_WRITE_FAILED = -1093,
    LINK_READ_FAILED = -1092,          // read failed, or the reply did not arrive in time
    LINK_STX_ERROR = -1091,
    LINK_ETX_ERROR = -1090,
    LINK_LENGTH_ERROR = -1089,         // a reply whose length byte does not match the bytes read
    LINK_ID_ERROR = -1088,             // a reply to another command, or a stream frame out of sequence
    LINK_CRC_ERROR = -1087,
    LINK_TIMEOUT = -1086,              // a record stream went quiet
    LINK_FW_HEADER_ERROR = -1085,
    LINK_FW_CRC_ERROR = -1084,

    // Outside the range the meter's own failures use:
    LINK_CANCELLED = -1110,            // the caller asked the running operation to stop
    LINK_REQUEST_REFUSED = -1111,      // a request that cannot be framed; nothing was sent
};

// The message format of a code ("... (%d)"), or an empty string when the
// code has none.
const char* LinkResultFormat(int32_t code);

// The message of a code with the code in place of its %d; empty when the
// code has no message.
std::string LinkResultText(int32_t code);
