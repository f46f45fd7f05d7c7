#pragma once
// The worker procedures that talk to the data station. Each runs on its own detached thread,
// owns its own SerialPort and reports to the window only through posted notifications.

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "serial/serial_port.h"

// What a scan found besides the port, for the callers that want it.
struct StationScan {
    std::string stationReply; // the station's BGV reply, when it was found
    std::vector<int> taken;   // the ports another program holds
};

// Scans the COM ports with BGV (preferred port first); true leaves `port` open on the station.
// Bluetooth ports are never opened.
bool FindStation(SerialPort& port, int preferredPort, StationScan* scan = nullptr);

// Watches for the station and the instrument until one check succeeds.
void InstrumentMonitor();
// The monitor after an update, when the technician goes on to the next instrument: it waits
// until the station reports the updated instrument lifted, then watches as InstrumentMonitor.
void NextInstrumentMonitor();
// Status line 2 until the updated instrument is lifted; the window shows it at once as well.
constexpr const wchar_t* kLiftUpdatedInstrumentText = L"○  Снимите обновлённый прибор и установите следующий";
// Start InstrumentMonitor or NextInstrumentMonitor on a detached thread unless operationBusy
// is set. Throw std::system_error when the thread cannot be created.
void StartInstrumentMonitor();
void StartNextInstrumentMonitor();

// One whole firmware update, from station discovery to the version check.
void UpdateWorker();
// Declines the update: BB to the station, then Cancelled.
void DisconnectWorker();

// Logs what + " stopped by an internal error: " + the error's message; never throws.
void LogInternalError(const char* what, const std::exception& error) noexcept;

// Runs procedure on a new detached thread counted in App().runningWorkers.
// Throws std::system_error when the thread cannot be created (nothing is then counted).
void StartDetachedWorker(void (*procedure)());
// Waits until no counted worker runs or timeoutMs passed (real time); true when none runs.
bool WaitForWorkers(uint32_t timeoutMs);
