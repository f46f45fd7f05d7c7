#pragma once
// The file layer under LoadFirmwareImage: open, size and read of one firmware file. Tests swap
// it to see whether a file was touched at all and to inject read faults.

#include <cstdint>
#include <cstdio>
#include <string>

struct FirmwareFileHooks {
    // Opens a regular disk file for binary reading while other programs keep it open; nullptr on
    // failure and for anything else (a pipe, a device, a folder).
    std::FILE* (*open)(const std::wstring& path);
    // The size in bytes of an open file; false when it cannot be told.
    bool (*size)(std::FILE* file, uint64_t& size);
    // Reads as fread does: fewer than count items means end of file or an error.
    size_t (*read)(void* buffer, size_t size, size_t count, std::FILE* file);
};

// nullptr restores the system's. The hooks object must outlive its use.
void SetFirmwareFileHooks(const FirmwareFileHooks* hooks);
const FirmwareFileHooks& CurrentFirmwareFileHooks();

// The system's open and size, one implementation per platform.
std::FILE* OpenFirmwareFileShared(const std::wstring& path);
bool OpenFileSize(std::FILE* file, uint64_t& size);
