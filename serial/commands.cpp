#include "serial/commands.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

#include "core/log.h"

namespace {

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

constexpr bool RowsInCommandOrder() {
    for (size_t i = 0; i < std::size(kCommands); ++i)
        if (static_cast<size_t>(kCommands[i].command) != i) return false;
    return true;
}
static_assert(RowsInCommandOrder() && std::size(kCommands) == static_cast<size_t>(Command::DrstAbandon) + 1,
              "kCommands holds one row per Command, in the enum's order");

const CommandRow& RowOf(Command command) { return kCommands[static_cast<size_t>(command)]; }

} // namespace

uint32_t DeadlineMs(Command command) { return RowOf(command).deadlineMs; }

std::string CommandLine(Command command) { return std::string(RowOf(command).mnemonic) + "\n"; }

std::string CommandLine(Command command, uint64_t argument) {
    return RowOf(command).mnemonic + std::to_string(argument) + "\n";
}

std::string Ask(SerialPort& port, Command command) { return Transact(port, CommandLine(command), DeadlineMs(command)); }

std::string Ask(SerialPort& port, Command command, uint64_t argument) {
    return Transact(port, CommandLine(command, argument), DeadlineMs(command));
}

std::string Ask(SerialPort& port, Command command, const std::string& line) {
    return Transact(port, line, DeadlineMs(command));
}

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

namespace {

bool LoggedOk(Command command, const std::string& reply) {
    WriteLog(std::string(RowOf(command).mnemonic) + " -> " + LoggedReply(reply));
    return StartsWithOk(reply);
}

} // namespace

bool SendLogged(SerialPort& port, Command command) { return LoggedOk(command, Ask(port, command)); }

bool SendLogged(SerialPort& port, Command command, uint64_t argument) {
    return LoggedOk(command, Ask(port, command, argument));
}
