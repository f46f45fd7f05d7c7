#include "core/history_file.h"

#include <cerrno>
#include <fstream>
#include <iterator>
#include <system_error>

#include "core/log_file.h"

namespace {

// The Windows error a POSIX one stands for, so that the history tells the same causes everywhere.
uint32_t WindowsError(int error) {
    if (error == ENOSPC) return 112;                                 // the disk is full
    if (error == ENOENT || error == ENOTDIR) return 3;               // the path is not found
    return error == EACCES || error == EPERM || error == 0 ? 5 : 31; // access denied; a device fault
}

} // namespace

uint32_t AppendHistoryFile(const std::filesystem::path& path, const std::string& head, const std::string& lines) {
    std::ofstream out;
    errno = 0;
    if (!OpenLogFile(out, path, std::ios::out | std::ios::app | std::ios::binary)) return WindowsError(errno);
    out.seekp(0, std::ios::end);
    const std::streamoff size = out.tellp();
    if (size < 0) return WindowsError(errno);
    out << (size == 0 ? head : std::string()) << lines;
    out.flush();
    if (out) return 0;
    const uint32_t error = WindowsError(errno);
    // A line cut short by a full disk would run into the next one.
    out.close();
    std::error_code ignored;
    std::filesystem::resize_file(path, static_cast<uintmax_t>(size), ignored);
    return error;
}

HistoryFileRead ReadHistoryFile(const std::filesystem::path& path, const std::string& head, std::string* lines) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::symlink_status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) return HistoryFileRead::Absent;
    if (status.type() != std::filesystem::file_type::regular || std::filesystem::hard_link_count(path, error) != 1)
        return HistoryFileRead::Refused;
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad() || text.compare(0, head.size(), head) != 0) return HistoryFileRead::Refused;
    *lines = text.substr(head.size());
    return HistoryFileRead::Ours;
}

bool RemoveHistoryFile(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::remove(path, error);
    return !error;
}
