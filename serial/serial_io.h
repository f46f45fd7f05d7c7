#pragma once
// The few operations the port logic needs from the platform. serial_io_win32.cpp fills them with
// Win32 calls, serial_io_posix.cpp with termios calls; tests install a scripted device.
// Enumeration and the Transact loop are written once, above these, in serial_port.cpp; opening
// and closing with their bookkeeping in port_opening.cpp.

#include <cstdint>
#include <string>
#include <vector>

#include "serial/serial_port.h"

enum class OpenOutcome {
    Opened,         // handle valid and configured
    CannotOpen,     // the device could not be opened (absent, no rights, another fault)
    InUse,          // refused as access denied: another program holds the port
    SettingsFailed, // opened, but reading or writing the line settings failed; already closed
};

// One device of the system's class of serial ports.
struct SerialDeviceInfo {
    std::wstring instanceId; // e.g. "BTHENUM\{00001101-…}…"; empty when the system had none
    std::wstring portName;   // the device's "PortName" value, e.g. "COM4"; empty when it has none
};

// closeDevice, purgeInput and flush share one signature: fill a table by member name, not by position.
struct SerialIoHooks {
    // QueryDosDeviceW(nullptr, buffer, capacity): characters stored, or 0 with *error set.
    uint32_t (*queryDosDevices)(wchar_t* buffer, uint32_t capacity, uint32_t* error);
    // Opens "\\.\COM<n>" exclusively and applies queues, line settings, timeouts, DTR and the
    // initial purge of both directions. Runs on a thread of its own: it calls
    // NoteOpenBlocking(n, true) before any call that may block.
    OpenOutcome (*openDevice)(int portNumber, PortHandle* handle);
    void (*closeDevice)(PortHandle handle);
    void (*purgeInput)(PortHandle handle);
    // Writes size bytes in one call; false on failure. *written reports what went out.
    bool (*write)(PortHandle handle, const char* data, uint32_t size, uint32_t* written);
    void (*flush)(PortHandle handle);
    // Reads up to capacity bytes under the port timeouts; false on failure or once the device has
    // gone (unplugged), *got may be 0.
    bool (*read)(PortHandle handle, char* buffer, uint32_t capacity, uint32_t* got);
    // The present devices of the serial-port class; false when the system cannot list them.
    bool (*listDevices)(std::vector<SerialDeviceInfo>* devices);
};

// An open's deadline runs only while its device is inside a call that may block (a Bluetooth
// link connecting), so a thread that starts late is never taken for a slow port. A device's open
// says so before such a call and, where it knows, when it has left it.
void NoteOpenBlocking(int portNumber, bool blocking);

// The platform's own primitives, declared once and defined by one file per platform: on Windows
// the COM ports (serial_io_win32.cpp); elsewhere no port is listed and COM n opens the link
// com<n> in $ZARVEL_COM_LINK_DIR (none without it), for the serial benchmark's native run and
// the native link test (serial_io_posix.cpp). Each behaves as the SerialIoHooks member of its name.
namespace platform_serial {
uint32_t QueryDosDevices(wchar_t* buffer, uint32_t capacity, uint32_t* error);
OpenOutcome OpenDevice(int portNumber, PortHandle* handle);
void CloseDevice(PortHandle handle);
void PurgeInput(PortHandle handle);
bool Write(PortHandle handle, const char* data, uint32_t size, uint32_t* written);
void Flush(PortHandle handle);
bool Read(PortHandle handle, char* buffer, uint32_t capacity, uint32_t* got);
bool ListDevices(std::vector<SerialDeviceInfo>* devices);
} // namespace platform_serial

// nullptr restores the platform's own, platform_serial's functions. The hooks object must outlive its use.
void SetSerialIoHooks(const SerialIoHooks* hooks);
const SerialIoHooks& CurrentSerialIoHooks();
