#include "core/history_file.h"

#include <windows.h>

#include <algorithm>

#include "core/log_file_win32.h"
#include "core/scoped_handle_win32.h"

namespace {

// The file opened by the log's rules (the link itself, never followed; a plain file of its own), or
// null with the reason in GetLastError.
OwnedHandle OpenPlain(const std::filesystem::path& path, DWORD access, DWORD share, DWORD disposition) {
    if (!path.is_absolute()) {
        SetLastError(ERROR_INVALID_NAME);
        return OwnedHandle();
    }
    const HANDLE handle = CreateFileW(path.c_str(), access, share, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return OwnedHandle();
    OwnedHandle file(handle);
    if (IsPlainFileAt(handle, path)) return file;
    SetLastError(ERROR_ACCESS_DENIED);
    return OwnedHandle();
}

bool WriteAll(HANDLE file, const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

} // namespace

uint32_t AppendHistoryFile(const std::filesystem::path& path, const std::string& head, const std::string& lines) {
    // A spreadsheet that holds it without write sharing refuses this open: ERROR_SHARING_VIOLATION.
    const OwnedHandle file = OpenPlain(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       OPEN_ALWAYS);
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.Get(), &size) || !SetFilePointerEx(file.Get(), size, nullptr, FILE_BEGIN))
        return GetLastError();
    if (WriteAll(file.Get(), size.QuadPart == 0 ? head + lines : lines)) return 0;
    const DWORD error = GetLastError();
    // A line cut short by a full disk would run into the next one.
    FILE_END_OF_FILE_INFO end = {.EndOfFile = size};
    SetFileInformationByHandle(file.Get(), FileEndOfFileInfo, &end, sizeof(end));
    return error;
}

HistoryFileRead ReadHistoryFile(const std::filesystem::path& path, const std::string& head, std::string* lines) {
    const OwnedHandle file = OpenPlain(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    if (!file) {
        const DWORD error = GetLastError();
        const bool absent = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        return absent ? HistoryFileRead::Absent : HistoryFileRead::Refused;
    }
    std::string text;
    char buffer[64 * 1024];
    DWORD got = 0;
    bool read = false;
    while ((read = ReadFile(file.Get(), buffer, sizeof(buffer), &got, nullptr) != FALSE) && got != 0)
        text.append(buffer, got);
    if (!read || text.compare(0, head.size(), head) != 0) return HistoryFileRead::Refused;
    *lines = text.substr(head.size());
    return HistoryFileRead::Ours;
}

bool RemoveHistoryFile(const std::filesystem::path& path) {
    const OwnedHandle file = OpenPlain(path, DELETE | FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
    FILE_DISPOSITION_INFO remove = {TRUE};
    return file && SetFileInformationByHandle(file.Get(), FileDispositionInfo, &remove, sizeof(remove));
}
