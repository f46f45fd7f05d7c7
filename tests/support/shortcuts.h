#pragma once
// Shortcuts over the program's own functions that only tests take.

#include <string>

#include "core/app_state.h"
#include "core/crash_dump.h"
#include "serial/serial_port.h"

inline bool OpenPort(SerialPort& port, int portNumber) { return TryOpenPort(port, portNumber, kOpenDeadlineMs) == PortOpenResult::Opened; }
inline std::string CrashDumpName(const LogTime& time, int nth) {
    char name[kCrashDumpNameChars];
    FormatCrashDumpName(time, nth, name);
    return name;
}
// 0 restores the program's own size.
inline void SetLogRotationBytes(uint64_t bytes) { App().logRotationBytes.store(bytes != 0 ? bytes : kLogRotationBytes); }
