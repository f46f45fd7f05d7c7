#pragma once
// The data station with the instrument on it, as a plain state machine: one command line in,
// one planned reply out. It does no I/O and reads no clock: callers pass the time, so a test
// runs a reboot in virtual milliseconds.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Longest command line the station takes; a DUB line is 243 bytes before its line feed.
constexpr size_t kMaxCommandLength = 1024;

// Mnemonics the station knows, for the fault options and the help text.
const std::vector<std::string>& KnownCommands();

enum class FaultKind { Reply, Silent, NoLineEnd, Split, Garbage, Delay, Unplug };

struct Fault {
    FaultKind kind = FaultKind::Reply;
    std::string command;     // mnemonic, "GV"
    uint32_t occurrence = 0; // 0: every time; N: only the N-th time the command arrives
    std::string text;        // Reply: sent instead of the normal text, still followed by CR LF
    uint32_t ms = 0;         // Split: pause between the two writes; Delay: wait before replying
};

// What a good image does to the instrument once DRST has restarted it.
enum class AfterReboot { NewVersion, Unchanged, Absent };

struct StationSettings {
    std::string identification = "ZARVEL DS-4 v3.1";
    std::string version = "1.0.0";
    uint32_t batteryMv = 3950;
    bool instrumentOnStation = true;
    uint32_t rebootMs = 3000;
    AfterReboot afterReboot = AfterReboot::Unchanged;
    std::string newVersion;
    std::vector<Fault> faults;
    std::vector<uint64_t> refusedBlocks; // 1-based block numbers, each refused once
    uint64_t unplugAtBlock = 0;          // 1-based; 0 never
};

enum class UpdatePhase {
    Idle,     // no DUSTART since the last reset, lift or unplug
    Open,     // DUSTART taken; parameters and blocks arriving
    Complete, // every announced block arrived and the CRC-32 matched
    Failed,   // a block or the image was refused; only DUSTART starts over
};

struct UpdateSession {
    UpdatePhase phase = UpdatePhase::Idle;
    std::optional<uint64_t> blockCount; // from DUSIZE
    std::optional<uint32_t> checksum;   // from DUSUMM
    std::vector<uint8_t> image;         // the blocks received so far, in order
};

struct SimStation {
    StationSettings settings;
    bool onStation = true;  // the user's hands: place / lift
    std::string version;    // what GV answers
    uint32_t batteryMv = 0; // what GB answers
    bool rebooting = false; // between DRST and the end of the reboot time
    uint64_t rebootEndsMs = 0;
    AfterReboot rebootOutcome = AfterReboot::Unchanged; // what the running reboot ends in
    bool dead = false;                                  // a flash that never boots: silent until the simulator restarts
    UpdateSession update;
    std::vector<std::pair<std::string, uint32_t>> received; // per mnemonic, for Fault::occurrence
    std::vector<uint64_t> refusalsUsed;                     // refused blocks already refused once
    bool unplugUsed = false;
};

struct ReplyPlan {
    bool answered = false; // false: nothing goes back
    std::string bytes;     // exactly what goes on the wire, line end included
    uint32_t delayMs = 0;  // pause before the first byte
    uint32_t splitMs = 0;  // > 0: two writes, this many ms apart
    bool unplug = false;   // pull the station's cable on receipt
};

struct Exchange {
    std::string shownCommand; // for the transcript; long payloads abbreviated
    std::string shownReply;   // for the transcript, with a note on any fault
    ReplyPlan reply;
    std::vector<std::string> events; // "dustart", "block 3/7", "error ..."
    bool imageComplete = false;      // the last announced block arrived; update.image holds it
};

SimStation MakeStation(const StationSettings& settings);
bool InstrumentPresent(const SimStation& station);

// The station's answer to one command line (without its line feed) received at nowMs.
Exchange HandleCommand(SimStation& station, const std::string& line, uint64_t nowMs);

// Ends a reboot that is due; returns its events. NextTimerMs says when to call it again.
std::vector<std::string> AdvanceTime(SimStation& station, uint64_t nowMs);
std::optional<uint64_t> NextTimerMs(const SimStation& station);

// What the user does, each with the events it causes.
std::vector<std::string> PlaceInstrument(SimStation& station);
std::vector<std::string> LiftInstrument(SimStation& station);
std::vector<std::string> SetBattery(SimStation& station, uint32_t millivolts);
std::vector<std::string> SetVersion(SimStation& station, const std::string& version);
std::vector<std::string> StationUnplugged(SimStation& station);
std::string DescribeStation(const SimStation& station);
