#pragma once
// A scripted set of COM ports at the level of the serial primitives (serial/serial_io.h), so that
// EnumerateComPorts, OpenPort, Transact and everything above them run for real in native tests.
//
// Each port is held by another program (opening fails), refuses the line settings, or is a
// device whose replies a Responder decides, command by command. Time runs on a VirtualClock
// the way a real port spends it: a reply's bytes arrive a latency after the command was
// written; a read returns what has arrived once 20 ms pass without another byte; a read that
// gets nothing waits the whole read timeout (50 + 2 x 128 = 306 ms), or less when a byte comes.
// Opening is exclusive, as on Windows: a port that one handle holds fails to open for another.
//
// While one exists it is the serial layer (SetSerialIo). Thread-safe; the responder runs on the
// writing thread without any lock held, so it may block (e.g. wait for the test thread) or read
// the clock. One instance at a time; it must outlive every worker that uses it.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "serial/serial_io.h"
#include "tests/support/virtual_clock.h"

// Bytes that arrive afterMs after the previous part (the first part: after the latency).
struct ReplyPart {
    uint32_t afterMs = 0;
    std::string bytes;
};

enum class WriteOutcome { Whole, Short, Fails };

// What the device does with one command.
struct Reply {
    std::vector<ReplyPart> parts;
    WriteOutcome write = WriteOutcome::Whole; // Short: one byte less is reported written
    bool unplug = false; // the device vanishes once the command is written: reads and writes fail,
                         // the port leaves the list and cannot be opened again
};

Reply Line(const std::string& text);  // text, carriage return, line feed
Reply Bare(const std::string& text);  // text without a line feed
Reply Silence();                      // nothing comes back
Reply Split(const std::string& first, uint32_t pauseMs, const std::string& second);
Reply Unplugged();                    // the cable is pulled as the command goes out
Reply WriteFailing();                 // the write itself fails
Reply WriteShort();                   // the write ends one byte short

// The upper-case letters a command begins with: "DUSIZE2\n" -> "DUSIZE", "DUB00ff...\n" -> "DUB".
std::string Mnemonic(const std::string& command);

// Decides the reply to one command (as written, line feed included).
using Responder = std::function<Reply(const std::string& command)>;
// A fixed reply per mnemonic; anything else is met with silence.
Responder ReplyTable(std::map<std::string, Reply> replies);

class ScriptedSerial {
public:
    struct Written {
        int port;
        std::string command; // as written, line feed included
        uint64_t at;         // virtual time of the write
    };

    explicit ScriptedSerial(VirtualClock& clock); // installs itself as the serial primitives
    ~ScriptedSerial();                            // restores them; fails the test on misuse
    ScriptedSerial(const ScriptedSerial&) = delete;
    ScriptedSerial& operator=(const ScriptedSerial&) = delete;

    // Listed, but every open fails (another program holds it).
    void AddHeldPort(int port);
    // Listed and opens, but reading or writing the line settings fails.
    void AddRefusingPort(int port);
    // Listed; opens; answers nothing.
    void AddSilentPort(int port);
    // Listed; opens; answers what the responder says. Replaces an earlier device on that port.
    void AddDevice(int port, Responder responder);
    // The port disappears (from the list too); an open handle's reads and writes fail.
    void Unplug(int port);

    // From the end of a write to the first reply byte; default 5 ms.
    void SetLatency(uint32_t ms);
    // Replaces the device list that the listing reports (names separated and ended by L'\0').
    void SetDeviceNames(const std::wstring& names);
    // Makes the listing fail with this error code (0 clears).
    void FailListing(uint32_t errorCode);
    // The capacity of every listing call, in order.
    std::vector<uint32_t> ListingCapacities() const;

    // Every command written to one port, or to any port, in order.
    std::vector<std::string> Commands(int port) const;
    std::vector<std::string> Mnemonics(int port) const;
    std::vector<Written> AllWrites() const;
    size_t ReadCount(int port) const;
    size_t OpenCount(int port) const;
    // Handles open right now.
    size_t OpenHandles() const;

private:
    struct Arrival {
        uint64_t at;
        std::string bytes;
    };
    struct Device {
        enum Kind { Held, Refusing, Answering } kind = Answering;
        Responder responder;
        bool unplugged = false;
        bool open = false;
        std::deque<Arrival> pending;
        size_t reads = 0;
        size_t opens = 0;
    };

    static uint32_t HookQueryDosDevices(wchar_t* buffer, uint32_t capacity, uint32_t* error);
    static OpenOutcome HookOpenDevice(int portNumber, PortHandle* handle);
    static void HookCloseDevice(PortHandle handle);
    static void HookPurgeInput(PortHandle handle);
    static bool HookWrite(PortHandle handle, const char* data, uint32_t size, uint32_t* written);
    static void HookFlush(PortHandle handle);
    static bool HookRead(PortHandle handle, char* buffer, uint32_t capacity, uint32_t* got);

    uint32_t QueryDosDevices(wchar_t* buffer, uint32_t capacity, uint32_t* error);
    OpenOutcome OpenDevice(int portNumber, PortHandle* handle);
    void CloseDevice(PortHandle handle);
    void PurgeInput(PortHandle handle);
    bool Write(PortHandle handle, const char* data, uint32_t size, uint32_t* written);
    bool Read(PortHandle handle, char* buffer, uint32_t capacity, uint32_t* got);
    Device* DeviceOf(PortHandle handle, int* port); // under mutex_; nullptr for a stray handle
    std::wstring DeviceNames() const;               // under mutex_
    void AddPort(int port, Device device);

    VirtualClock& clock_;
    mutable std::mutex mutex_;
    std::map<int, Device> devices_;
    std::map<uintptr_t, int> handles_; // open handle -> port
    uintptr_t nextHandle_ = 0x1000;
    uint32_t latencyMs_ = 5;
    bool customNames_ = false;
    std::wstring names_;
    uint32_t listingError_ = 0;
    std::vector<uint32_t> listingCapacities_;
    std::vector<Written> writes_;
    size_t strayCalls_ = 0; // calls with a handle that is not open: a double close, a use after close
};
