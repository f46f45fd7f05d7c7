// Natively the program has no COM ports: the list is empty and every port fails to open, so the
// port logic above runs unchanged and tests install a scripted device in place of these.

#include "serial/serial_io.h"

namespace {

// An empty device list: just the empty name that ends it.
uint32_t QueryDosDevices(wchar_t* buffer, uint32_t capacity, uint32_t* error) {
    if (capacity == 0) {
        *error = 122;
        return 0;
    }
    buffer[0] = L'\0';
    return 1;
}

OpenOutcome OpenDevice(int, PortHandle*) { return OpenOutcome::CannotOpen; }
void CloseDevice(PortHandle) {}
void PurgeInput(PortHandle) {}
bool Write(PortHandle, const char*, uint32_t, uint32_t* written) {
    *written = 0;
    return false;
}
void Flush(PortHandle) {}
bool Read(PortHandle, char*, uint32_t, uint32_t* got) {
    *got = 0;
    return false;
}

constexpr SerialIo kNoSerialIo{QueryDosDevices, OpenDevice, CloseDevice, PurgeInput, Write, Flush, Read};

} // namespace

const SerialIo& PlatformSerialIo() { return kNoSerialIo; }
