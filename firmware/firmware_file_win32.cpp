#include "firmware/firmware_file.h"

#include <windows.h>

#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cstdio>

namespace {

// A pipe or a device opens like a file, but its "content" is whatever the other side sends.
bool IsRegularDiskFile(std::FILE* file) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    struct _stat64 status {};
    return GetFileType(handle) == FILE_TYPE_DISK && _fstat64(_fileno(file), &status) == 0 &&
           (status.st_mode & _S_IFMT) == _S_IFREG;
}

} // namespace

std::FILE* OpenFirmwareFileShared(const std::wstring& path) {
    // A NUL inside the path would silently open a different, shorter name.
    if (path.find(L'\0') != std::wstring::npos) return nullptr;
    std::FILE* file = _wfsopen(path.c_str(), L"rb", _SH_DENYNO);
    if (file != nullptr && !IsRegularDiskFile(file)) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

bool OpenFileSize(std::FILE* file, uint64_t& size) {
    struct _stat64 status {};
    if (_fstat64(_fileno(file), &status) != 0 || status.st_size < 0) return false;
    size = static_cast<uint64_t>(status.st_size);
    return true;
}
