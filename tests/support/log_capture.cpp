#include "tests/support/log_capture.h"

#include <gtest/gtest.h>

#include <fstream>

#include "core/log.h"

namespace {

constexpr char kStamp[] = "12:00:00  ";

LogTime Noon() { return {12, 0, 0}; }

} // namespace

LogCapture::LogCapture() {
    SetLogTimeSource(Noon);
    OpenLog(dir_.path() / "Zarvel-Update.log");
}

LogCapture::~LogCapture() {
    CloseLog();
    SetLogTimeSource(nullptr);
}

std::vector<std::string> LogCapture::Messages() const {
    // Text mode: on Windows the CR LF line ends come back as line feeds.
    std::ifstream in(dir_.path() / "Zarvel-Update.log");
    std::vector<std::string> messages;
    std::string line;
    while (std::getline(in, line)) {
        EXPECT_EQ(0u, line.rfind(kStamp, 0)) << "log line without its time stamp: " << line;
        messages.push_back(line.substr(std::min(line.size(), sizeof(kStamp) - 1)));
    }
    return messages;
}

std::vector<std::string> LogCapture::MessagesStartingWith(const std::string& prefix) const {
    std::vector<std::string> matching;
    for (const std::string& message : Messages()) {
        if (message.rfind(prefix, 0) == 0) matching.push_back(message);
    }
    return matching;
}
