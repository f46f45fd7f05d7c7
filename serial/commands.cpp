#include "serial/commands.h"

#include <algorithm>
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

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

size_t SkipDigits(const std::string& text, size_t at) {
    while (at < text.size() && IsDigit(text[at])) ++at;
    return at;
}

// The first run of digits, with a full stop and more digits when they follow. A plain scan:
// a pattern engine recurses per character, and a station streaming digits would overflow the
// worker's stack, which no handler can catch.
std::string FirstNumber(const std::string& text) {
    size_t begin = 0;
    while (begin < text.size() && !IsDigit(text[begin])) ++begin;
    size_t end = SkipDigits(text, begin);
    if (end + 1 < text.size() && text[end] == '.' && IsDigit(text[end + 1])) end = SkipDigits(text, end + 1);
    return text.substr(begin, end - begin);
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
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
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
    const std::string number = FirstNumber(text);
    if (number.empty()) throw std::runtime_error("Battery voltage is missing");
    double volts = 0.0;
    try {
        volts = std::stod(number);
    } catch (const std::out_of_range&) {
        // The runtime's own wording differs between standard libraries; ours is fixed.
        throw std::out_of_range("stod argument out of range");
    }
    if (volts > kMillivoltThreshold) volts /= 1000.0;
    if (volts < kLowestVoltage || volts > kHighestVoltage) throw std::runtime_error("Invalid battery voltage");
    return volts;
}

std::string LoggedReply(const std::string& reply) {
    static constexpr char kHexDigits[] = "0123456789abcdef";
    const std::string text = Trim(reply);
    const size_t shown = std::min(text.size(), kLoggedReplyBytes);
    std::string line;
    line.reserve(shown);
    for (size_t i = 0; i < shown; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte != 0x7F) {
            line += text[i];
            continue;
        }
        line += "\\x";
        line += kHexDigits[byte >> 4];
        line += kHexDigits[byte & 0x0F];
    }
    if (shown < text.size()) line += "... (" + std::to_string(text.size()) + " bytes)";
    return line;
}

bool SendLogged(SerialPort& port, const std::string& command, const std::string& label, uint32_t deadlineMs) {
    const std::string reply = Transact(port, command, deadlineMs);
    WriteLog(label + " -> " + LoggedReply(reply));
    return StartsWithOk(reply);
}
