#include "MeterCommands.h"

#include "AnsiText.h"
#include "CFt260.h"
#include "MeterRecords.h"

#include <algorithm>
#include <cstring>

namespace {

MeterRequest MakeTextRequest(uint8_t command, const std::string& text, int width)
{
    MeterRequest request;
    request.nCommand = command;
    const std::string field = MakeAnsiField(text, static_cast<size_t>(width));
    std::memcpy(request.payload, field.data(), field.size());
    request.nLength = width;
    return request;
}

} // namespace

MeterRequest MakeReadRequest(uint8_t command)
{
    MeterRequest request;
    request.nCommand = command;
    request.payload[0] = 0x00;
    request.nLength = 1;
    return request;
}

MeterRequest MakeSetClockRequest(const MeterClock& clock)
{
    MeterRequest request;
    request.nCommand = CMD_SET_CLOCK;
    EncodeClockRecord(clock, request.payload);
    request.nLength = CLOCK_RECORD_LEN;
    return request;
}

MeterRequest MakeSetNameRequest(const std::string& name)
{
    return MakeTextRequest(CMD_SET_NAME, name, NAME_FIELD_LEN);
}

MeterRequest MakeSetSerialRequest(const std::string& serial)
{
    return MakeTextRequest(CMD_SET_SERIAL, serial, SERIAL_FIELD_LEN);
}

uint8_t CalibrationReadCommand(LoadCellSize size)
{
    switch (size) {
    case LOADCELL_7T:
        return CMD_READ_CAL_7T;
    case LOADCELL_15T:
        return CMD_READ_CAL_15T;
    case LOADCELL_30T:
        return CMD_READ_CAL_30T;
    }
    return 0;
}

uint8_t CalibrationPointCommand(LoadCellSize size)
{
    switch (size) {
    case LOADCELL_7T:
        return CMD_SET_POINT_7T;
    case LOADCELL_15T:
        return CMD_SET_POINT_15T;
    case LOADCELL_30T:
        return CMD_SET_POINT_30T;
    }
    return 0;
}

int CorrectionSlot(LoadCellSize size, int correction)
{
    if (correction < 0 || correction > 2)
        return -1;
    switch (size) {
    case LOADCELL_15T:
        return correction;
    case LOADCELL_30T:
        return 3 + correction;
    case LOADCELL_7T:
        return 6 + correction;
    }
    return -1;
}

MeterRequest MakeCalibrationReadRequest(LoadCellSize size)
{
    return MakeReadRequest(CalibrationReadCommand(size));
}

bool MakeCalibrationPointRequest(LoadCellSize size, int point, MeterRequest* request)
{
    const uint8_t command = CalibrationPointCommand(size);
    if (command == 0 || point < 0 || point > 3)
        return false;
    *request = MeterRequest();
    request->nCommand = command;
    request->payload[0] = static_cast<uint8_t>(point);
    request->nLength = 1;
    return true;
}

bool MakeCorrectionRequest(LoadCellSize size, int correction, int value, MeterRequest* request)
{
    const int slot = CorrectionSlot(size, correction);
    uint8_t stored[2];
    if (slot < 0 || !EncodeCorrectionValue(value, stored))
        return false;
    *request = MeterRequest();
    request->nCommand = CMD_SET_CORRECTION;
    request->payload[0] = static_cast<uint8_t>(slot);
    request->payload[1] = stored[0];
    request->payload[2] = stored[1];
    request->nLength = 3;
    return true;
}

std::string DecodeTextReply(const uint8_t* reply, size_t width)
{
    return AnsiToUtf8(reply, width);
}

bool IsSerialNumberSet(const uint8_t* reply)
{
    return reply[0] != 0x00 && reply[0] != 0xFF;
}

std::string SerialNumberText(const uint8_t* reply)
{
    if (!IsSerialNumberSet(reply))
        return "-";
    return DecodeTextReply(reply, SERIAL_FIELD_LEN);
}

int DecodeBatteryPercent(const uint8_t* reply)
{
    return static_cast<int8_t>(reply[0]);
}

bool HasFirmwareHead(const uint8_t* image, size_t size)
{
    if (!image || size < FIRMWARE_HEAD_LEN)
        return false;
    return (image[0] == 0x33 && image[1] == 0x55) || (image[0] == 0x21 && image[1] == 0x6F);
}

std::vector<FirmwarePiece> PlanFirmwarePieces(size_t imageSize)
{
    std::vector<FirmwarePiece> pieces;
    for (size_t offset = FIRMWARE_HEAD_LEN; offset < imageSize; offset += FIRMWARE_PIECE_MAX) {
        FirmwarePiece piece;
        piece.nOffset = offset;
        piece.nLength = std::min<size_t>(FIRMWARE_PIECE_MAX, imageSize - offset);
        pieces.push_back(piece);
    }
    return pieces;
}

bool IsFirmwareHeadAccepted(const uint8_t* reply)
{
    return reply[0] == 0;
}

bool IsFirmwareCrcError(const uint8_t* reply)
{
    return reply[0] == 1;
}

int SendMeterRequest(CFt260& link, const MeterRequest& request, uint8_t* reply)
{
    return link.SendPacket(request.nCommand, request.payload, request.nLength, reply);
}

int SendFirmwareHead(CFt260& link, const uint8_t* image, uint8_t* reply)
{
    return link.SendLongPacket(CMD_FW_HEADER, image, FIRMWARE_HEAD_LEN, reply);
}

int SendFirmwarePiece(CFt260& link, const uint8_t* image, const FirmwarePiece& piece,
                      uint8_t* reply)
{
    return link.SendLongPacket(CMD_FW_DATA, image + piece.nOffset,
                               static_cast<int>(piece.nLength), reply);
}
