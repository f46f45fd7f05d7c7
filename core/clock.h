#pragma once
// The one source of time for the workers and the serial link. Every pause and every deadline
// goes through TickMs/SleepMs, so tests can swap in a virtual clock and run a 120 s reconnect
// wait in milliseconds.

#include <cstdint>

struct ClockHooks {
    uint64_t (*tickMs)();         // monotonic milliseconds since some fixed start
    void (*sleepMs)(uint32_t ms); // blocks the calling thread for ms milliseconds
};

uint64_t TickMs();
void SleepMs(uint32_t ms);

// nullptr restores the system clock. The hooks object must outlive its use.
void SetClockHooks(const ClockHooks* hooks);
const ClockHooks& CurrentClockHooks();
