#pragma once
// The serial link to the data station: list the COM ports, open one at 115200 8N1 with DTR
// raised, run one request/reply transaction with a deadline, close it. Failures are reported by
// results (false, or an empty reply), never by exceptions.

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

using PortHandle = void*;

// The operating system's invalid handle value (all bits set).
inline PortHandle InvalidPortHandle() { return reinterpret_cast<PortHandle>(~static_cast<uintptr_t>(0)); }

struct SerialPort {
    PortHandle handle = InvalidPortHandle();
    int32_t portNumber = 0; // COM n while open; 0 after ClosePort or a failed settings step
};

constexpr uint32_t kPortQueueBytes = 4096;
constexpr uint32_t kReadIntervalTimeoutMs = 20;
constexpr uint32_t kReadTotalMultiplierMs = 2;
constexpr uint32_t kReadTotalConstantMs = 50;
constexpr uint32_t kWriteTotalMultiplierMs = 0;
constexpr uint32_t kWriteTotalConstantMs = 500;
constexpr uint32_t kReadChunkBytes = 128;
constexpr uint32_t kEmptyReadPauseMs = 20;
constexpr uint32_t kFirstNameBufferChars = 4096;
constexpr uint32_t kLargestNameBufferChars = 1048576;
// A device's open that blocks (a Bluetooth link connecting can take 5 to 30 s) is given up after
// its deadline and goes on in the background; a port that missed it once gets the longer one.
constexpr uint32_t kOpenDeadlineMs = 1000;
constexpr uint32_t kSlowPortOpenDeadlineMs = 5000;
constexpr uint32_t kOpenPollMs = 10; // how often a waiter looks at an open that blocks

enum class PortOpenResult {
    Opened,
    Failed,   // absent, refusing its line settings, or another fault
    InUse,    // refused as access denied: another program holds it
    HeldHere, // another worker of this program holds it
    Slow,     // not open within its deadline; the open goes on in the background, the port claimed
    Pending,  // not tried: another attempt already waits for its open, or its late handle is being closed
};

// COM port numbers present, ascending, no duplicates, preferredPort first when present.
// Logs "COM port enumeration failed: Windows error <code>" and returns {} on failure.
std::vector<int> EnumerateComPorts(int preferredPort);
// Opens COM n exclusively: fails while any handle holds it, one of this process's included
// even where the driver would share it; the result tells why. The device's open gets deadlineMs,
// counted from its start: an open given up earlier that still goes on is waited for again and
// taken over, never started twice. An open given up for good is closed when it completes.
PortOpenResult TryOpenPort(SerialPort& port, int portNumber, uint32_t deadlineMs);
// Purges input, writes the command, collects the reply up to and including its first line
// feed, or what arrived before the deadline. Empty on a closed port or a failed write/read.
std::string Transact(SerialPort& port, const std::string& command, uint32_t timeoutMs);
void ClosePort(SerialPort& port);
bool IsPortOpen(const SerialPort& port);

// Closes the port when it goes out of scope, so that no way out of a worker, an unexpected
// error included, leaves the station's port held for the rest of the run.
struct PortCloser {
    explicit PortCloser(SerialPort& port) : port(port) {}
    ~PortCloser() { ClosePort(port); }
    PortCloser(const PortCloser&) = delete;
    PortCloser& operator=(const PortCloser&) = delete;
    SerialPort& port;
};

// The COM ports that are Bluetooth serial links: devices whose instance ID begins with
// "BTHENUM\", by the port name each reports. Empty when the devices cannot be listed, so that
// no port is ever skipped on a guess.
std::set<int> BluetoothComPorts();

// Pure pieces of the enumeration, exposed for tests.
// Walks a QueryDosDeviceW name list (count characters) and takes every "COM<n>", n > 0.
std::vector<int> ParseComPortNames(const wchar_t* names, size_t count);
// Sorts, removes duplicates and moves preferredPort to the front when present.
std::vector<int> OrderComPorts(std::vector<int> ports, int preferredPort);
// "\\.\COM" + n.
std::wstring ComDevicePath(int portNumber);
