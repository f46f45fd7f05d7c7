#include "core/clock.h"

#include <chrono>
#include <thread>

#include "text/seam.h"

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

constexpr ClockHooks kSystemClock{.tickMs = SystemTickMs, .sleepMs = SystemSleepMs};
constinit Seam<ClockHooks> clockSeam{kSystemClock};

} // namespace

uint64_t TickMs() { return CurrentClockHooks().tickMs(); }

void SleepMs(uint32_t ms) { CurrentClockHooks().sleepMs(ms); }

void SetClockHooks(const ClockHooks* hooks) { clockSeam.Set(hooks); }

const ClockHooks& CurrentClockHooks() { return clockSeam.Current(); }
