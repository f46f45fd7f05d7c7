#pragma once
// A virtual clock for tests. While one exists it is the clock of TickMs/SleepMs: time stands
// still until a thread sleeps (SleepMs advances it by the sleep) or the test or a fake device
// advances it. A 15 s wait or a 120 s deadline then passes in microseconds. Thread-safe; one
// instance at a time.

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

class VirtualClock {
public:
    struct Sleep {
        uint64_t at;  // virtual time when the sleep began
        uint32_t ms;  // its length
    };

    // Installs itself through SetClockHooks; the start is well above 0 like a real tick count.
    explicit VirtualClock(uint64_t startMs = 1000000);
    // Restores the system clock.
    ~VirtualClock();
    VirtualClock(const VirtualClock&) = delete;
    VirtualClock& operator=(const VirtualClock&) = delete;

    uint64_t Now() const;
    void Advance(uint64_t ms);
    // Moves to tick; a tick in the past changes nothing (time never runs backwards).
    void AdvanceTo(uint64_t tick);

    // Every SleepMs since the clock was made, in the order they happened.
    std::vector<Sleep> Sleeps() const;
    // The sleeps of exactly this length (e.g. a worker's 1500 ms pauses among Transact's 20 ms ones).
    std::vector<Sleep> SleepsOf(uint32_t ms) const;

    // Called on the sleeping thread after each SleepMs has advanced the time. Lets a test act
    // "during" a pause, e.g. set appClosing while a worker waits. Pass {} to remove.
    void SetSleepObserver(std::function<void(const Sleep&)> observer);

private:
    static uint64_t HookTickMs();
    static void HookSleepMs(uint32_t ms);
    void SleepFor(uint32_t ms);

    mutable std::mutex mutex_;
    uint64_t now_;
    std::vector<Sleep> sleeps_;
    std::function<void(const Sleep&)> observer_;
};
