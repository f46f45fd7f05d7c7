#pragma once
// Owners for the system's handles below the window: kernel handles (files, threads, events,
// tokens), registry keys, SetupAPI device lists and LocalAlloc memory. Windows code only.

#include <windows.h>

#include <setupapi.h>

#include "core/scoped_handle.h"

inline bool CloseKernelHandle(HANDLE handle) { return CloseHandle(handle) != FALSE; }
inline bool CloseRegistryKey(HKEY key) { return RegCloseKey(key) == ERROR_SUCCESS; }
inline bool DestroyDeviceList(HDEVINFO list) { return SetupDiDestroyDeviceInfoList(list) != FALSE; }
template <typename Memory>
bool FreeLocalMemory(Memory* memory) {
    return LocalFree(memory) == nullptr;
}

using OwnedHandle = Owned<HANDLE, CloseKernelHandle>;
using OwnedKey = Owned<HKEY, CloseRegistryKey>;
using OwnedDeviceList = Owned<HDEVINFO, DestroyDeviceList>;
template <typename Memory>
using LocalMemory = Owned<Memory*, FreeLocalMemory<Memory>>;

// For the calls that say failure with INVALID_HANDLE_VALUE (CreateFileW, SetupDiGetClassDevsW,
// SetupDiOpenDevRegKey): that value is held as none.
template <typename Guard>
Guard OwnValid(typename Guard::HandleType handle) {
    return Guard(handle == reinterpret_cast<typename Guard::HandleType>(INVALID_HANDLE_VALUE) ? nullptr : handle);
}
inline OwnedHandle OwnFile(HANDLE file) { return OwnValid<OwnedHandle>(file); }
