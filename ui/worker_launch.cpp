#include "ui/worker_launch.h"

#include "text/seam.h"
#include "workflows/workflows.h"

namespace {

constexpr WorkerLaunchHooks kReal{
    .startMonitor = StartInstrumentMonitor,
    .startNextMonitor = StartNextInstrumentMonitor,
    .startDetached = StartDetachedWorker,
};
constinit Seam<WorkerLaunchHooks> launchSeam{kReal};

} // namespace

void SetWorkerLaunchHooks(const WorkerLaunchHooks* hooks) { launchSeam.Set(hooks); }

const WorkerLaunchHooks& CurrentWorkerLaunchHooks() { return launchSeam.Current(); }
