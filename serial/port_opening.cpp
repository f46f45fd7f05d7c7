// Opening and closing a port. A device's open runs on a thread of its own, so that one that
// blocks (a Bluetooth link connecting) costs its caller no more than a deadline; and the claims
// keep every port to one holder in this process.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "core/clock.h"
#include "core/detached_thread.h"
#include "serial/serial_io.h"
#include "serial/serial_port.h"

namespace {

// One device open under way. Every field under Opening::mutex.
struct PendingOpen {
    bool blocking = false; // the device is inside a call that may block
    bool timed = false;    // a waiter has started the deadline, at since
    uint64_t since = 0;
    bool waited = false; // an attempt waits for it and takes its result
    bool done = false;   // the device's open has returned, with these:
    OpenOutcome outcome = OpenOutcome::CannotOpen;
    PortHandle handle = InvalidPortHandle();
};

// Windows refuses a second exclusive open of a port, but not every serial driver enforces the
// share mode (Wine's does not), and two workers must never talk to the station at once. Leaked on
// purpose: detached workers and openers may close ports at exit.
struct Opening {
    std::mutex mutex;
    std::condition_variable changed; // a pending open's state changed
    // Under mutex; any thread that opens or closes a port, and the openers. Null: a port open in a
    // worker's hands; else its open under way.
    std::map<int32_t, std::shared_ptr<PendingOpen>> claims;
};

Opening& State() {
    static auto* state = new Opening;
    return *state;
}

// On the opener's thread. An open that nobody waits for any more is closed: a late handle must
// not keep the port held.
void RunOpen(const SerialIoHooks* io, int32_t portNumber, const std::shared_ptr<PendingOpen>& open) {
    PortHandle handle = InvalidPortHandle();
    const OpenOutcome outcome = io->openDevice(portNumber, &handle);
    Opening& state = State();
    bool late = false;
    {
        const std::lock_guard<std::mutex> lock(state.mutex);
        open->done = true;
        open->outcome = outcome;
        open->handle = handle;
        late = !open->waited;
        if (late && outcome != OpenOutcome::Opened) state.claims.erase(portNumber);
    }
    state.changed.notify_all();
    if (!late || outcome != OpenOutcome::Opened) return;
    io->closeDevice(handle);
    const std::lock_guard<std::mutex> lock(state.mutex);
    state.claims.erase(portNumber);
}

// An opener whose open has returned waits a while for the next one: a scan opens port after port, every
// second or so, and a new thread costs more than the open itself (Wine clears a megabyte of stack for each).
constexpr auto kSpareOpenerWait = std::chrono::seconds(5);

// The openers that wait for an open, and the opens handed to them. Leaked on purpose, as Opening.
struct SpareOpeners {
    std::mutex mutex;
    std::condition_variable handed;
    std::deque<std::function<void()>> opens; // under mutex; never more than idle
    int idle = 0;                            // under mutex
};

SpareOpeners& Spares() {
    static auto* spares = new SpareOpeners;
    return *spares;
}

// On a thread nobody joins: the open, then any handed to it before it has waited long enough.
void RunOpener(std::function<void()> open) {
    SpareOpeners& spares = Spares();
    for (;;) {
        open();
        std::unique_lock<std::mutex> lock(spares.mutex);
        ++spares.idle;
        const bool handed = spares.handed.wait_for(lock, kSpareOpenerWait, [&] { return !spares.opens.empty(); });
        --spares.idle;
        if (!handed) return;
        open = std::move(spares.opens.front());
        spares.opens.pop_front();
    }
}

// To a spare opener, else on a new thread.
void StartOpen(const SerialIoHooks& io, int32_t portNumber, const std::shared_ptr<PendingOpen>& open) {
    std::function<void()> job = [&io, portNumber, open] { RunOpen(&io, portNumber, open); };
    SpareOpeners& spares = Spares();
    {
        const std::lock_guard<std::mutex> lock(spares.mutex);
        if (static_cast<size_t>(spares.idle) > spares.opens.size()) {
            spares.opens.push_back(std::move(job));
            spares.handed.notify_one();
            return;
        }
    }
    if (StartDetachedThread([job] { RunOpener(job); })) job(); // without a thread, here, as a plain open
}

// Under the lock, once the open is done: the outcome, with the claim kept only for an open port.
OpenOutcome Take(Opening& state, int32_t portNumber, const PendingOpen& open, PortHandle* handle) {
    if (open.outcome == OpenOutcome::Opened) {
        state.claims[portNumber] = nullptr;
        *handle = open.handle;
    } else {
        state.claims.erase(portNumber);
    }
    return open.outcome;
}

// The open's outcome, or nothing when its deadline passed first. Until the device reaches a call
// that may block, the opener is only starting: no deadline runs.
std::optional<OpenOutcome> Await(int32_t portNumber, PendingOpen& open, uint32_t deadlineMs, PortHandle* handle) {
    Opening& state = State();
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(state.mutex);
            state.changed.wait(lock, [&] { return open.done || open.blocking; });
            if (open.done) return Take(state, portNumber, open, handle);
        }
        const uint64_t now = TickMs();
        {
            const std::lock_guard<std::mutex> lock(state.mutex);
            if (open.done) return Take(state, portNumber, open, handle);
            if (!open.timed) open.since = now;
            open.timed = true;
            if (now - open.since >= deadlineMs) {
                open.waited = false;
                return std::nullopt;
            }
        }
        SleepMs(kOpenPollMs);
    }
}

} // namespace

