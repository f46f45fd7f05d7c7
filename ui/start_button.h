#pragma once
// The Start button: enabled exactly when the Start rule holds. The pages, the file choice and the
// main window each look again after a change of what the rule reads. Window thread only.

// The Start rule.
bool StartAllowed(bool firmwareReady, double batteryVolts, bool instrumentReady, bool riskAccepted, bool operationBusy);
// Enables Start exactly when the Start rule holds.
void UpdateStartButton();

// From the check page's cancel until its Cancelled is handled; Start counts it as busy, since the
// disconnect worker clears operationBusy before it posts that result.
void SetDisconnecting(bool disconnecting);
bool Disconnecting();
