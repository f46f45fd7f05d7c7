#pragma once
// The diary in "Zarvel-Update.log": one line per event, "hh:mm:ss", two spaces, the message.

#include <filesystem>
#include <string>

// Opens the log for appending. A log that cannot be opened leaves every WriteLog silent.
void OpenLog(const std::filesystem::path& path);
// Closes the log; later WriteLog calls write nothing. Safe while workers still log.
void CloseLog();

// Writes "hh:mm:ss  " + message + line feed and flushes. Thread-safe; lines never interleave.
void WriteLog(const std::string& message);

struct LogTime {
    int hour;
    int minute;
    int second;
};
// nullptr restores the local wall clock.
void SetLogTimeSource(LogTime (*source)());
