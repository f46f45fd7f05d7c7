#include "tools/station-sim/tests/sim_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Reads what stdout has; false once it is closed.
bool PumpOutput(SimProcess& sim, int timeoutMs) {
    pollfd fd{sim.output, POLLIN, 0};
    if (poll(&fd, 1, timeoutMs) <= 0) return true;
    char buffer[4096];
    const ssize_t got = read(sim.output, buffer, sizeof buffer);
    if (got <= 0) return false;
    sim.partial.append(buffer, static_cast<size_t>(got));
    for (size_t end; (end = sim.partial.find('\n')) != std::string::npos;) {
        sim.lines.push_back(sim.partial.substr(0, end));
        sim.partial.erase(0, end + 1);
    }
    return true;
}

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

} // namespace

bool StartSim(SimProcess& sim, const std::vector<std::string>& args) {
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    for (const int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) posix_spawn_file_actions_addclose(&actions, fd);
    std::vector<std::string> argvText{STATION_SIM_PATH};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : argvText) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&sim.pid, STATION_SIM_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    sim.input = in[1];
    sim.output = out[0];
    sim.errors = err[0];
    if (spawned != 0) sim.pid = -1;
    return spawned == 0;
}

std::optional<std::string> WaitForLine(SimProcess& sim, const std::string& prefix, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        for (size_t i = sim.taken; i < sim.lines.size(); ++i) {
            if (sim.lines[i].rfind(prefix, 0) != 0) continue;
            sim.taken = i + 1;
            return sim.lines[i];
        }
        if (RemainingMs(deadline) == 0 || sim.output < 0) return std::nullopt;
        if (!PumpOutput(sim, RemainingMs(deadline))) CloseFd(sim.output);
    }
}

void SendControl(SimProcess& sim, const std::string& line) {
    const std::string text = line + "\n";
    const ssize_t wrote = write(sim.input, text.data(), text.size());
    (void)wrote;
}

int WaitExit(SimProcess& sim, int timeoutMs) {
    if (sim.pid <= 0) return -1;
    // The simulator's stdout closes as it exits.
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (sim.output >= 0 && RemainingMs(deadline) > 0) {
        if (!PumpOutput(sim, RemainingMs(deadline))) CloseFd(sim.output);
    }
    int status = 0;
    if (sim.output >= 0) {
        kill(sim.pid, SIGKILL);
        waitpid(sim.pid, &status, 0);
        status = -1;
    } else {
        waitpid(sim.pid, &status, 0);
        status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    sim.pid = -1;
    char buffer[4096];
    for (ssize_t got; (got = read(sim.errors, buffer, sizeof buffer)) > 0;) sim.stderrText.append(buffer, static_cast<size_t>(got));
    CloseFd(sim.errors);
    CloseFd(sim.input);
    CloseFd(sim.output);
    return status;
}

int StopSim(SimProcess& sim) {
    if (sim.input >= 0) SendControl(sim, "quit");
    return WaitExit(sim);
}

int OpenPort(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    termios settings{};
    tcgetattr(fd, &settings);
    cfmakeraw(&settings);
    cfsetispeed(&settings, B115200);
    cfsetospeed(&settings, B115200);
    tcsetattr(fd, TCSANOW, &settings);
    return fd;
}

PortRead ReadUntil(int fd, const std::function<bool(const std::string&)>& done, int timeoutMs) {
    PortRead result;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done(result.bytes) && RemainingMs(deadline) > 0) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, RemainingMs(deadline)) <= 0) continue;
        char buffer[512];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0) result.bytes.append(buffer, static_cast<size_t>(got));
        else if (got == 0 || errno == EIO) {
            result.hangup = true;
            break;
        }
    }
    return result;
}

std::string Transact(int fd, const std::string& command) {
    const ssize_t wrote = write(fd, command.data(), command.size());
    if (wrote != static_cast<ssize_t>(command.size())) return "(write failed)";
    return ReadUntil(fd, [](const std::string& bytes) { return bytes.find('\n') != std::string::npos; }).bytes;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
