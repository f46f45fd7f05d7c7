#include "firmware/firmware_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "text/narrow_text.h"

std::FILE* OpenFirmwareFileShared(const std::wstring& path) {
    // A NUL inside the path would silently open a different, shorter name.
    if (path.find(L'\0') != std::wstring::npos) return nullptr;
    // File names are UTF-8 here; a path that has no UTF-8 form raises std::system_error.
    // Non-blocking, so that a FIFO without a writer is refused instead of waited for.
    const int fd = open(ToFileSystemNarrow(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat status {};
    std::FILE* file = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) ? fdopen(fd, "rb") : nullptr;
    if (file == nullptr) close(fd);
    return file;
}

bool OpenFileSize(std::FILE* file, uint64_t& size) {
    struct stat status {};
    if (fstat(fileno(file), &status) != 0 || status.st_size < 0) return false;
    size = static_cast<uint64_t>(status.st_size);
    return true;
}
