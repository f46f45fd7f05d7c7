#include "core/log_file.h"

#include <sys/stat.h>

bool OpenLogFile(std::ofstream& stream, const std::filesystem::path& path) {
    if (!path.is_absolute()) return false;
    struct stat status {};
    // A name that is missing is made by the open below; one that exists must be a plain file.
    if (lstat(path.c_str(), &status) == 0 && (!S_ISREG(status.st_mode) || status.st_nlink != 1)) return false;
    stream.open(path, std::ios::out | std::ios::app);
    return stream.is_open();
}
