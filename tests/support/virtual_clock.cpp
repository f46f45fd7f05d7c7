#include "tests/support/virtual_clock.h"

#include <atomic>

#include "core/clock.h"

namespace {

std::atomic<VirtualClock*> installed{nullptr};

} // namespace

VirtualClock::VirtualClock(uint64_t startMs) : now_(startMs) {
    static const ClockHooks hooks{HookTickMs, HookSleepMs};
    installed.store(this);
    SetClockHooks(&hooks);
}

VirtualClock::~VirtualClock() {
    SetClockHooks(nullptr);
    installed.store(nullptr);
}

uint64_t VirtualClock::Now() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return now_;
}

void VirtualClock::Advance(uint64_t ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    now_ += ms;
}

void VirtualClock::AdvanceTo(uint64_t tick) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (tick > now_) now_ = tick;
}

std::vector<VirtualClock::Sleep> VirtualClock::Sleeps() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sleeps_;
}

std::vector<VirtualClock::Sleep> VirtualClock::SleepsOf(uint32_t ms) const {
    std::vector<Sleep> matching;
    for (const Sleep& sleep : Sleeps()) {
        if (sleep.ms == ms) matching.push_back(sleep);
    }
    return matching;
}

void VirtualClock::SetSleepObserver(std::function<void(const Sleep&)> observer) {
    std::lock_guard<std::mutex> lock(mutex_);
    observer_ = std::move(observer);
}

void VirtualClock::SleepFor(uint32_t ms) {
    Sleep sleep{};
    std::function<void(const Sleep&)> observer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sleep = {now_, ms};
        now_ += ms;
        sleeps_.push_back(sleep);
        observer = observer_;
    }
    // Outside the lock: the observer may read or advance the clock.
    if (observer) observer(sleep);
}

uint64_t VirtualClock::HookTickMs() { return installed.load()->Now(); }

void VirtualClock::HookSleepMs(uint32_t ms) { installed.load()->SleepFor(ms); }
