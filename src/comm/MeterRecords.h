#pragma once
// The records the meter sends back: measurements (stored and continuous),
// the summary of the continuous series and the load-cell calibration data,
// with the texts the windows show for them.

#include "MeterTime.h"

#include <cstdint>
#include <string>

enum : int {
    MEASUREMENT_RECORD_LEN = 10,
    OUTPUT_SUMMARY_LEN = 9,
    CALIBRATION_RECORD_LEN = 21,
};

// Measurement record, as stored in the meter and as bytes 1..10 of a
// continuous-series 'B' frame:
//   @0 2 year, big-endian (high byte 0 marks the end of a stored-record stream)
//   @2 1 month  @3 1 day  @4 1 hour  @5 1 minute  @6 1 second (local time)
//   @7 2 force, unsigned big-endian, 0.1 kN
//   @9 1 load-cell type: 0 VR70, 1 VR150, 2 VR300
struct MeasurementRecord {
    MeterDateTime when;
    bool bTimeValid = false;   // false: the fields make no time; show FormatRecordTime
    int64_t tWhen = 0;         // the local time, when valid
    uint16_t nRawForce = 0;    // 0.1 kN
    uint8_t nLoadCellType = 0;
};
MeasurementRecord DecodeMeasurementRecord(const uint8_t* record);

// The load cell's model name; empty for an unknown type.
const char* LoadCellModelName(int type);

// Force in tons, cut down to one decimal: floor(raw / 98.0 * 10) / 10.
double ForceTons(uint16_t raw);
// "%4.1f 톤" of ForceTons (98 gives " 1.0 톤").
std::string FormatForceTons(uint16_t raw);
// "%.1f KN" of raw / 10.0 (65535 gives "6553.5 KN").
std::string FormatForceKn(uint16_t raw);

// Summary of the continuous series, payload of the 'A' frame:
//   @0 1 number of records that follow (0..255)
//   @1 2 average  @3 2 minimum  @5 2 maximum  @7 2 deviation,
//   each unsigned big-endian in 0.01 kN
struct OutputSummary {
    int nCount = 0;
    uint16_t nAverage = 0;
    uint16_t nMinimum = 0;
    uint16_t nMaximum = 0;
    uint16_t nDeviation = 0;
};
OutputSummary DecodeOutputSummary(const uint8_t* summary);
// A summary value in kN cut down to one decimal: "%02.1f KN" of
// (v / 10 * 10) / 100.0 with integer division (12345 gives "123.4 KN").
std::string FormatSummaryForce(uint16_t value);

// Calibration data of one load-cell size (reply of the read-calibration
// command):
//   @0 3 point 0 (no load)  @3 3 point 1  @6 3 point 2  @9 3 point 3,
//        load-cell values, unsigned 24-bit big-endian
//   @12 3 present load-cell value
//   @15 2 correction 1  @17 2 correction 2  @19 2 correction 3,
//        each stored as value + 2048, unsigned 16-bit big-endian
struct CalibrationRecord {
    uint32_t nPoints[4] = {0, 0, 0, 0};
    uint32_t nPresent = 0;
    int nCorrections[3] = {0, 0, 0};
};
CalibrationRecord DecodeCalibrationRecord(const uint8_t* record);

// Correction values travel offset by 2048 so that -1000..1000 fit an
// unsigned 16-bit number.
enum : int { CORRECTION_OFFSET = 2048, CORRECTION_MIN = -1000, CORRECTION_MAX = 1000 };
// False (nothing written) outside -1000..1000.
bool EncodeCorrectionValue(int value, uint8_t* bytes);
int DecodeCorrectionValue(const uint8_t* bytes);
