#include "firmware/firmware_file.h"

#include <share.h>
#include <sys/stat.h>

#include <cstdio>

std::FILE* OpenFirmwareFileShared(const std::wstring& path) {
    // A NUL inside the path would silently open a different, shorter name.
    if (path.find(L'\0') != std::wstring::npos) return nullptr;
    return _wfsopen(path.c_str(), L"rb", _SH_DENYNO);
}

bool OpenFileSize(std::FILE* file, uint64_t& size) {
    struct _stat64 status {};
    if (_fstat64(_fileno(file), &status) != 0 || status.st_size < 0) return false;
    size = static_cast<uint64_t>(status.st_size);
    return true;
}
