#pragma once
// The command protocol: every command's wire form and reply deadline, and the rules by which a
// reply is judged.

#include <cstddef>
#include <cstdint>
#include <string>

#include "serial/serial_port.h"

// Every exchange the workers make. A mnemonic sent at two moments has a row for each: the monitor
// polls GV and GB more briskly than the update asks, and a DRST that abandons waits less than a reset.
// kCommands lists them in this order (DrstAbandon last: the table's size is checked against it).
enum class Command {
    Bgv,
    Bic,
    GvMonitor,
    GvUpdate,
    GbMonitor,
    GbUpdate,
    Bb,
    Dustart,
    Dusize,
    Dusumm,
    Dub,
    DrstReset,
    DrstAbandon
};

struct CommandRow {
    Command command;
    const char* mnemonic; // on the wire: the mnemonic, its argument where it takes one, one line feed
    uint32_t deadlineMs;  // how long the reply may take
};

// clang-format off
inline constexpr CommandRow kCommands[] = {
    {.command = Command::Bgv,         .mnemonic = "BGV",     .deadlineMs = 700},
    {.command = Command::Bic,         .mnemonic = "BIC",     .deadlineMs = 1200},
    {.command = Command::GvMonitor,   .mnemonic = "GV",      .deadlineMs = 2000},
    {.command = Command::GvUpdate,    .mnemonic = "GV",      .deadlineMs = 2500},
    {.command = Command::GbMonitor,   .mnemonic = "GB",      .deadlineMs = 2000},
    {.command = Command::GbUpdate,    .mnemonic = "GB",      .deadlineMs = 2500},
    {.command = Command::Bb,          .mnemonic = "BB",      .deadlineMs = 2500},
    {.command = Command::Dustart,     .mnemonic = "DUSTART", .deadlineMs = 3000},
    {.command = Command::Dusize,      .mnemonic = "DUSIZE",  .deadlineMs = 3000}, // the block count
    {.command = Command::Dusumm,      .mnemonic = "DUSUMM",  .deadlineMs = 3000}, // the image's CRC-32
    {.command = Command::Dub,         .mnemonic = "DUB",     .deadlineMs = 6000}, // the block: MakeBlockCommand
    {.command = Command::DrstReset,   .mnemonic = "DRST",    .deadlineMs = 1500},
    {.command = Command::DrstAbandon, .mnemonic = "DRST",    .deadlineMs = 1000},
};
// clang-format on

uint32_t DeadlineMs(Command command);
// The wire form without an argument, or with a decimal one (DUSIZE, DUSUMM).
std::string CommandLine(Command command);
std::string CommandLine(Command command, uint64_t argument);
// Transact of the command's line (or the given one, for a block) within the command's deadline.
std::string Ask(SerialPort& port, Command command);
std::string Ask(SerialPort& port, Command command, uint64_t argument);
std::string Ask(SerialPort& port, Command command, const std::string& line);

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

// Ask, log the mnemonic + " -> " + LoggedReply(reply), return StartsWithOk(reply).
bool SendLogged(SerialPort& port, Command command);
bool SendLogged(SerialPort& port, Command command, uint64_t argument);
