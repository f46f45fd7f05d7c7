#pragma once
// The command protocol: every command's wire form and reply deadline, and the rules by which a
// reply is judged.

#include <cstddef>
#include <cstdint>
#include <string>

#include "serial/serial_port.h"

// Reply deadlines in milliseconds.
constexpr uint32_t kBgvDeadlineMs = 700;
constexpr uint32_t kBicDeadlineMs = 1200;
constexpr uint32_t kGvMonitorDeadlineMs = 2000;
constexpr uint32_t kGvUpdateDeadlineMs = 2500;
constexpr uint32_t kGbMonitorDeadlineMs = 2000;
constexpr uint32_t kGbUpdateDeadlineMs = 2500;
constexpr uint32_t kBbDeadlineMs = 2500;
constexpr uint32_t kDustartDeadlineMs = 3000;
constexpr uint32_t kDusizeDeadlineMs = 3000;
constexpr uint32_t kDusummDeadlineMs = 3000;
constexpr uint32_t kDubDeadlineMs = 6000;
constexpr uint32_t kDrstResetDeadlineMs = 1500;
constexpr uint32_t kDrstAbandonDeadlineMs = 1000;

// Wire forms; each ends with one line feed.
std::string BgvCommand();
std::string BicCommand();
std::string GvCommand();
std::string GbCommand();
std::string BbCommand();
std::string DustartCommand();
std::string DrstCommand();
std::string DusizeCommand(uint64_t blockCount);
std::string DusummCommand(uint32_t crc32);

std::string Trim(const std::string& reply);
std::string TrimUpper(const std::string& reply);
bool IsFailureReply(const std::string& reply);
bool IsConnectedReply(const std::string& reply);
bool StartsWithOk(const std::string& reply);
bool StartsWithNext(const std::string& reply);
// Volts; throws std::runtime_error "Battery voltage is missing" / "Invalid battery voltage",
// or std::out_of_range "stod argument out of range".
double ParseBatteryVoltage(const std::string& reply);

// The reply as the log shows it: trimmed, every byte below 0x20 and 0x7F written as "\xNN" (so
// a reply cannot fake log lines), cut after kLoggedReplyBytes with "... (N bytes)".
std::string LoggedReply(const std::string& reply);
constexpr size_t kLoggedReplyBytes = 200;

// Transact, log label + " -> " + LoggedReply(reply), return StartsWithOk(reply).
bool SendLogged(SerialPort& port, const std::string& command, const std::string& label, uint32_t deadlineMs);
