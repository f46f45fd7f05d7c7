// station-sim: the data station on a pseudo-terminal. One thread, one poll loop: port input
// becomes commands for the engine, the engine's replies go out through the wire schedule, and
// control lines from stdin or the FIFO act as the user's hands.

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "tools/station-sim/sim_control.h"
#include "tools/station-sim/sim_engine.h"
#include "tools/station-sim/sim_options.h"
#include "tools/station-sim/sim_pty.h"
#include "tools/station-sim/sim_text.h"
#include "tools/station-sim/sim_wire.h"

namespace {

int signalPipe[2] = {-1, -1}; // written by the signal handler, read by the loop

struct PendingCommand {
    std::string line;
    uint64_t readyNs = 0; // its line feed has crossed the (emulated) line
};

struct Runtime {
    SimOptions options;
    SimStation station;
    PtyPort pty;
    Wire wire;
    LineSplitter portLines;
    LineSplitter stdinLines;
    LineSplitter fifoLines;
    std::deque<PendingCommand> pending;
    uint64_t busyUntilNs = 0; // the station takes the next command only after its last reply left
    ControlFifo fifo;
    std::FILE* transcript = nullptr;
    bool stdinOpen = true;
    bool quit = false;
};

uint64_t NowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000ull + static_cast<uint64_t>(now.tv_nsec);
}

void PrintLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// "hh:mm:ss.mmm" in local time, like the program's own log but with milliseconds.
std::string WallTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(now.tv_nsec / 1000000));
    return text;
}

void WriteTranscript(Runtime& rt, const std::string& line) {
    if (!rt.transcript) return;
    const std::string stamped = WallTime() + "  " + line + "\n";
    std::fwrite(stamped.data(), 1, stamped.size(), rt.transcript);
    std::fflush(rt.transcript);
}

// Events of an exchange: all to stdout, the errors also to the transcript next to the exchange.
void EmitEvents(Runtime& rt, const std::vector<std::string>& events, bool exchangeEvents) {
    for (const std::string& event : events) {
        PrintLine("event " + event);
        if (!exchangeEvents || event.rfind("error ", 0) == 0) WriteTranscript(rt, "event " + event);
    }
}

