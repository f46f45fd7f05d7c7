#pragma once
// What the tests of the workers stand on. While a Rig exists (one at a time) it is the clock, the
// COM ports, the window that receives the posts and the log's clock; its mutex guards it, since a
// worker on another thread uses it while the test reads.

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "firmware/firmware_image.h"
#include "serial/serial_io.h"
#include "tests/support/shortcuts.h"
#include "tests/support/temp_dir.h"

// What a device sends back to one command (as written, line feed included); each '~' in it is
// 100 ms before the bytes after it arrive. These three are no bytes:
const std::string kWriteFails = "<write fails>", kShortWrite = "<one byte short>", kUnplugs = "<unplugged as written>";
using Device = std::function<std::string(const std::string& command)>;

// The data station with an instrument on it: to each command the next reply of its mnemonic, the
// last one repeating. onCommand runs first; it may change the replies or the state, or throw.
struct Station {
    std::string operator()(const std::string& command);
    std::map<std::string, std::vector<std::string>> replies{
        {"BGV", {"ZDS-2 1.0\r\n"}}, {"BIC", {"1\r\n"}},    {"GV", {"1.2.3\r\n"}}, {"GB", {"3.95\r\n"}},
        {"DUSTART", {"OK\r\n"}},    {"DUSIZE", {"OK\r\n"}}, {"DUSUMM", {"OK\r\n"}}, {"DUB", {"NEXT\r\n", "OK\r\n"}},
        {"DRST", {"OK\r\n"}},       {"BB", {"OK\r\n"}}};
    std::map<std::string, size_t> sent;
    std::function<void(const std::string& mnemonic, size_t nth)> onCommand;
};

struct Rig {
    enum Kind { Answers, Held, Refuses }; // Held: by another program; Refuses: its line settings
    struct Port {
        Device device;
        Kind kind;
        bool gone = false; // unplugged: not listed, its handles fail
        std::deque<std::pair<uint64_t, char>> input{}; // arrival time, byte
        bool blocks = false; // its opens wait inside the device until Release
    };
    Rig();  // the shared state at its initial values; the station on COM3
    ~Rig(); // releases blocked opens and waits for them; fails the test if a port is left open
    void Add(int number, Device device, Kind kind = Answers) { ports[number] = {.device = std::move(device), .kind = kind}; }
    void Unplug(int number) { ports[number].gone = true; }
    // The port's next opens block, as a Bluetooth link that tries to connect; after Release they complete, at once as
    // far as the clock goes.
    void Block(int number) { const std::lock_guard<std::recursive_mutex> lock(mutex); ports[number].blocks = true; }
    void Release(int number);
    bool Settle(); // waits, 20 s at most, until no open waits in a device and no handle is open
    std::string Sent(); // the mnemonics of every command written: "BGV GB DUSTART"
    // "line 2: text", "progress 90 mark 1", "done 1: text" (result, text), "instrument checked", "reinstall prompt"
    std::vector<std::wstring> Posts() { const std::lock_guard<std::recursive_mutex> lock(mutex); return posted; }
    std::vector<std::string> Log();    // its lines without their stamp
    // Each open, close, write, reply, pause (but Transact's), post and log line in its order, after
    // the time since the start: a whole exchange for ExpectApproved, when all of it runs on one thread.
    std::string Transcript();
    void Note(const std::string& event); // under the mutex
    void Step();
    Port& Of(PortHandle handle); // fails the test for a handle that is not open

    std::recursive_mutex mutex;
    // The clock moves only when a thread sleeps. Past 100,000 sleeps, listings and writes the test
    // has run away: it is made to end (appClosing set, an error thrown).
    uint64_t now = 1000000;
    size_t steps = 0;
    std::function<void(uint32_t ms)> onSleep; // on the sleeping thread, after the time moved
    // COM ports: a read takes what has arrived, and never waits.
    std::map<int, Port> ports;
    std::map<PortHandle, int> handles;
    std::condition_variable_any released; // a blocked port was released
    size_t opening = 0;                    // device opens under way
    std::vector<SerialDeviceInfo> devices; // the serial-port devices the system lists
    bool devicesFail = false;              // listing them fails
    std::wstring otherNames;               // listed before the COM ports, each ended by L'\0'
    std::deque<uint32_t> listingErrors;    // the next listings fail with these, one each
    std::vector<std::pair<int, std::string>> writes;
    std::vector<std::string> events; // the transcript's lines
    std::vector<size_t> logAt;       // of those, the log's, each waiting for its text
    size_t reads = 0;
    // The window frees each text it receives; while refusing, posts fail as to a window that is gone.
    std::vector<std::wstring> posted;
    std::function<void(const std::wstring& post)> onPost; // on the posting thread; may throw
    bool refusing = false;
    TempDir dir; // the log's, every line stamped 12:00:00
    Station station;
};

std::string Mnemonic(const std::string& command); // "DUSIZE2\n" -> "DUSIZE"
std::string Shown(const std::string& bytes); // CR and LF as \r \n, other control bytes as \xNN, none as (nothing)
FirmwareImage TestImage(size_t blocks, const std::string& version = "1.2.3"); // a pattern, its CRC-32
