#pragma once
// Opening the log file. The program runs as administrator and its folder may be one that
// ordinary users can write to: a link planted in place of the log must not make it create or
// append to any other file of the machine.

#include <filesystem>
#include <fstream>

// Opens stream on path for appending in text mode, but only when path names a regular file of
// its own (not a link of any kind, one name only) directly in its folder, or a new one made
// there. False leaves the stream closed.
bool OpenLogFile(std::ofstream& stream, const std::filesystem::path& path);
