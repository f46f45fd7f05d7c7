// serial_exchange_timing PORT [ITERATIONS]: one firmware block exchange (the 244-byte DUB command, its "NEXT")
// through the serial link against station-sim --line-rate, for scripts/bench-serial.sh natively and under Wine;
// a plain program, as Google Benchmark does not build with mingw.

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
    const int portNumber = std::atoi(argv[1]);
    const int warmUp = 5;
    const int iterations = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
    const std::string block = MakeBlockCommand(FirmwareImage{L"", std::vector<uint8_t>(FirmwareBlockSize, 0x5a), 0, ""}, 0);
    SerialPort port;
    std::string failed = OpenPort(port, portNumber) ? "" : "does not open"; // what went wrong
    const auto send = [&](const std::string& command, bool (*accepted)(const std::string&)) {
        const std::string reply = failed.empty() ? Transact(port, command, kDubDeadlineMs) : "";
        if (failed.empty() && !accepted(reply)) failed = Trim(command).substr(0, 12) + " -> \"" + Trim(reply) + "\"";
        return failed.empty();
    };
    // One block more announced than sent: every reply is NEXT.
    for (const std::string& command : {BgvCommand(), DustartCommand(), DusizeCommand(warmUp + iterations + 1), DusummCommand(0)}) {
        send(command, [](const std::string& reply) { return !IsFailureReply(reply); });
    }
    std::vector<double> times;
    for (int i = 0; i < warmUp + iterations && failed.empty(); ++i) {
        const auto start = std::chrono::steady_clock::now();
        const bool next = send(block, StartsWithNext);
        if (next && i >= warmUp) times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    ClosePort(port);
    if (!failed.empty()) return std::fprintf(stderr, "COM%d: %s\n", portNumber, failed.c_str()) > 0;
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const double expectedMs = static_cast<double>(block.size() + 6) * 10 * 1000 / 115200 + kReadIntervalTimeoutMs;
    std::printf("DUB exchange on COM%d, %d iterations after %d warm-up: median %.1f ms, min %.1f, p95 %.1f, max %.1f\n",
                portNumber, iterations, warmUp, median, times.front(), times[times.size() * 95 / 100], times.back());
    std::printf("the wire (%zu bytes at 115200 baud 8N1) and the %u ms inter-byte timer take %.1f ms, median / that = %.2f;\n"
                "a 1 MiB image takes about %.0f s\n", block.size() + 6, static_cast<unsigned>(kReadIntervalTimeoutMs),
                expectedMs, median / expectedMs, 1048576.0 / FirmwareBlockSize * median / 1000);
    return 0;
}
