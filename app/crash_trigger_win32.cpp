// Test builds only: the release is built without this file, and its check proves it.

#include <windows.h>

#include <cstring>
#include <exception>
#include <thread>

#include "app/crash_trigger.h"

void PullCrashTrigger() {
    char what[16] = {};
    if (GetEnvironmentVariableA("ZARVEL_TEST_CRASH", what, sizeof(what)) == 0) return;
    const bool terminate = std::strcmp(what, "terminate") == 0;
    std::thread([terminate] {
        if (terminate) std::terminate();
        // Volatile both ways: the compiler must make the very access.
        volatile int* volatile nowhere = nullptr;
        *nowhere = 1;
    }).detach();
}
