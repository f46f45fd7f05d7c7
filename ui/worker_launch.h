#pragma once
// How the window starts its worker threads. Tests install recording launchers, or ones that
// fail as a thread that cannot be created does.

struct WorkerLaunch {
    void (*startMonitor)();                     // may throw std::system_error
    void (*startNextMonitor)();                 // may throw std::system_error
    void (*startDetached)(void (*procedure)()); // may throw std::system_error
};

// The workflows' own StartInstrumentMonitor, StartNextInstrumentMonitor and StartDetachedWorker.
const WorkerLaunch& RealWorkerLaunch();
// nullptr restores the real launchers. The object must outlive its use.
void SetWorkerLaunch(const WorkerLaunch* launch);
const WorkerLaunch& CurrentWorkerLaunch();
