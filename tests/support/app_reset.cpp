#include "tests/support/app_reset.h"

#include <mutex>

#include "core/app_state.h"

void ResetAppState() {
    AppState& app = App();
    app.appClosing.store(false);
    app.operationBusy.store(false);
    app.cancelRequested.store(false);
    app.cancelAllowed.store(false);
    app.preferredPort.store(0);
    {
        std::lock_guard<std::mutex> lock(app.instrumentMutex);
        app.batteryVoltage = 0.0;
        app.instrumentReady = false;
    }
    app.firmware = FirmwareImage{};
    app.firmwareReady = false;
    app.wizardStep = 1;
    app.progressPercent = 0;
}
