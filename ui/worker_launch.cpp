#include "ui/worker_launch.h"

#include "workflows/workflows.h"

namespace {

constexpr WorkerLaunch kReal{
    .startMonitor = StartInstrumentMonitor,
    .startNextMonitor = StartNextInstrumentMonitor,
    .startDetached = StartDetachedWorker,
};
const WorkerLaunch* current = &kReal;

} // namespace

const WorkerLaunch& RealWorkerLaunch() { return kReal; }

// Window thread only, like every caller.
void SetWorkerLaunch(const WorkerLaunch* launch) { current = launch != nullptr ? launch : &kReal; }

const WorkerLaunch& CurrentWorkerLaunch() { return *current; }
