// Benchmark, not a test: times the exchange of one firmware block (a 244-byte DUB command and
// its 6-byte "NEXT" reply) through the serial link against the station simulator running with
// --line-rate. Built natively (termios backend) and for Windows (Win32 backend, run under Wine);
// scripts/bench-serial.sh runs both. Google Benchmark does not build with mingw, hence a plain
// program.
//
//   serial_exchange_timing PORT [ITERATIONS]

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "firmware/firmware_image.h"
#include "serial/commands.h"
#include "serial/serial_port.h"

namespace {

constexpr int kWarmUp = 5;
constexpr int kDefaultIterations = 200;
constexpr double kBaud = 115200.0;
constexpr double kBitsPerByte = 10.0; // 8N1: start, 8 data, stop
constexpr size_t kReplyBytes = 6;     // "NEXT" CR LF

double Percentile(const std::vector<double>& sorted, double fraction) {
    const auto at = static_cast<size_t>(fraction * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[at];
}

// Sends the command and checks the reply begins with `expected`; false (and a message) otherwise.
bool Expect(SerialPort& port, const std::string& command, const char* expected) {
    const std::string reply = Transact(port, command, kDubDeadlineMs);
    if (TrimUpper(reply).rfind(expected, 0) == 0) return true;
    std::fprintf(stderr, "%s -> \"%s\", expected %s\n", Trim(command).c_str(), Trim(reply).c_str(), expected);
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PORT [ITERATIONS]\n", argv[0]);
        return 2;
    }
    const int portNumber = std::atoi(argv[1]);
    const int iterations = argc > 2 ? std::max(1, std::atoi(argv[2])) : kDefaultIterations;

    SerialPort port;
    if (!OpenPort(port, portNumber)) {
        std::fprintf(stderr, "COM%d does not open\n", portNumber);
        return 1;
    }
    FirmwareImage image;
    image.bytes.resize(FirmwareBlockSize);
    for (size_t i = 0; i < image.bytes.size(); ++i) image.bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    const std::string block = MakeBlockCommand(image, 0);
    // One more block announced than sent: every reply is NEXT, and BB drops the unfinished image.
    const auto announced = static_cast<uint64_t>(kWarmUp + iterations + 1);
    if (Transact(port, BgvCommand(), kBgvDeadlineMs).empty() || !Expect(port, DustartCommand(), "OK") ||
        !Expect(port, DusizeCommand(announced), "OK") || !Expect(port, DusummCommand(0), "OK")) {
        ClosePort(port);
        return 1;
    }

    std::vector<double> times;
    for (int i = 0; i < kWarmUp + iterations; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const bool next = Expect(port, block, "NEXT");
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        if (!next) {
            ClosePort(port);
            return 1;
        }
        if (i >= kWarmUp) times.push_back(took.count());
    }
    Transact(port, BbCommand(), kBbDeadlineMs);
    ClosePort(port);

    std::sort(times.begin(), times.end());
    double sum = 0.0;
    for (double t : times) sum += t;
    const double wireMs = static_cast<double>(block.size() + kReplyBytes) * kBitsPerByte * 1000.0 / kBaud;
    const double expectedMs = wireMs + kReadIntervalTimeoutMs;
    const double median = Percentile(times, 0.5);
    std::printf("DUB exchange (%zu-byte command, %zu-byte reply) on COM%d, %d iterations after %d warm-up\n",
                block.size(), kReplyBytes, portNumber, iterations, kWarmUp);
    std::printf("  per block:  mean %.1f ms, median %.1f ms, min %.1f ms, p95 %.1f ms, max %.1f ms\n",
                sum / static_cast<double>(times.size()), median, times.front(), Percentile(times, 0.95), times.back());
    std::printf("  expected:   wire %.1f ms (%zu bytes at 115200 baud 8N1) + %u ms inter-byte timer = %.1f ms\n", wireMs,
                block.size() + kReplyBytes, static_cast<unsigned>(kReadIntervalTimeoutMs), expectedMs);
    std::printf("  ratio:      median / expected = %.2f\n", median / expectedMs);
    const double blocksPerMiB = 1048576.0 / static_cast<double>(FirmwareBlockSize);
    std::printf("  so a 1 MiB image (%.0f blocks) takes about %.0f s to send\n", blocksPerMiB, blocksPerMiB * median / 1000.0);
    return 0;
}
