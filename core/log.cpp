#include "core/log.h"

#include <ctime>
#include <iomanip>
#include <mutex>

#include "core/app_state.h"
#include "core/log_file.h"
#include "text/seam.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

LogTime LocalWallClock() {
#ifdef _WIN32
    SYSTEMTIME now;
    GetLocalTime(&now);
    // clang-format off
    return {.hour = now.wHour, .minute = now.wMinute, .second = now.wSecond,
            .year = now.wYear, .month = now.wMonth, .day = now.wDay};
    // clang-format on
#else
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // clang-format off
    return {.hour = local.tm_hour, .minute = local.tm_min, .second = local.tm_sec,
            .year = local.tm_year + 1900, .month = local.tm_mon + 1, .day = local.tm_mday};
    // clang-format on
#endif
}

constexpr LogClockHooks kWallClock{.now = LocalWallClock};
constinit Seam<LogClockHooks> logClockSeam{kWallClock};

// Under the log's lock.
std::filesystem::path logPath;
bool rotationGivenUp = false; // a rename failed: the log stays in one file until the next start

// The stream stands at the file's end, so its position tells the log's size.
void OpenAt(std::ofstream& out, const std::filesystem::path& path) {
    out.clear();
    if (OpenLogFile(out, path)) {
        out.seekp(0, std::ios::end);
    } else {
        out.setstate(std::ios::failbit);
    }
}

void WriteLine(std::ofstream& out, const LogTime& now, const std::string& message) {
    out.fill('0');
    out << std::setw(2) << now.hour << ':' << std::setw(2) << now.minute << ':' << std::setw(2) << now.second;
    out << "  ";
    out.write(message.data(), static_cast<std::streamsize>(message.size()));
    out << '\n';
    out.flush();
}

std::filesystem::path RotatedPath(const std::filesystem::path& path) {
    std::filesystem::path rotated = path;
    return rotated.replace_filename(path.stem().string() + ".1" + path.extension().string());
}

// Another program may hold the log without delete sharing: then it keeps this one file for
// the run, since every further try would fail the same way, and the next start tries again.
void RotateIfFull(std::ofstream& out, const LogTime& now) {
    if (rotationGivenUp || !out.is_open() || !out) return;
    const std::streamoff size = out.tellp();
    if (size < 0 || static_cast<uint64_t>(size) < App().logRotationBytes.load()) return;
    const std::filesystem::path rotated = RotatedPath(logPath);
    out.close();
    const bool renamed = ReplaceLogFile(logPath, rotated);
    OpenAt(out, logPath);
    if (renamed) {
        WriteLine(out, now, "Log continued; the previous part is " + rotated.filename().string());
        return;
    }
    rotationGivenUp = true;
    WriteLine(out, now,
              "Log could not be renamed to " + rotated.filename().string() + "; it grows on until the next start");
}

void WriteLocked(const std::string& message) {
    const LogTime now = LogClockNow();
    RotateIfFull(App().log, now);
    WriteLine(App().log, now, message);
}

} // namespace

void OpenLog(const std::filesystem::path& path) {
    AppState& app = App();
    std::lock_guard<std::mutex> lock(app.logMutex);
    if (app.log.is_open()) app.log.close();
    logPath = path;
    rotationGivenUp = false;
    // Logging is off for the run when the file cannot be opened or is not a plain file of its own.
    OpenAt(app.log, path);
}

void CloseLog() {
    AppState& app = App();
    std::lock_guard<std::mutex> lock(app.logMutex);
    if (app.log.is_open()) app.log.close();
    app.log.setstate(std::ios::failbit);
}

void WriteLog(const std::string& message) {
    std::lock_guard<std::mutex> lock(App().logMutex);
    WriteLocked(message);
}

bool TryWriteLog(const char* message) {
    std::unique_lock<std::mutex> lock(App().logMutex, std::try_to_lock);
    if (!lock.owns_lock()) return false;
    const LogTime now = LogClockNow();
    char stamp[] = "hh:mm:ss  ";
    const int parts[] = {now.hour, now.minute, now.second};
    for (int i = 0; i < 3; ++i) {
        stamp[3 * i] = static_cast<char>('0' + parts[i] / 10);
        stamp[3 * i + 1] = static_cast<char>('0' + parts[i] % 10);
    }
    std::ofstream& out = App().log;
    out.write(stamp, sizeof(stamp) - 1);
    out.write(message, static_cast<std::streamsize>(std::char_traits<char>::length(message)));
    out.put('\n');
    out.flush();
    return true;
}

void SetLogClockHooks(const LogClockHooks* hooks) { logClockSeam.Set(hooks); }

const LogClockHooks& CurrentLogClockHooks() { return logClockSeam.Current(); }

LogTime LogClockNow() { return CurrentLogClockHooks().now(); }
