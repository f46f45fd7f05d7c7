#include "core/program_folder.h"

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// "UNC" and a separator at `at`, as in "\\?\UNC\server\share".
bool IsUncWord(const std::wstring& path, size_t at) {
    return path.compare(at, 3, L"UNC") == 0 && at + 3 < path.size() && IsSeparator(path[at + 3]);
}

// The length of the path's root, its separator included: "C:\", "\\?\C:\", "\\server\share\".
size_t RootLength(const std::wstring& path) {
    size_t at = 0;
    bool share = false;
    if (path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) && (path[2] == L'?' || path[2] == L'.') &&
        IsSeparator(path[3])) {
        at = 4;
        share = IsUncWord(path, at);
        if (share) at += 4;
    } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        at = 2;
        share = true;
    }
    if (share) { // the server's name, then the share's, each with its separator
        for (int part = 0; part < 2; ++part) {
            while (at < path.size() && !IsSeparator(path[at])) ++at;
            if (at < path.size()) ++at;
        }
        return at;
    }
    if (path.size() >= at + 2 && path[at + 1] == L':') at += 2;
    if (at < path.size() && IsSeparator(path[at])) ++at;
    return at;
}

} // namespace

std::wstring FolderOfPath(const std::wstring& path) {
    const size_t last = path.find_last_of(L"\\/");
    if (last == std::wstring::npos) return {};
    const size_t root = RootLength(path);
    size_t end = last;
    while (end > root && IsSeparator(path[end - 1])) --end;
    return path.substr(0, end < root ? root : end);
}

std::wstring PathInFolder(const std::wstring& folder, const std::wstring& name) {
    return !folder.empty() && IsSeparator(folder.back()) ? folder + name : folder + L'\\' + name;
}
