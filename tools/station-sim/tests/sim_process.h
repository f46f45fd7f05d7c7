#pragma once
// Test helpers that start the real station-sim, read its stdout events and talk to its pty as
// the program would. Every wait has a deadline; nothing sleeps for a fixed time.

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

// Generous: only a broken simulator or a starved machine ever reaches it.
constexpr int kDeadlineMs = 10000;

struct SimProcess {
    pid_t pid = -1;
    int input = -1;                 // the simulator's stdin
    int output = -1;                // the simulator's stdout
    int errors = -1;                // the simulator's stderr
    std::string partial;            // stdout after the last complete line
    std::vector<std::string> lines; // every complete stdout line so far
    size_t taken = 0;               // lines before this one were passed over by WaitForLine
    std::string stderrText;         // filled when the simulator has ended
};

bool StartSim(SimProcess& sim, const std::vector<std::string>& args);
// The next stdout line (after those already taken) that starts with `prefix`.
std::optional<std::string> WaitForLine(SimProcess& sim, const std::string& prefix, int timeoutMs = kDeadlineMs);
void SendControl(SimProcess& sim, const std::string& line);
// Waits for the simulator to end; its exit status, or -1 when it had to be killed.
int WaitExit(SimProcess& sim, int timeoutMs = kDeadlineMs);
// "quit" on stdin, then WaitExit.
int StopSim(SimProcess& sim);

// Opens a pty (or the link to it) raw, 8N1, non-blocking, as a COM port client would.
int OpenPort(const std::string& path);

struct PortRead {
    std::string bytes;
    bool hangup = false; // the far end went away (read gave 0 or EIO)
};
// Reads until `done` holds for what arrived, the port hangs up, or the deadline passes.
PortRead ReadUntil(int fd, const std::function<bool(const std::string&)>& done, int timeoutMs = kDeadlineMs);
// Writes a command and reads up to and including the first line feed.
std::string Transact(int fd, const std::string& command);
std::string ReadFile(const std::string& path);
