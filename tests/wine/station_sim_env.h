#pragma once
// The station simulator that tests/wine/with_station.sh started for this test program: the COM
// port its pseudo-terminal is mapped to, its event lines and its files.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// COM n of the simulator (ZARVEL_SIM_PORT), or 0 when the program was not started by the driver.
int SimComPort();

// A file of the simulator's working folder (ZARVEL_SIM_DIR), as Wine reaches it: "Z:\...".
std::filesystem::path SimFile(const std::string& name);

// The simulator's "event ..." lines so far, without the "event " prefix.
std::vector<std::string> SimEvents();
// Polls the events until one equals `event` or timeoutMs passes; true when it came.
bool WaitForSimEvent(const std::string& event, uint32_t timeoutMs);

// The bytes of a file, empty when it cannot be read.
std::string ReadWholeFile(const std::filesystem::path& file);
