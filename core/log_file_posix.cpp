#include "core/log_file.h"

#include <sys/stat.h>

#include <cstdio>

namespace {

// A name that is missing is made by whoever opens it; one that exists must be a plain file.
bool MissingOrPlain(const std::filesystem::path& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) != 0 || (S_ISREG(status.st_mode) && status.st_nlink == 1);
}

} // namespace

bool OpenLogFile(std::ofstream& stream, const std::filesystem::path& path, std::ios::openmode mode) {
    if (!path.is_absolute() || !MissingOrPlain(path)) return false;
    stream.open(path, mode);
    return stream.is_open();
}

bool ReplaceLogFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    return MissingOrPlain(to) && std::rename(from.c_str(), to.c_str()) == 0;
}
