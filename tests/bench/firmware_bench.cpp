#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <vector>

#include "firmware/firmware_image.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr size_t kImageSize = 64u << 20;

std::vector<uint8_t> SomeFirmware(size_t size) {
    std::vector<uint8_t> bytes(size);
    uint32_t state = 0x12345678u;
    for (uint8_t& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}

// Load and CRC of a 64 MiB image from a file the system has just written (so it is cached).
void BM_LoadFirmwareImage64MiB(benchmark::State& state) {
    const TempDir dir;
    const auto path = dir.path() / "fw_v1.2.3.bin";
    const std::vector<uint8_t> content = SomeFirmware(kImageSize);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
    for (auto _ : state) {
        const FirmwareImage image = LoadFirmwareImage(path.wstring());
        benchmark::DoNotOptimize(image.crc32);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kImageSize));
}
BENCHMARK(BM_LoadFirmwareImage64MiB)->Unit(benchmark::kMillisecond);

void BM_Crc32(benchmark::State& state) {
    const std::vector<uint8_t> content = SomeFirmware(kImageSize);
    for (auto _ : state) benchmark::DoNotOptimize(Crc32(content.data(), content.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kImageSize));
}
BENCHMARK(BM_Crc32)->Unit(benchmark::kMillisecond);

// Every block command of a 64 MiB image, as the update sends them.
void BM_MakeBlockCommand(benchmark::State& state) {
    FirmwareImage image;
    image.bytes = SomeFirmware(kImageSize / FirmwareBlockSize * FirmwareBlockSize);
    const uint64_t blocks = BlockCount(image);
    for (auto _ : state) {
        for (uint64_t index = 0; index < blocks; ++index) benchmark::DoNotOptimize(MakeBlockCommand(image, index));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(image.bytes.size()));
}
BENCHMARK(BM_MakeBlockCommand)->Unit(benchmark::kMillisecond);

} // namespace