void NoteOpenBlocking(int portNumber, bool blocking) {
    Opening& state = State();
    {
        const std::lock_guard<std::mutex> lock(state.mutex);
        const auto claim = state.claims.find(portNumber);
        if (claim == state.claims.end() || !claim->second) return;
        claim->second->blocking = blocking;
    }
    state.changed.notify_all();
}

bool IsPortOpen(const SerialPort& port) { return port.handle != InvalidPortHandle(); }

PortOpenResult TryOpenPort(SerialPort& port, int portNumber, uint32_t deadlineMs) {
    ClosePort(port);
    port.portNumber = portNumber;
    Opening& state = State();
    const SerialIoHooks& io = CurrentSerialIoHooks();
    std::shared_ptr<PendingOpen> open;
    bool fresh = false;
    {
        const std::lock_guard<std::mutex> lock(state.mutex);
        const auto claim = state.claims.find(portNumber);
        if (claim == state.claims.end()) {
            fresh = true;
            open = state.claims[portNumber] = std::make_shared<PendingOpen>();
        } else if (claim->second == nullptr) {
            return PortOpenResult::HeldHere;
        } else if (claim->second->waited || claim->second->done) {
            return PortOpenResult::Pending;
        } else {
            open = claim->second;
        }
        open->waited = true;
    }
    if (fresh) StartOpen(io, portNumber, open);
    PortHandle handle = InvalidPortHandle();
    const std::optional<OpenOutcome> outcome = Await(portNumber, *open, deadlineMs, &handle);
    if (!outcome) return PortOpenResult::Slow;
    switch (*outcome) {
    case OpenOutcome::Opened: port.handle = handle; return PortOpenResult::Opened;
    case OpenOutcome::InUse: return PortOpenResult::InUse;
    case OpenOutcome::SettingsFailed: port.portNumber = 0; return PortOpenResult::Failed;
    case OpenOutcome::CannotOpen: break;
    }
    return PortOpenResult::Failed;
}

void ClosePort(SerialPort& port) {
    if (IsPortOpen(port)) {
        // Closed before it is released, so that no other opener meets a handle still open.
        CurrentSerialIoHooks().closeDevice(port.handle);
        Opening& state = State();
        const std::lock_guard<std::mutex> lock(state.mutex);
        state.claims.erase(port.portNumber);
    }
    port.handle = InvalidPortHandle();
    port.portNumber = 0;
}
