// Loading the largest firmware file taken (16 MiB); CRC-32 and block commands of a 64 MiB image (scripts/bench.sh).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "firmware/firmware_image.h"

namespace {

const std::vector<uint8_t> kFirmware = [] {
    std::vector<uint8_t> bytes(64u << 20);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 131 + i / 4096);
    return bytes;
}();

void BM_LoadFirmwareImage16MiB(benchmark::State& state) { // from a file the system has just written, so it is cached
    const auto path = std::filesystem::temp_directory_path() /
                      ("zarvel-bench-" + std::to_string(getpid()) + "_fw_v1.2.3.bin");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(kFirmware.data()), kLargestFirmwareBytes);
    for (auto _ : state) benchmark::DoNotOptimize(LoadFirmwareImage(path.wstring()).crc32);
    std::filesystem::remove(path);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kLargestFirmwareBytes));
}
BENCHMARK(BM_LoadFirmwareImage16MiB)->Unit(benchmark::kMillisecond);

void BM_Crc32(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(Crc32(kFirmware.data(), kFirmware.size()));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kFirmware.size()));
}
BENCHMARK(BM_Crc32)->Unit(benchmark::kMillisecond);

void BM_MakeBlockCommand(benchmark::State& state) { // every block command of the image, as the update sends them
    const FirmwareImage image{L"", {kFirmware.begin(), kFirmware.end() - kFirmware.size() % FirmwareBlockSize}, 0, ""};
    for (auto _ : state) {
        for (uint64_t index = 0; index < BlockCount(image); ++index)
            benchmark::DoNotOptimize(MakeBlockCommand(image, index));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(image.bytes.size()));
}
BENCHMARK(BM_MakeBlockCommand)->Unit(benchmark::kMillisecond);

} // namespace
