#pragma once
// The command line of station-sim: the scenario (station, instrument, faults) and the files it
// works with.

#include <string>
#include <vector>

#include "tools/station-sim/sim_engine.h"

struct SimOptions {
    StationSettings station;
    bool lineRate = false;      // emulate 115200 baud in both directions
    std::string linkPath;       // symlink kept pointing at the current pty
    std::string controlPath;    // control FIFO, made by us
    std::string transcriptPath; // one line per exchange
    std::string saveImagePath;  // the received image, written when its last block arrives
};

enum class ParseOutcome { Run, Help, Error };

struct ParsedOptions {
    ParseOutcome outcome = ParseOutcome::Run;
    SimOptions options{};
    std::string error{}; // for Error: one line, without the program name
};

// The arguments after the program name.
ParsedOptions ParseOptions(const std::vector<std::string>& args);
std::string HelpText();
