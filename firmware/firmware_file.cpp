#include "firmware/firmware_file.h"

#include <atomic>

namespace {

size_t SystemRead(void* buffer, size_t size, size_t count, std::FILE* file) {
    return std::fread(buffer, size, count, file);
}

const FirmwareFileHooks kSystemFile{.open = OpenFirmwareFileShared, .size = OpenFileSize, .read = SystemRead};
std::atomic<const FirmwareFileHooks*> currentFile{&kSystemFile};

} // namespace

void SetFirmwareFileHooks(const FirmwareFileHooks* hooks) { currentFile.store(hooks ? hooks : &kSystemFile); }

const FirmwareFileHooks& CurrentFirmwareFileHooks() { return *currentFile.load(); }
