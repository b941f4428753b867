#pragma once
// The simulated meter behind a real terminal line: the protocol engine
// (CSimMeter) reads its requests from a tty and writes its replies back at
// the pace of the meter's UART, 115200 baud with 10 bits a byte, so the PC
// side sees the bytes arrive over time exactly as they would from a cable.
//
// Two kinds of line:
// - OpenPty(): a new pseudo-terminal. The server keeps the master and hands
//   the slave's path to whoever plays the PC (the program's --port). It also
//   holds a slave descriptor of its own, never read: without it the master
//   reports a hang-up whenever no PC has the slave open, and a PC that closes
//   and re-opens the port is the normal course of a session.
// - OpenTty(path): an existing terminal (a serial port, the slave of a
//   pseudo-terminal someone else made). A hang-up there ends the session.
//
// Run() serves on the calling thread until RequestStop(), a hang-up of a
// tty, or a planned vanish; Start() runs it on a thread of its own. The
// engine, its fault switches and the transcript are guarded by one mutex, so
// a test can look at them while the server runs.

#include "CSimMeter.h"
#include "CSystemClock.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CPtyMeterServer {
public:
    static constexpr uint32_t kBaud = 115200;
    static constexpr int kBitsPerByte = 10;   // start, 8 data, stop
    // Replies are written in slices of whatever is due, no more often than this.
    static constexpr int64_t kSliceNs = 2000000;

    enum EndReason {
        END_RUNNING,    // not ended yet
        END_STOPPED,    // RequestStop()
        END_HANGUP,     // the tty was hung up (OpenTty lines only)
        END_VANISHED,   // the planned vanish of VanishAfter()
        END_ERROR,      // no line, or the line failed in a way that is not a hang-up
    };

    explicit CPtyMeterServer(const CSimMeter::Setup& setup);
    ~CPtyMeterServer();
    CPtyMeterServer(const CPtyMeterServer&) = delete;
    CPtyMeterServer& operator=(const CPtyMeterServer&) = delete;

    // Opens the line; false with a message in *error. Once only.
    bool OpenPty(std::string* error);
    bool OpenTty(const std::string& path, std::string* error);
    // The path the PC opens: the pseudo-terminal's slave, or the tty given.
    const std::string& GetPath() const { return m_strPath; }

    // Engine faults by name, a comma-separated list (CSimFaults::SetByName);
    // nothing changes unless every name is known.
    bool SetFaults(const std::string& list);
    void ClearFaults();
    // The same on a given set of switches (what the command line checks
    // before any line is opened).
    static bool ParseFaults(const std::string& list, CSimFaults* faults);
    // Runs fn on the engine under the server's lock.
    void WithMeter(const std::function<void(CSimMeter&)>& fn);

    // The meter goes away once it has written this many more reply bytes
    // (counted from the call): it stays silent for quietMs and then closes
    // its side of the line, which hangs the PC's side up. The quiet spell
    // lets the PC read what came before.
    void VanishAfter(uint64_t replyBytes, int quietMs);

    // Keeps every byte read from and written to the line (off by default: a
    // long session would grow without end).
    void SetKeepTranscript(bool keep);
    std::vector<uint8_t> GetBytesRead() const;
    std::vector<uint8_t> GetBytesWritten() const;

    // Serves until one of the ends above; returns which.
    EndReason Run();
    // Run() on a thread of its own; false if already started or no line is open.
    bool Start();
    // Waits for the thread to end; the reason it ended.
    EndReason Join();
    // Asks Run() to end. Safe from another thread and from a signal handler.
    void RequestStop();
    bool IsEnded() const { return m_nEnd.load() != END_RUNNING; }

    // Wire time of a number of bytes at kBaud.
    static int64_t WireTimeNs(uint64_t bytes);

private:
    // One reply on its way out: byte k leaves at nBaseNs + WireTimeNs(k + 1).
    struct Segment {
        int64_t nBaseNs = 0;
        std::vector<uint8_t> bytes;
        size_t nSent = 0;
    };

    static int64_t NowNs();
    bool OpenWakePipe(std::string* error);
    static bool MakeRaw(int fd, std::string* error);
    EndReason Serve();
    // false when the line has ended (*reason set).
    bool ReadRequests(int64_t nowNs, EndReason* reason);
    bool WriteDue(int64_t nowNs, EndReason* reason);
    int64_t NextDueNs() const;
    void CloseLine();

    CSystemClock m_clock;
    mutable std::mutex m_mutex;          // m_pMeter, the transcript
    std::unique_ptr<CSimMeter> m_pMeter;
    bool m_bKeepTranscript = false;
    std::vector<uint8_t> m_read;
    std::vector<uint8_t> m_written;

    int m_nLine = -1;           // the pseudo-terminal's master, or the tty
    int m_nHeldSlave = -1;      // the server's own slave descriptor (pty only)
    bool m_bPty = false;
    std::string m_strPath;
    int m_wake[2] = {-1, -1};   // RequestStop() writes a byte to m_wake[1]

    std::deque<Segment> m_pending;
    int64_t m_nTxFreeNs = 0;    // when the last scheduled byte has left
    bool m_bBlocked = false;    // the line took no more; wait until it is writable
    std::atomic<uint64_t> m_nWrittenTotal{0};   // reply bytes the line took

    std::atomic<uint64_t> m_nVanishAfter{UINT64_MAX};
    std::atomic<int> m_nVanishQuietMs{0};
    int64_t m_nVanishAtNs = -1;

    std::atomic<bool> m_bStop{false};
    std::atomic<int> m_nEnd{END_RUNNING};
    std::thread m_thread;
};
