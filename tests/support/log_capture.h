#pragma once
// Sends the log to a file in a fresh directory, with the time stamp fixed at 12:00:00, and reads
// it back as messages. One instance at a time; it closes the log when it goes.

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Every line written so far, without its "12:00:00  " stamp.
    std::vector<std::string> Messages() const;
    // The messages that begin with prefix.
    std::vector<std::string> MessagesStartingWith(const std::string& prefix) const;

private:
    TempDir dir_;
};
