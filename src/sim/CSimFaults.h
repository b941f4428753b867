#pragma once
// Switches that make the simulated meter misbehave the way a real one, or its
// cable, sometimes does. Every switch can be flipped at any time; it acts on
// the next request.
//
// The switches here change the bytes on the wire, so they belong to the
// protocol engine (CSimMeter) and work behind any transport. Faults of the
// USB side (a failing write, an unplugged meter) belong to CSimBridge.

#include <string>

class CSimFaults {
public:
    // Default processing delay of a slow meter: long, but inside the shortest
    // reply window of the link (the output stream gives up 1.5 s after its request).
    static constexpr int kDefaultSlowMs = 1200;

    bool m_bNoReply = false;         // the request is neither acted on nor answered
    bool m_bCutShort = false;        // the reply stops in the middle of its last frame
    bool m_bBadCheck = false;        // the first frame of a reply has a wrong check byte
    bool m_bNoEtx = false;           // the first frame of a reply ends in 0x00, not ETX
    bool m_bStaleBytes = false;      // a few stale bytes come just before the reply
    bool m_bExtraBytes = false;      // a few bytes follow the reply
    bool m_bGarbageInStream = false; // a record stream gets one extra byte inside frame m_nGarbageFrame
    int m_nGarbageFrame = 2;         // counted from 1; past the last frame: the last one
    bool m_bCorruptInStream = false; // one byte of a record stream's second frame is altered
    bool m_bSlow = false;            // the meter takes m_nSlowMs before it answers
    int m_nSlowMs = kDefaultSlowMs;
    int m_nFwCrcChunk = 0;           // firmware data chunk (counted from 1) answered "CRC error"; 0 = off
    bool m_bEndlessStream = false;   // the stored-record stream never sends its end marker and
                                     // repeats its records for as long as the switch is on
    bool m_bSeriesEarlyRecord = false; // a copy of the last series record goes out before the header
    bool m_bSeriesUncounted = false; // the series header announces no record; the records follow anyway
    bool m_bSeriesRepeat = false;    // the first series record is sent twice
    bool m_bSeriesGap = false;       // the second series record is left out (still counted)

    // Sets or clears one switch by name: "no-reply", "cut-short", "bad-check",
    // "no-etx", "stale-bytes", "extra-bytes", "garbage-in-stream" or
    // "garbage-in-stream:FRAME", "corrupt-in-stream", "slow" or "slow:MS",
    // "fw-crc:N", "endless-stream", "series-early-record", "series-uncounted",
    // "series-repeat", "series-gap". Returns false, and
    // changes nothing, for a name this class does not know or a bad number.
    bool SetByName(const std::string& name, bool on = true);

    // Names of every switch SetByName knows, for messages.
    static const char* KnownNames();

    void Clear() { *this = CSimFaults(); }
    bool AnySet() const;
};
