#pragma once
// The files of the update history, under the log's rules (no links, a plain file of its own). A
// seam: tests put in files that are locked, full or not ours.

#include <cstdint>
#include <filesystem>
#include <string>

enum class HistoryFileRead {
    Absent,  // no such file: nothing waits in it
    Ours,    // the byte-order mark and the header, then whole lines
    Refused, // a link, a folder, another file, or one that cannot be read: never written through
};

struct HistoryFileHooks {
    // Appends lines to path, after head (the byte-order mark and the header) when the file is new
    // or empty; all of them or none. 0, or the Windows error that refused them.
    uint32_t (*append)(const std::filesystem::path& path, const std::string& head, const std::string& lines);
    // The lines after head in the file at path.
    HistoryFileRead (*read)(const std::filesystem::path& path, const std::string& head, std::string* lines);
    bool (*remove)(const std::filesystem::path& path); // true when it is gone
};

// nullptr restores the real files. The hooks object must outlive its use.
void SetHistoryFileHooks(const HistoryFileHooks* hooks);
const HistoryFileHooks& CurrentHistoryFileHooks();

// Windows' errors of a file another program holds open without write sharing, or has locked.
constexpr uint32_t kSharingViolation = 32;
constexpr uint32_t kLockViolation = 33;

// The real files.
uint32_t AppendHistoryFile(const std::filesystem::path& path, const std::string& head, const std::string& lines);
HistoryFileRead ReadHistoryFile(const std::filesystem::path& path, const std::string& head, std::string* lines);
bool RemoveHistoryFile(const std::filesystem::path& path);
