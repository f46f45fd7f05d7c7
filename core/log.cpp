#include "core/log.h"

#include <atomic>
#include <ctime>
#include <iomanip>

#include "core/app_state.h"
#include "core/log_file.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

LogTime LocalWallClock() {
#ifdef _WIN32
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wHour, now.wMinute, now.wSecond};
#else
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_hour, local.tm_min, local.tm_sec};
#endif
}

std::atomic<LogTime (*)()> timeSource{LocalWallClock};

} // namespace

void OpenLog(const std::filesystem::path& path) {
    AppState& app = App();
    std::lock_guard<std::mutex> lock(app.logMutex);
    if (app.log.is_open()) app.log.close();
    app.log.clear();
    // Logging is off for the run when the file cannot be opened or is not a plain file of its own.
    if (!OpenLogFile(app.log, path)) app.log.setstate(std::ios::failbit);
}

void CloseLog() {
    AppState& app = App();
    std::lock_guard<std::mutex> lock(app.logMutex);
    if (app.log.is_open()) app.log.close();
    app.log.setstate(std::ios::failbit);
}

void WriteLog(const std::string& message) {
    AppState& app = App();
    std::lock_guard<std::mutex> lock(app.logMutex);
    const LogTime now = timeSource.load()();
    std::ofstream& out = app.log;
    out.fill('0');
    out << std::setw(2) << now.hour << ':' << std::setw(2) << now.minute << ':' << std::setw(2) << now.second;
    out << "  ";
    out.write(message.data(), static_cast<std::streamsize>(message.size()));
    out << '\n';
    out.flush();
}

void SetLogTimeSource(LogTime (*source)()) { timeSource.store(source ? source : LocalWallClock); }
