#include "firmware/firmware_file.h"

#include "text/seam.h"

namespace {

size_t SystemRead(void* buffer, size_t size, size_t count, std::FILE* file) {
    return std::fread(buffer, size, count, file);
}

constexpr FirmwareFileHooks kSystemFile{.open = OpenFirmwareFileShared, .size = OpenFileSize, .read = SystemRead};
constinit Seam<FirmwareFileHooks> fileSeam{kSystemFile};

} // namespace

void SetFirmwareFileHooks(const FirmwareFileHooks* hooks) { fileSeam.Set(hooks); }

const FirmwareFileHooks& CurrentFirmwareFileHooks() { return fileSeam.Current(); }
