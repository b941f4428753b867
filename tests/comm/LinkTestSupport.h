#pragma once
// Shared pieces of the link tests: byte helpers that frame replies on their
// own (so a framing fault in the link cannot hide behind the same code), and
// a fixture with a link on a scripted bridge.

#include "CFakeBridgeLibrary.h"
#include "CFt260.h"
#include "CManualClock.h"
#include "CRecordingOwner.h"

#include <gtest/gtest.h>

#include <string>

// "02 0A 31" -> bytes; anything but hex digit pairs is ignored.
Bytes Hex(const std::string& text);
std::string ToHex(const Bytes& bytes);

// A short frame as the meter sends it.
Bytes Frame(uint8_t command, const Bytes& payload);

// Local time of the given fields, as seconds since 1970.
int64_t LocalTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// A 10-byte measurement record.
Bytes MeasurementBytes(int year, int month, int day, int hour, int minute, int second,
                       uint16_t force, uint8_t type);

class LinkTest : public ::testing::Test {
protected:
    LinkTest();

    // A meter that answers each written request with the frames of
    // answer(request), delayMs after the write.
    void AnswerWith(std::function<Bytes(const Bytes&)> answer, int delayMs = 100);
    // Closed bridge state of the default path.
    FakeBridgeState& Bridge() { return m_library.State(kPath); }
    // Last-exchange state checks.
    bool IsOpen() const { return m_link.m_hDevice != nullptr; }

    static const char* const kPath;
    CManualClock m_clock;
    CFakeBridgeLibrary m_library;
    CRecordingOwner m_owner;
    CFt260 m_link;
};
