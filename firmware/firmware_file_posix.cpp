#include "firmware/firmware_file.h"

#include <sys/stat.h>

#include "firmware/firmware_version.h"

std::FILE* OpenFirmwareFileShared(const std::wstring& path) {
    // A NUL inside the path would silently open a different, shorter name.
    if (path.find(L'\0') != std::wstring::npos) return nullptr;
    // File names are UTF-8 here; a path that has no UTF-8 form raises std::system_error.
    return std::fopen(ToFileSystemNarrow(path).c_str(), "rb");
}

bool OpenFileSize(std::FILE* file, uint64_t& size) {
    struct stat status {};
    if (fstat(fileno(file), &status) != 0 || status.st_size < 0) return false;
    size = static_cast<uint64_t>(status.st_size);
    return true;
}
