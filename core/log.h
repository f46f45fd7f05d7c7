#pragma once
// The diary in "Zarvel-Update.log": one line per event, "hh:mm:ss", two spaces, the message.
// It stays small: once it has reached 10 MiB it becomes "Zarvel-Update.1.log" (replacing an
// older one) and a new log begins.

#include <cstdint>
#include <filesystem>
#include <string>

// The size from which WriteLog first renames the log to its ".1" name.
constexpr uint64_t kLogRotationBytes = 10 * 1024 * 1024;

// Opens the log for appending. A log that cannot be opened leaves every WriteLog silent.
void OpenLog(const std::filesystem::path& path);
// Closes the log; later WriteLog calls write nothing. Safe while workers still log.
void CloseLog();

// Writes "hh:mm:ss  " + message + line feed and flushes. Thread-safe; lines never interleave.
// A log that has reached the rotation size is first renamed to the ".1" name and begun anew.
void WriteLog(const std::string& message);
// WriteLog only if the log is free at once, without the heap and without rotating; false when
// another thread holds it. For a crash, whose thread may have stopped while holding either.
bool TryWriteLog(const char* message);

struct LogTime {
    int hour;
    int minute;
    int second;
    // The date, which the log itself does not show; 0 where a test's clock leaves it out.
    int year = 0;
    int month = 0;
    int day = 0;
};
// The log's clock; tests fix the time every line is stamped with.
struct LogClockHooks {
    LogTime (*now)(); // the local time
};
// nullptr restores the local wall clock. The hooks object must outlive its use.
void SetLogClockHooks(const LogClockHooks* hooks);
const LogClockHooks& CurrentLogClockHooks();
// The local time by the log's clock, for everything that stamps a record of this run.
LogTime LogClockNow();
