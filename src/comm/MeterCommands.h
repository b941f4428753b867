#pragma once
// The meter's command set: the command bytes the program sends, the request
// payload of each, the reading of the short replies, and the firmware
// transfer plan. Every request travels in a short frame through
// CFt260::SendPacket except the firmware head and pieces (SendLongPacket)
// and the two record streams (CFt260::ReadMemoryRecords / ReadOutputRecords).
//
// A request that carries no data still carries one payload byte 0x00.
// Multi-byte numbers are big-endian in both directions.

#include "MeterTime.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CFt260;

enum MeterCommand : uint8_t {
    CMD_READ_VERSION = 0x30,     // reply: 4-byte version text
    CMD_READ_NAME = 0x31,        // reply: 9-byte name text
    CMD_READ_SERIAL = 0x32,      // reply: 11-byte serial text; @0 0x00 or 0xFF = none set
    CMD_READ_BATTERY = 0x33,     // reply: 1 byte, signed percent
    CMD_SET_CLOCK = 0x34,        // request: 13-byte clock record; reply: acknowledgement
    CMD_READ_MEMORY = 0x35,      // stored-record stream (CFt260::ReadMemoryRecords)
    CMD_SET_SERIAL = 0x36,       // request: 11-byte serial text
    CMD_READ_OUTPUT = 0x41,      // continuous series: 'A' header frame ...
    CMD_OUTPUT_RECORD = 0x42,    // ... then 'B' record frames
    CMD_READ_CAL_15T = 0x43,     // reply: 21-byte calibration record
    CMD_SET_POINT_15T = 0x44,    // request: point 0..3
    CMD_READ_CAL_30T = 0x45,
    CMD_SET_POINT_30T = 0x46,
    CMD_SET_CORRECTION = 0x47,   // request: slot, value + 2048
    CMD_FW_UPDATE = 0x48,        // firmware step 1: the meter prepares for an update
    CMD_FW_HEADER = 0x49,        // long frame, 2-byte image head; reply @0 0 = accepted
    CMD_FW_DATA = 0x4A,          // long frame, up to 1024 image bytes; reply @0 1 = CRC error
    CMD_READ_CLOCK = 0x4B,       // reply: 13-byte clock record
    CMD_SET_NAME = 0x4C,         // request: 9-byte name text
    CMD_READ_CAL_7T = 0x4D,
    CMD_SET_POINT_7T = 0x4E,
};

enum : int {
    REPLY_BUFFER_LEN = 32,   // every reply buffer handed to the link
    VERSION_FIELD_LEN = 4,
    NAME_FIELD_LEN = 9,
    SERIAL_FIELD_LEN = 11,
};

// One short request: command byte and payload.
struct MeterRequest {
    uint8_t nCommand = 0;
    uint8_t payload[REPLY_BUFFER_LEN] = {};
    int nLength = 0;
};

// A request without data (version, name, serial, battery, clock, the
// calibration reads, the firmware update request): payload 0x00.
MeterRequest MakeReadRequest(uint8_t command);
// @0 13 the clock record (EncodeClockRecord)
MeterRequest MakeSetClockRequest(const MeterClock& clock);
// @0 9 the name in the ANSI code page, space-padded (MakeAnsiField)
MeterRequest MakeSetNameRequest(const std::string& name);
// @0 11 the serial number in the ANSI code page, space-padded
MeterRequest MakeSetSerialRequest(const std::string& serial);

// Load-cell sizes, numbered as the administrator window's radio group.
enum LoadCellSize : int { LOADCELL_7T = 0, LOADCELL_15T = 1, LOADCELL_30T = 2 };

// The size's read-calibration command (7 t 0x4D, 15 t 0x43, 30 t 0x45) and
// set-point command (7 t 0x4E, 15 t 0x44, 30 t 0x46); 0 for an unknown size,
// which the link refuses as a command.
uint8_t CalibrationReadCommand(LoadCellSize size);
uint8_t CalibrationPointCommand(LoadCellSize size);
// The slot of the size's correction 0..2 (15 t 0-2, 30 t 3-5, 7 t 6-8), or
// -1 when either is out of range.
int CorrectionSlot(LoadCellSize size, int correction);

MeterRequest MakeCalibrationReadRequest(LoadCellSize size);
// @0 1 point 0..3 (0 = no load, 1..3 the size's reference forces).
// The meter records its own present reading; no value is sent.
bool MakeCalibrationPointRequest(LoadCellSize size, int point, MeterRequest* request);
// @0 1 slot (CorrectionSlot)  @1 2 value + 2048, big-endian; value -1000..1000
bool MakeCorrectionRequest(LoadCellSize size, int correction, int value, MeterRequest* request);

// Replies. reply is the start of the reply buffer after a successful exchange.
std::string DecodeTextReply(const uint8_t* reply, size_t width);
bool IsSerialNumberSet(const uint8_t* reply);
// The serial number, or "-" when none is set.
std::string SerialNumberText(const uint8_t* reply);
int DecodeBatteryPercent(const uint8_t* reply);

// Firmware images start with a two-byte head marker (33 55 or 21 6F); the
// meter gets the head first, then the rest in pieces of at most 1024 bytes
// from offset 2.
enum : int { FIRMWARE_HEAD_LEN = 2, FIRMWARE_PIECE_MAX = 1024 };
bool HasFirmwareHead(const uint8_t* image, size_t size);
struct FirmwarePiece {
    size_t nOffset = 0;
    size_t nLength = 0;
};
std::vector<FirmwarePiece> PlanFirmwarePieces(size_t imageSize);
bool IsFirmwareHeadAccepted(const uint8_t* reply);   // @0 0 = accepted
bool IsFirmwareCrcError(const uint8_t* reply);       // @0 1 = the meter found a CRC error

// Exchanges through the link; each returns the link's result code.
int SendMeterRequest(CFt260& link, const MeterRequest& request, uint8_t* reply);
int SendFirmwareHead(CFt260& link, const uint8_t* image, uint8_t* reply);
int SendFirmwarePiece(CFt260& link, const uint8_t* image, const FirmwarePiece& piece,
                      uint8_t* reply);
