// serial_exchange_timing PORT [ITERATIONS]: the 244-byte DUB command and its "NEXT" through the serial link against
// station-sim --line-rate (scripts/bench-serial.sh, natively and under Wine); Google Benchmark does not build with mingw.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "firmware/firmware_image.h"
#include "serial/commands.h"
#include "serial/serial_port.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PORT [ITERATIONS]\n", argv[0]);
        return 2;
    }
    const int portNumber = std::atoi(argv[1]), warmUp = 5;
    const int iterations = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
    const std::string block = MakeBlockCommand(FirmwareImage{L"", std::vector<uint8_t>(FirmwareBlockSize, 0x5a), 0, ""},
                                               0);
    std::vector<std::string> commands{CommandLine(Command::Bgv), CommandLine(Command::Dustart),
                                      CommandLine(Command::Dusize, warmUp + iterations + 1),
                                      CommandLine(Command::Dusumm, 0)};
    commands.resize(commands.size() + warmUp + iterations,
                    block); // one block short of the count: each is answered NEXT
    SerialPort port;
    const bool opened = TryOpenPort(port, portNumber, kOpenDeadlineMs) == PortOpenResult::Opened;
    std::string failed = opened ? "" : "does not open"; // what went wrong
    std::vector<double> times;
    for (size_t i = 0; i < commands.size() && failed.empty(); ++i) {
        const auto start = std::chrono::steady_clock::now();
        const std::string reply = Transact(port, commands[i], DeadlineMs(Command::Dub));
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        const bool good = commands[i] == block ? StartsWithNext(reply) : !IsFailureReply(reply);
        failed = good ? "" : Trim(commands[i]).substr(0, 12) + " -> \"" + Trim(reply) + "\"";
    }
    ClosePort(port);
    if (!failed.empty()) return std::fprintf(stderr, "COM%d: %s\n", portNumber, failed.c_str()) > 0;
    times.erase(times.begin(), times.end() - iterations); // the last ones, after the warm-up
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const double expectedMs = static_cast<double>(block.size() + 6) * 10 * 1000 / 115200 + kReadIntervalTimeoutMs;
    std::printf("DUB exchange on COM%d, %d iterations after %d warm-up: median %.1f ms, min %.1f, p95 %.1f, max %.1f\n",
                portNumber, iterations, warmUp, median, times.front(), times[times.size() * 95 / 100], times.back());
    std::printf(
        "the wire (%zu bytes at 115200 baud 8N1) and the %u ms inter-byte timer take %.1f ms, median / that = %.2f;\n"
        "a 1 MiB image takes about %.0f s\n",
        block.size() + 6, static_cast<unsigned>(kReadIntervalTimeoutMs), expectedMs, median / expectedMs,
        1048576.0 / FirmwareBlockSize * median / 1000);
}
