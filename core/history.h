#pragma once
// The update history "Zarvel-Update-history.csv" beside the log: one line for every update that
// started, so that a service centre can show what it did without reading the log. UTF-8 with a
// byte-order mark, ';' between fields and CR LF after each line, so that Excel on a Russian
// Windows opens it in columns.

#include <cstdint>
#include <filesystem>
#include <string>

#include "core/log.h"
#include "core/notifications.h"

struct HistoryEntry {
    LogTime handled;           // when the window handled the result, local time
    int32_t comPort = 0;       // 0: no station found
    std::string station;       // the station's BGV reply as the log shows it
    std::string versionBefore; // the instrument's version as the log shows it
    std::string fileName;      // UTF-8
    std::string fileVersion;
    uint32_t crc32 = 0;
    uint64_t blocks = 0;
    double batteryVolts = 0.0;
    uint64_t seconds = 0;            // from the Start click
    OperationResult result = Failed; // any value but Succeeded and Cancelled is a failure
    std::string message;             // UTF-8: what the user was shown for a failure or a cancel
};

// The header and one entry as lines of the file, without their line ends.
std::string HistoryHeader();
std::string HistoryLine(const HistoryEntry& entry);

// Where the lines go, opened by the log's rules (no links, a plain file of its own); nothing is
// written before it is set. Lines that cannot go in wait in "Zarvel-Update-history-pending.csv"
// beside it (the same format), or in memory while that file cannot take them either.
void SetHistoryPath(const std::filesystem::path& path);

// What an append that could not reach the history leaves to do.
struct HistoryBlockage {
    bool told = false;      // the first line of a blockage: logged now, the user is to be told once
    bool linesWait = false; // retry with FlushHistory until it says none wait
    uint32_t error = 0;     // the Windows error that refused the history
};
// Appends the entry's line after every waiting line, after the header when the file is new. Never
// throws; on the window thread.
HistoryBlockage AppendHistory(const HistoryEntry& entry) noexcept;
// Adds the waiting lines to the history (at start-up, while they wait, at exit); true while lines
// still wait.
bool FlushHistory() noexcept;
// A sharing or lock violation: the file is open in another program.
bool IsHistoryInUse(uint32_t error);
