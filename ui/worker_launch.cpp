#include "ui/worker_launch.h"

#include "workflows/workflows.h"

namespace {

constexpr WorkerLaunchHooks kReal{
    .startMonitor = StartInstrumentMonitor,
    .startNextMonitor = StartNextInstrumentMonitor,
    .startDetached = StartDetachedWorker,
};
const WorkerLaunchHooks* current = &kReal;

} // namespace

// Window thread only, like every caller.
void SetWorkerLaunchHooks(const WorkerLaunchHooks* hooks) { current = hooks != nullptr ? hooks : &kReal; }

const WorkerLaunchHooks& CurrentWorkerLaunchHooks() { return *current; }
