#pragma once
// A seam: a record of function pointers through which a layer reaches the system, the real record
// unless a test installed its own. It lives in the lowest layer so that every layer's seam can be
// one. Each seam's header declares SetXxxHooks (nullptr restores the real record) and
// CurrentXxxHooks, both one line over a Seam. Every seam of the program:
//
//   firmware/firmware_file.h  FirmwareFileHooks  open, size and read of a firmware file
//   core/clock.h              ClockHooks         the workers' and the serial link's time and pauses
//   core/log.h                LogClockHooks      the wall clock that stamps the log and the history
//   core/notifications.h      PostHooks          how a worker posts to the window
//   core/history_file.h       HistoryFileHooks   the update history's files
//   serial/serial_io.h        SerialIoHooks      the COM ports' primitives and the device listing
//   ui/layout_scale.h         WorkAreaHooks      the monitor's work area
//   ui/worker_launch.h        WorkerLaunchHooks  how the window starts its workers
//   ui/contrast.h             ContrastHooks      the high-contrast setting
//   ui/attention.h            AttentionHooks     the taskbar button, flash, balloon and sounds

#include <atomic>

template <class Hooks>
class Seam {
public:
    explicit constexpr Seam(const Hooks& real) : real_(&real), current_(&real) {}
    Seam(const Seam&) = delete;
    Seam& operator=(const Seam&) = delete;

    // The installed record must outlive its use.
    void Set(const Hooks* hooks) { current_.store(hooks != nullptr ? hooks : real_); }
    const Hooks& Current() const { return *current_.load(); }

private:
    const Hooks* const real_;
    // Atomic: a test installs from its thread while workers read from theirs.
    std::atomic<const Hooks*> current_;
};
