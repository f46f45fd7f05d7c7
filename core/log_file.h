#pragma once
// Opening the log file. The program runs as administrator and its folder may be one that
// ordinary users can write to: a link planted in place of the log must not make it create or
// append to any other file of the machine.

#include <cstdint>
#include <filesystem>
#include <fstream>

// Opens stream on path for appending (in text mode unless mode says binary), but only when path
// is absolute and names a regular file of its own (not a link of any kind, one name only)
// directly in its folder, or a new one made there. False leaves the stream closed.
bool OpenLogFile(std::ofstream& stream, const std::filesystem::path& path,
                 std::ios::openmode mode = std::ios::out | std::ios::app);

// Renames the closed file from to the name to, replacing a file there only when it is a plain
// file of its own as OpenLogFile requires. False when to is anything else or the rename fails
// (on Windows, for instance, while another program holds from without delete sharing).
bool ReplaceLogFile(const std::filesystem::path& from, const std::filesystem::path& to);

// Whether a reparse point with this tag is a link to another name (a symbolic link, a junction,
// a mount point): its tag has the name-surrogate bit. Other reparse points, such as the
// placeholders of a cloud-synced folder, hold the file's own data.
bool IsLinkReparseTag(uint32_t tag);
