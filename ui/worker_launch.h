#pragma once
// How the window starts its worker threads. Tests install recording launchers, or ones that
// fail as a thread that cannot be created does.

struct WorkerLaunchHooks {
    void (*startMonitor)();                     // may throw std::system_error
    void (*startNextMonitor)();                 // may throw std::system_error
    void (*startDetached)(void (*procedure)()); // may throw std::system_error
};

// nullptr restores the real launchers, the workflows' own StartInstrumentMonitor,
// StartNextInstrumentMonitor and StartDetachedWorker. The hooks object must outlive its use.
void SetWorkerLaunchHooks(const WorkerLaunchHooks* hooks);
const WorkerLaunchHooks& CurrentWorkerLaunchHooks();
