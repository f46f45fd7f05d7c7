#pragma once
// Opening the log file. The program runs as administrator and its folder may be one that
// ordinary users can write to: a link planted in place of the log must not make it create or
// append to any other file of the machine.

#include <cstdint>
#include <filesystem>
#include <fstream>

// Opens stream on path for appending in text mode, but only when path is absolute and names a
// regular file of its own (not a link of any kind, one name only) directly in its folder, or a
// new one made there. False leaves the stream closed.
bool OpenLogFile(std::ofstream& stream, const std::filesystem::path& path);

// Whether a reparse point with this tag is a link to another name (a symbolic link, a junction,
// a mount point): its tag has the name-surrogate bit. Other reparse points, such as the
// placeholders of a cloud-synced folder, hold the file's own data.
bool IsLinkReparseTag(uint32_t tag);
