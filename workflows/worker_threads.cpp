#include <chrono>
#include <exception>
#include <string>
#include <system_error>
#include <thread>

#include "core/app_state.h"
#include "core/detached_thread.h"
#include "core/log.h"
#include "workflows/workflows.h"

namespace {

constexpr auto kWorkerPollInterval = std::chrono::milliseconds(5);

// An error escaping a thread would end the process; the worker just ends instead.
void RunCounted(void (*procedure)()) {
    try {
        procedure();
    } catch (const std::exception& error) {
        try {
            WriteLog(std::string("Worker stopped by an error: ") + error.what());
        } catch (...) {
        }
    } catch (...) {
    }
    App().runningWorkers.fetch_sub(1);
}

} // namespace

void LogInternalError(const char* what, const std::exception& error) noexcept {
    try {
        WriteLog(std::string(what) + " stopped by an internal error: " + error.what());
    } catch (...) {
        // Without memory for the line, the log simply misses it.
    }
}

void StartDetachedWorker(void (*procedure)()) {
    // Counted before the thread exists, so a waiter never misses a worker that is just starting.
    App().runningWorkers.fetch_add(1);
    try {
        if (const std::error_code error = StartDetachedThread([procedure] { RunCounted(procedure); }))
            throw std::system_error(error);
    } catch (...) {
        App().runningWorkers.fetch_sub(1);
        throw;
    }
}

bool WaitForWorkers(uint32_t timeoutMs) {
    // Real time on purpose: shutdown must not depend on the clock seam.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (App().runningWorkers.load() > 0) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kWorkerPollInterval);
    }
    return true;
}
