#include "core/clock.h"

#include <atomic>
#include <chrono>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

uint64_t SystemTickMs() {
#ifdef _WIN32
    return GetTickCount64();
#else
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
#endif
}

void SystemSleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

const ClockHooks kSystemClock{.tickMs = SystemTickMs, .sleepMs = SystemSleepMs};
std::atomic<const ClockHooks*> currentClock{&kSystemClock};

} // namespace

uint64_t TickMs() { return CurrentClockHooks().tickMs(); }

void SleepMs(uint32_t ms) { CurrentClockHooks().sleepMs(ms); }

void SetClockHooks(const ClockHooks* hooks) { currentClock.store(hooks ? hooks : &kSystemClock); }

const ClockHooks& CurrentClockHooks() { return *currentClock.load(); }
