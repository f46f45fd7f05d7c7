#pragma once
// Everything a workflow test stands on: the shared state at its initial values, a virtual clock,
// the scripted COM ports, the notification recorder and the captured log. Declared in this order,
// so the log and the recorder go first and the ports check, last of all, that none was left open.
// A test that starts threads must let them end (WaitForWorkers) before the rig goes.

#include <cstddef>
#include <string>

#include "firmware/firmware_image.h"
#include "tests/support/app_reset.h"
#include "tests/support/log_capture.h"
#include "tests/support/notification_recorder.h"
#include "tests/support/scripted_serial.h"
#include "tests/support/virtual_clock.h"

struct WorkflowRig {
    WorkflowRig() { ResetAppState(); }
    ~WorkflowRig() { ResetAppState(); }
    WorkflowRig(const WorkflowRig&) = delete;
    WorkflowRig& operator=(const WorkflowRig&) = delete;

    VirtualClock clock;
    ScriptedSerial serial{clock};
    NotificationRecorder posts;
    LogCapture log;
};

// An image of whole blocks filled with a recognisable pattern, its CRC-32 and version set.
FirmwareImage TestImage(size_t blocks, const std::string& version);
