#include "serial/commands.h"

#include <algorithm>
#include <regex>
#include <stdexcept>

#include "core/log.h"

namespace {

// The fixed commands as they go on the wire; DUSIZE, DUSUMM and DUB carry an argument.
constexpr char kBgvWire[] = "BGV\n";
constexpr char kBicWire[] = "BIC\n";
constexpr char kGvWire[] = "GV\n";
constexpr char kGbWire[] = "GB\n";
constexpr char kBbWire[] = "BB\n";
constexpr char kDustartWire[] = "DUSTART\n";
constexpr char kDrstWire[] = "DRST\n";
constexpr char kDusizeMnemonic[] = "DUSIZE";
constexpr char kDusummMnemonic[] = "DUSUMM";

constexpr char kWhiteSpace[] = " \t\n\v\f\r";

constexpr double kMillivoltThreshold = 100.0;
constexpr double kLowestVoltage = 2.0;
constexpr double kHighestVoltage = 5.0;

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// Digits, optionally a full stop and more digits; built once and never destroyed, because
// detached workers may still parse while the process exits.
const std::regex& VoltagePattern() {
    static const auto* pattern = new std::regex("([0-9]+(?:\\.[0-9]+)?)", std::regex::ECMAScript);
    return *pattern;
}

} // namespace

std::string BgvCommand() { return kBgvWire; }
std::string BicCommand() { return kBicWire; }
std::string GvCommand() { return kGvWire; }
std::string GbCommand() { return kGbWire; }
std::string BbCommand() { return kBbWire; }
std::string DustartCommand() { return kDustartWire; }
std::string DrstCommand() { return kDrstWire; }
std::string DusizeCommand(uint64_t blockCount) { return kDusizeMnemonic + std::to_string(blockCount) + "\n"; }
std::string DusummCommand(uint32_t crc32) { return kDusummMnemonic + std::to_string(crc32) + "\n"; }

std::string Trim(const std::string& reply) {
    const size_t first = reply.find_first_not_of(kWhiteSpace);
    if (first == std::string::npos) return {};
    const size_t last = reply.find_last_not_of(kWhiteSpace);
    return reply.substr(first, last - first + 1);
}

std::string TrimUpper(const std::string& reply) {
    std::string text = Trim(reply);
    // Only a to z: the locale must not turn other bytes into letters.
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    return text;
}

bool IsFailureReply(const std::string& reply) {
    const std::string text = TrimUpper(reply);
    return text.empty() || Contains(text, "ERR") || Contains(text, "FAIL");
}

bool IsConnectedReply(const std::string& reply) {
    const std::string text = TrimUpper(reply);
    return text == "1" || text == "OK" || text == "YES" || Contains(text, "CONNECTED");
}

bool StartsWithOk(const std::string& reply) { return StartsWith(TrimUpper(reply), "OK"); }

bool StartsWithNext(const std::string& reply) { return StartsWith(TrimUpper(reply), "NEXT"); }

double ParseBatteryVoltage(const std::string& reply) {
    std::string text = reply;
    std::replace(text.begin(), text.end(), ',', '.');
    std::smatch match;
    if (!std::regex_search(text, match, VoltagePattern())) throw std::runtime_error("Battery voltage is missing");
    double volts = 0.0;
    try {
        volts = std::stod(match[1].str());
    } catch (const std::out_of_range&) {
        // The runtime's own wording differs between standard libraries; ours is fixed.
        throw std::out_of_range("stod argument out of range");
    }
    if (volts > kMillivoltThreshold) volts /= 1000.0;
    if (volts < kLowestVoltage || volts > kHighestVoltage) throw std::runtime_error("Invalid battery voltage");
    return volts;
}

bool SendLogged(SerialPort& port, const std::string& command, const std::string& label, uint32_t deadlineMs) {
    const std::string reply = Transact(port, command, deadlineMs);
    WriteLog(label + " -> " + Trim(reply));
    return StartsWithOk(reply);
}
