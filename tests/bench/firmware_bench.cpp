// Firmware loading, CRC-32 and block commands of a 64 MiB image (scripts/bench.sh).
#include <benchmark/benchmark.h>

#include <fstream>

#include "firmware/firmware_image.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr size_t kImageSize = 64u << 20;

std::vector<uint8_t> SomeFirmware() {
    std::vector<uint8_t> bytes(kImageSize);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 131 + i / 4096);
    return bytes;
}

// From a file the system has just written, so it is cached.
void BM_LoadFirmwareImage64MiB(benchmark::State& state) {
    const TempDir dir;
    const auto path = dir.path() / "fw_v1.2.3.bin";
    const std::vector<uint8_t> content = SomeFirmware();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(content.data()), kImageSize);
    for (auto _ : state) benchmark::DoNotOptimize(LoadFirmwareImage(path.wstring()).crc32);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kImageSize));
}
BENCHMARK(BM_LoadFirmwareImage64MiB)->Unit(benchmark::kMillisecond);

void BM_Crc32(benchmark::State& state) {
    const std::vector<uint8_t> content = SomeFirmware();
    for (auto _ : state) benchmark::DoNotOptimize(Crc32(content.data(), content.size()));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kImageSize));
}
BENCHMARK(BM_Crc32)->Unit(benchmark::kMillisecond);

// Every block command of the image, as the update sends them.
void BM_MakeBlockCommand(benchmark::State& state) {
    FirmwareImage image;
    image.bytes = SomeFirmware();
    image.bytes.resize(kImageSize / FirmwareBlockSize * FirmwareBlockSize);
    for (auto _ : state) {
        for (uint64_t index = 0; index < BlockCount(image); ++index) benchmark::DoNotOptimize(MakeBlockCommand(image, index));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(image.bytes.size()));
}
BENCHMARK(BM_MakeBlockCommand)->Unit(benchmark::kMillisecond);

} // namespace
