#pragma once
// The one process-wide state shared by the window thread and the workers. The window-only
// drawing resources (fonts, brushes, pictures, icons) live beside it in ui/ui_resources.h.

#include <atomic>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "core/log.h"
#include "firmware/firmware_image.h"

// What an update learnt on its way, beside its result: where it found the station, what the
// station answered BGV, and the battery voltage it read before it began.
struct UpdateFacts {
    int32_t comPort = 0; // 0: no station found
    std::string stationReply;
    std::optional<double> batteryVolts; // none: not read, or not readable
};

// What the scans of every worker noted about ports, for the rest of the run.
struct PortNotes {
    std::mutex mutex;
    std::set<int> slow;          // under mutex: missed a deadline once, so opened with the longer one
    std::set<int> saidSlow;      // under mutex: logged as slow, until the port opens again
    std::set<int> saidTaken;     // under mutex: logged as another program's, until seen open or gone
    std::set<int> saidBluetooth; // under mutex: logged once a run
};

struct AppState {
    // Window thread writes it once at creation, before any worker starts; workers read it to post.
    void* mainWindow = nullptr;

    // Window thread sets it (exchange) when the main window is destroyed; never cleared.
    // Monitor, station discovery and the update's reconnect stage read it.
    std::atomic<bool> appClosing{false};
    // Window thread exchanges it to true to start an update or a disconnect and clears it on
    // MSG_OPERATION_DONE; the disconnect worker clears it before its last posts.
    std::atomic<bool> operationBusy{false};
    // Window thread sets it on a cancel click while cancelAllowed; window and update worker clear it.
    std::atomic<bool> cancelRequested{false};
    // Update worker: true at its start, false before the last block; window clears it on MSG_OPERATION_DONE.
    std::atomic<bool> cancelAllowed{false};
    // Monitor writes (exchange) where it found the station; every worker reads it for discovery.
    std::atomic<int32_t> preferredPort{0};
    // Station discovery, on every worker's thread; a worker may still scan at exit.
    PortNotes portNotes;

    // Guards the monitor's publication of batteryVoltage, instrumentVersion and instrumentReady.
    // The window thread reads them without it, after MSG_INSTRUMENT_CHECKED (posted inside the lock).
    std::mutex instrumentMutex;
    double batteryVoltage = 0.0;
    std::string instrumentVersion; // the trimmed GV reply, as the instrument sent it

    // Firmware slot: written by the window thread only (firmware selection), read by the update
    // worker without a lock while the update page hides the way to change it.
    FirmwareImage firmware;
    bool firmwareReady = false;
    bool instrumentReady = false;

    // The update worker writes it once, under updateMutex, just before its MSG_OPERATION_DONE;
    // the window reads it under the lock when it handles that message, for the history.
    std::mutex updateMutex;
    UpdateFacts updateFacts;

    // The log file; only WriteLog touches it, under logMutex.
    std::ofstream log;
    std::mutex logMutex;
    // The size from which WriteLog rotates the log; the program never changes it, tests make it small.
    std::atomic<uint64_t> logRotationBytes{kLogRotationBytes};

    // Window thread only.
    int32_t wizardStep = 1;
    int32_t progressPercent = 0;

    // Detached workers still running; lets shutdown wait a bounded time for them.
    std::atomic<int> runningWorkers{0};
};

// The single instance. It is never destroyed, so a detached worker that outlives the message
// loop can never touch freed state.
AppState& App();
