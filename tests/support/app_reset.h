#pragma once
// The process has one AppState; tests that touch it start from its initial values.

// Flags false, preferredPort 0, instrument record and firmware slot empty, page 1, progress 0.
// Call only while no worker runs.
void ResetAppState();
