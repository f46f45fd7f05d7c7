#pragma once
// Test builds only (ZARVEL_CRASH_TRIGGER; the shipped program has none): with ZARVEL_TEST_CRASH
// set to "worker" a new thread faults at once, with "terminate" it calls std::terminate; with
// "window" a window procedure faults in WM_CREATE, with "heap" the main thread faults while
// another thread holds the heap that malloc and new use.
void PullCrashTrigger();