void SaveImage(Runtime& rt) {
    const std::vector<uint8_t>& image = rt.station.update.image;
    std::ofstream out(rt.options.saveImagePath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    out.close();
    EmitEvents(rt, {out ? "saved " + rt.options.saveImagePath : "error cannot write " + rt.options.saveImagePath},
               false);
}

void Unplug(Runtime& rt) {
    if (!IsOpen(rt.pty)) return EmitEvents(rt, {"control-error already unplugged"}, false);
    ClosePtyPort(rt.pty);
    if (!rt.options.linkPath.empty()) RemoveLink(rt.options.linkPath);
    ResetWire(rt.wire);
    rt.pending.clear();
    rt.portLines.partial.clear();
    rt.busyUntilNs = 0;
    EmitEvents(rt, StationUnplugged(rt.station), false);
}

bool Plug(Runtime& rt, std::string* error) {
    if (!OpenPtyPort(rt.pty, error)) return false;
    if (!rt.options.linkPath.empty() && !PointLink(rt.options.linkPath, rt.pty.path, error)) {
        ClosePtyPort(rt.pty);
        return false;
    }
    return true;
}

void ProcessCommand(Runtime& rt, const std::string& line, uint64_t nowNs) {
    const Exchange exchange = HandleCommand(rt.station, line, nowNs / 1000000);
    WriteTranscript(rt, exchange.shownCommand + " -> " + exchange.shownReply);
    EmitEvents(rt, exchange.events, true);
    if (exchange.imageComplete && !rt.options.saveImagePath.empty()) SaveImage(rt);
    if (exchange.reply.unplug) return Unplug(rt);
    rt.busyUntilNs = ScheduleReply(rt.wire, exchange.reply, nowNs);
}

void ApplyControl(Runtime& rt, const std::string& line) {
    const ControlCommand command = ParseControl(line);
    std::string error;
    switch (command.kind) {
    case ControlKind::None: break;
    case ControlKind::Place: EmitEvents(rt, PlaceInstrument(rt.station), false); break;
    case ControlKind::Lift: EmitEvents(rt, LiftInstrument(rt.station), false); break;
    case ControlKind::Unplug: Unplug(rt); break;
    case ControlKind::Plug:
        if (IsOpen(rt.pty)) EmitEvents(rt, {"control-error already plugged in"}, false);
        else if (!Plug(rt, &error)) EmitEvents(rt, {"control-error cannot plug in: " + error}, false);
        else EmitEvents(rt, {"plugged " + rt.pty.path}, false);
        break;
    case ControlKind::SetBattery: EmitEvents(rt, SetBattery(rt.station, command.millivolts), false); break;
    case ControlKind::SetVersion: EmitEvents(rt, SetVersion(rt.station, command.text), false); break;
    case ControlKind::Status: PrintLine("event " + DescribeStation(rt.station)); break;
    case ControlKind::Help: PrintLine(std::string("event help ") + ControlHelp()); break;
    case ControlKind::Quit: rt.quit = true; break;
    case ControlKind::Invalid: EmitEvents(rt, {"control-error " + command.text}, false); break;
    }
}

// One read after poll said the descriptor is ready; false at end of file or on a real error.
bool ReadOnce(int fd, std::string& into) {
    char buffer[4096];
    ssize_t got;
    do got = read(fd, buffer, sizeof buffer);
    while (got < 0 && errno == EINTR);
    if (got > 0) into.append(buffer, static_cast<size_t>(got));
    return got > 0 || (got < 0 && errno == EAGAIN);
}

// Applies the control lines that arrived; false once the input has ended.
bool ReadControl(Runtime& rt, int fd, LineSplitter& splitter) {
    std::string data;
    const bool open = ReadOnce(fd, data);
    for (const SplitLine& line : FeedLines(splitter, data.data(), data.size())) ApplyControl(rt, line.text);
    return open;
}

void ReadPort(Runtime& rt, uint64_t nowNs) {
    std::string data;
    if (!ReadOnce(rt.pty.master, data)) {
        // We hold the slave open, so this is not a client hanging up: the pty itself broke.
        EmitEvents(rt, {"error reading " + rt.pty.path + ": " + std::strerror(errno)}, false);
        return Unplug(rt);
    }
    const uint64_t start = BeginReceive(rt.wire, nowNs, data.size());
    for (const SplitLine& line : FeedLines(rt.portLines, data.data(), data.size())) {
        rt.pending.push_back({.line = line.text, .readyNs = ArrivalNs(rt.wire, start, line.end)});
    }
}

// A serial line drops what the far end does not take: a full pty buffer loses the rest.
void WriteDue(Runtime& rt, uint64_t nowNs) {
    const std::string due = TakeDue(rt.wire, nowNs);
    if (due.empty() || !IsOpen(rt.pty)) return;
    size_t sent = 0;
    while (sent < due.size()) {
        const ssize_t wrote = write(rt.pty.master, due.data() + sent, due.size() - sent);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) break;
        sent += static_cast<size_t>(wrote);
    }
    if (sent < due.size())
        WriteTranscript(rt, "event " + std::to_string(due.size() - sent) + " reply bytes lost: nobody reads the port");
}

void RunDueWork(Runtime& rt) {
    uint64_t now = NowNs();
    EmitEvents(rt, AdvanceTime(rt.station, now / 1000000), false);
    while (!rt.pending.empty() && rt.pending.front().readyNs <= now && rt.busyUntilNs <= now && !rt.quit) {
        const std::string line = std::move(rt.pending.front().line);
        rt.pending.pop_front();
        ProcessCommand(rt, line, now);
        WriteDue(rt, now);
        now = NowNs();
    }
    WriteDue(rt, now);
}

