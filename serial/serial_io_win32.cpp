// The serial primitives on Win32: a COM port is a file handle opened exclusively and driven
// with synchronous reads and writes under the driver's timeouts.

#include <windows.h>

#include "core/scoped_handle_win32.h"
#include "serial/serial_io.h"

namespace platform_serial {

uint32_t QueryDosDevices(wchar_t* buffer, uint32_t capacity, uint32_t* error) {
    const DWORD stored = QueryDosDeviceW(nullptr, buffer, capacity);
    if (stored == 0) *error = GetLastError();
    return stored;
}

// Baud rate, frame and DTR as the station expects; every other field stays as the driver had it.
bool ApplyLineSettings(HANDLE handle) {
    DCB settings{};
    settings.DCBlength = sizeof(settings);
    if (!GetCommState(handle, &settings)) return false;
    settings.BaudRate = CBR_115200;
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    settings.fDtrControl = DTR_CONTROL_ENABLE;
    return SetCommState(handle, &settings) != FALSE;
}

OpenOutcome OpenDevice(int portNumber, PortHandle* handle) {
    const std::wstring path = ComDevicePath(portNumber);
    // A Bluetooth port's open waits for its radio link, and its settings calls may too.
    NoteOpenBlocking(portNumber, true);
    // No sharing: a port held by another handle, ours or another program's, fails here.
    OwnedHandle device = OwnFile(
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!device) {
        const DWORD error = GetLastError();
        // The system's answer while another program holds the port.
        return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? OpenOutcome::InUse
                                                                                : OpenOutcome::CannotOpen;
    }

    // Queues, timeouts, DTR and purges are left unchecked: a USB-serial driver may refuse one of
    // them and still carry the station's lines, and only the line settings decide that.
    SetupComm(device.Get(), kPortQueueBytes, kPortQueueBytes);
    if (!ApplyLineSettings(device.Get())) return OpenOutcome::SettingsFailed;
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = kReadIntervalTimeoutMs;
    timeouts.ReadTotalTimeoutMultiplier = kReadTotalMultiplierMs;
    timeouts.ReadTotalTimeoutConstant = kReadTotalConstantMs;
    timeouts.WriteTotalTimeoutMultiplier = kWriteTotalMultiplierMs;
    timeouts.WriteTotalTimeoutConstant = kWriteTotalConstantMs;
    SetCommTimeouts(device.Get(), &timeouts);
    // The station answers only once it sees DTR raised.
    EscapeCommFunction(device.Get(), SETDTR);
    PurgeComm(device.Get(), PURGE_TXCLEAR | PURGE_RXCLEAR);
    *handle = device.Take();
    return OpenOutcome::Opened;
}

void CloseDevice(PortHandle handle) { OwnedHandle(static_cast<HANDLE>(handle)).Reset(); }

void PurgeInput(PortHandle handle) { PurgeComm(static_cast<HANDLE>(handle), PURGE_RXCLEAR); }

bool Write(PortHandle handle, const char* data, uint32_t size, uint32_t* written) {
    DWORD done = 0;
    const BOOL ok = WriteFile(static_cast<HANDLE>(handle), data, size, &done, nullptr);
    *written = done;
    return ok != FALSE;
}

void Flush(PortHandle handle) { FlushFileBuffers(static_cast<HANDLE>(handle)); }

bool Read(PortHandle handle, char* buffer, uint32_t capacity, uint32_t* got) {
    DWORD done = 0;
    const BOOL ok = ReadFile(static_cast<HANDLE>(handle), buffer, capacity, &done, nullptr);
    *got = done;
    if (ok == FALSE) return false;
    if (done > 0) return true;
    // A port whose device has gone may go on returning empty reads (Wine does so when the far
    // side of a pseudo-terminal hangs up), but its line status can no longer be read.
    DWORD lineErrors = 0;
    return ClearCommError(static_cast<HANDLE>(handle), &lineErrors, nullptr) != FALSE;
}

} // namespace platform_serial
