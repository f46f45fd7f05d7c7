#include "ui/start_button.h"

#include <windows.h>

#include "core/app_state.h"
#include "core/battery.h"
#include "ui/control_ids.h"
#include "ui/keyboard_focus.h"
#include "ui/window_helpers.h"

namespace {

bool disconnecting = false; // window thread only

} // namespace

bool StartAllowed(bool firmwareReady, double batteryVolts, bool instrumentReady, bool riskAccepted,
                  bool operationBusy) {
    return firmwareReady && batteryVolts >= kLowestUpdateVolts && instrumentReady && riskAccepted && !operationBusy;
}

void UpdateStartButton() {
    const AppState& app = App();
    const bool riskAccepted = SendMessageW(Control(IDC_ACCEPT_RISK), BM_GETCHECK, 0, 0) == BST_CHECKED;
    const bool busy = app.operationBusy.load() || disconnecting;
    const bool allowed = StartAllowed(app.firmwareReady, app.batteryVoltage, app.instrumentReady, riskAccepted, busy);
    EnableWindow(Control(IDC_START), allowed ? TRUE : FALSE);
    KeepFocusAlive();
}

void SetDisconnecting(bool value) { disconnecting = value; }

bool Disconnecting() { return disconnecting; }