int PollTimeoutMs(const Runtime& rt) {
    std::optional<uint64_t> next = NextDueNs(rt.wire);
    auto consider = [&next](uint64_t at) { next = next ? std::min(*next, at) : at; };
    if (!rt.pending.empty()) consider(std::max(rt.pending.front().readyNs, rt.busyUntilNs));
    if (auto timer = NextTimerMs(rt.station)) consider(*timer * 1000000);
    if (!next) return -1;
    const uint64_t now = NowNs();
    if (*next <= now) return 0;
    return static_cast<int>(std::min<uint64_t>((*next - now + 999999) / 1000000, 60000));
}

void RunLoop(Runtime& rt) {
    while (!rt.quit) {
        RunDueWork(rt);
        if (rt.quit) break;
        std::vector<pollfd> fds{{signalPipe[0], POLLIN, 0}};
        const size_t stdinAt = fds.size();
        if (rt.stdinOpen) fds.push_back({STDIN_FILENO, POLLIN, 0});
        const size_t fifoAt = fds.size();
        if (rt.fifo.readFd >= 0) fds.push_back({rt.fifo.readFd, POLLIN, 0});
        const size_t portAt = fds.size();
        if (IsOpen(rt.pty)) fds.push_back({rt.pty.master, POLLIN, 0});
        if (poll(fds.data(), fds.size(), PollTimeoutMs(rt)) < 0 && errno != EINTR) break;
        if (fds[0].revents != 0) break;
        const auto ready = [&fds](size_t at) { return at < fds.size() && fds[at].revents != 0; };
        if (rt.stdinOpen && ready(stdinAt)) rt.stdinOpen = ReadControl(rt, STDIN_FILENO, rt.stdinLines);
        // Our own writer on the FIFO keeps it from ever reaching end of file.
        if (rt.fifo.readFd >= 0 && ready(fifoAt)) ReadControl(rt, rt.fifo.readFd, rt.fifoLines);
        if (IsOpen(rt.pty) && ready(portAt) && fds[portAt].fd == rt.pty.master) ReadPort(rt, NowNs());
    }
}

void OnSignal(int) {
    const char byte = 1;
    const ssize_t ignored = write(signalPipe[1], &byte, 1);
    (void)ignored;
}

bool InstallSignals() {
    if (pipe(signalPipe) != 0) return false;
    for (const int fd : signalPipe) {
        fcntl(fd, F_SETFL, O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

bool SetUp(Runtime& rt, std::string* error) {
    if (!InstallSignals()) {
        *error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    if (!rt.options.transcriptPath.empty()) {
        rt.transcript = std::fopen(rt.options.transcriptPath.c_str(), "w");
        if (!rt.transcript) {
            *error = "cannot write " + rt.options.transcriptPath + ": " + std::strerror(errno);
            return false;
        }
    }
    if (!rt.options.controlPath.empty() && !OpenControlFifo(rt.fifo, rt.options.controlPath, error)) return false;
    return Plug(rt, error);
}

void TearDown(Runtime& rt) {
    if (IsOpen(rt.pty)) ClosePtyPort(rt.pty);
    if (!rt.options.linkPath.empty()) RemoveLink(rt.options.linkPath);
    CloseControlFifo(rt.fifo);
    if (rt.transcript) std::fclose(rt.transcript);
}

} // namespace

int main(int argc, char** argv) {
    const ParsedOptions parsed = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.outcome == ParseOutcome::Help) {
        std::fputs(HelpText().c_str(), stdout);
        return 0;
    }
    if (parsed.outcome == ParseOutcome::Error) {
        std::fprintf(stderr, "station-sim: %s\nTry 'station-sim --help'.\n", parsed.error.c_str());
        return 2;
    }
    Runtime rt;
    rt.options = parsed.options;
    rt.station = MakeStation(rt.options.station);
    rt.wire.lineRate = rt.options.lineRate;
    std::string error;
    if (!SetUp(rt, &error)) {
        std::fprintf(stderr, "station-sim: %s\n", error.c_str());
        TearDown(rt);
        return 1;
    }
    PrintLine("pty " + rt.pty.path);
    RunLoop(rt);
    PrintLine("event quit");
    TearDown(rt);
    return 0;
}
