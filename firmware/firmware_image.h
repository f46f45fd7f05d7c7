#pragma once
// A firmware file in memory: its bytes padded with 0xFF to whole 120-byte blocks, the CRC-32 of
// the padded bytes and the version text its file name carries.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t FirmwareBlockSize = 120;
// 16 MiB already takes over an hour to send; a larger file is not an image of this instrument.
constexpr uint64_t kLargestFirmwareBytes = 16 * 1024 * 1024;

struct FirmwareImage {
    std::wstring path;          // exactly as passed to LoadFirmwareImage
    std::vector<uint8_t> bytes; // file content + 0xFF padding; a whole, non-zero number of blocks
    uint32_t crc32 = 0;         // CRC-32 (ISO-HDLC) of all of bytes, padding included
    std::string version;        // from the file name; empty when the name carries none
};

// Loads a "*.bin" / "*.BIN" regular disk file of at most kLargestFirmwareBytes. Throws
// std::runtime_error with "Firmware file must have .bin extension", "Cannot open firmware file",
// "Firmware file is too large", "Cannot read firmware file" or "Firmware file is empty"; where
// file names are UTF-8, a path that has no UTF-8 form passes through as std::system_error.
FirmwareImage LoadFirmwareImage(const std::wstring& path);

uint64_t BlockCount(const FirmwareImage& image);

// "DUB" + 240 lower-case hex digits + line feed (244 bytes). Throws std::out_of_range
// "Firmware block index" when index >= BlockCount(image).
std::string MakeBlockCommand(const FirmwareImage& image, uint64_t index);

// Standard CRC-32 (reflected 0xEDB88320, init and final XOR 0xFFFFFFFF). Pass the previous
// result as `crc` to continue over more data.
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
