#pragma once
// Test builds only (ZARVEL_CRASH_TRIGGER; the shipped program has none): with ZARVEL_TEST_CRASH
// set to "worker" a new thread faults at once, with "terminate" it calls std::terminate.
void PullCrashTrigger();
