// The system's serial-port devices, from SetupAPI: each one's instance ID, which names the bus it
// hangs on, and the COM name its driver gave it.

#include <windows.h>

#include <setupapi.h>

// Before devguid.h: the device class GUIDs are then defined here, with no library to link.
#include <initguid.h>

#include <devguid.h>

#include <cwchar>
#include <vector>

#include "core/scoped_handle_win32.h"
#include "serial/serial_io.h"

namespace platform_serial {

namespace {

std::wstring InstanceId(HDEVINFO set, SP_DEVINFO_DATA& device) {
    DWORD needed = 0;
    SetupDiGetDeviceInstanceIdW(set, &device, nullptr, 0, &needed);
    if (needed == 0) return {};
    std::vector<wchar_t> id(needed + 1, L'\0');
    if (!SetupDiGetDeviceInstanceIdW(set, &device, id.data(), needed, nullptr)) return {};
    return id.data();
}

std::wstring PortName(HDEVINFO set, SP_DEVINFO_DATA& device) {
    const OwnedKey key = OwnValid<OwnedKey>(
        SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE));
    if (!key) return {};
    wchar_t name[64] = {};
    DWORD type = 0, bytes = sizeof(name) - sizeof(name[0]); // room for the terminator the value may lack
    const LSTATUS read = RegQueryValueExW(key.Get(), L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name),
                                          &bytes);
    if (read != ERROR_SUCCESS || type != REG_SZ) return {};
    return std::wstring(name, wcsnlen(name, bytes / sizeof(name[0])));
}

} // namespace

bool ListDevices(std::vector<SerialDeviceInfo>* devices) {
    devices->clear();
    const OwnedDeviceList list = OwnValid<OwnedDeviceList>(
        SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT));
    if (!list) return false;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; SetupDiEnumDeviceInfo(list.Get(), index, &device); ++index)
        devices->push_back({.instanceId = InstanceId(list.Get(), device), .portName = PortName(list.Get(), device)});
    // A list that broke off is not trusted either.
    return GetLastError() == ERROR_NO_MORE_ITEMS;
}

} // namespace platform_serial
