#pragma once
// A crash leaves a minidump beside the log for support, "Zarvel-Update-crash-YYYYMMDD-HHMMSS.dmp",
// and the log says where; the next start keeps the newest three and names the newest once.

#include <cstddef>
#include <filesystem>

#include "core/log.h"

constexpr size_t kKeptCrashDumps = 3;

// Room for any dump's name and its final zero.
constexpr size_t kCrashDumpNameChars = 64;
// The dump's file name for a crash at `time`, the nth dump of that second (1, 2, ...): the
// first has no number, the others end in "-2", "-3". Without the heap, for the crash handler.
void FormatCrashDumpName(const LogTime& time, int nth, char (&name)[kCrashDumpNameChars]);
// Writes value in base (10 or 16, upper case) with at least width digits at `at`, without the
// heap; returns the end. The caller leaves room.
char* PutDigits(char* at, unsigned long value, unsigned base, int width);

// At start-up: removes all but the kKeptCrashDumps newest dumps in folder, and logs "A crash
// dump of an earlier run is in <name>" for the newest one no start has named yet. Never throws.
void ReviewCrashDumps(const std::filesystem::path& folder);

// Windows: from now on an unhandled exception on any thread, std::terminate or abort has a
// thread started here write a dump into folder and log it, and ends the process with the
// exception's code, without any dialog.
void StartCrashDumps(const std::filesystem::path& folder);
