#include "core/log_file_win32.h"
#include "core/log_file.h"

#include <windows.h>

#include <string>
#include <vector>

#include "core/program_folder.h"
#include "core/scoped_handle_win32.h"

namespace {

// The path the system reaches through every link and junction on the way, or empty.
std::wstring FinalPath(HANDLE handle) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return {};
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(length + 1);
    }
}

} // namespace

std::wstring FinalPathOfFolder(const std::filesystem::path& folder) {
    const OwnedHandle handle = OwnFile(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return handle ? FinalPath(handle.Get()) : std::wstring();
}

namespace {

bool SameText(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// A reparse point that is no link (a synced folder's placeholder) holds the file itself.
bool IsLink(HANDLE file, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    return !GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof(tag)) ||
           IsLinkReparseTag(tag.ReparseTag);
}

} // namespace

bool IsPlainFileAt(void* file, const std::filesystem::path& path) {
    BY_HANDLE_FILE_INFORMATION info = {};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info)) return false;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || IsLink(file, info.dwFileAttributes)) return false;
    if (info.nNumberOfLinks != 1) return false;
    // A root's final path ends in its backslash already: "\\?\R:\", "\\?\UNC\server\share\".
    const std::wstring folder = FinalPathOfFolder(path.parent_path());
    return !folder.empty() && SameText(FinalPath(file), PathInFolder(folder, path.filename().wstring()));
}

bool OpenLogFile(std::ofstream& stream, const std::filesystem::path& path, std::ios::openmode mode) {
    // "E:Zarvel-Update.log" would be relative to the drive's current folder.
    if (!path.is_absolute()) return false;
    // A link itself is opened, never followed; without delete sharing nobody can replace the
    // name while the stream opens it below.
    const OwnedHandle guard = OwnFile(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!guard || !IsPlainFileAt(guard.Get(), path)) return false;
    // In text mode, the log's, each line feed reaches the disk as CR LF.
    stream.open(path, mode);
    return stream.is_open();
}

bool ReplaceLogFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    {
        const OwnedHandle existing = OwnFile(
            CreateFileW(to.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!existing ? GetLastError() != ERROR_FILE_NOT_FOUND : !IsPlainFileAt(existing.Get(), to)) return false;
    }
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}
