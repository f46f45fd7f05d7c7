#include "core/crash_dump.h"

#include <algorithm>
#include <exception>
#include <fstream>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "core/log_file.h"

namespace {

constexpr std::string_view kPrefix = "Zarvel-Update-crash-";
constexpr std::string_view kEnding = ".dmp";
constexpr size_t kStampChars = 15; // YYYYMMDD-HHMMSS
constexpr size_t kMostNumberDigits = 9;
// The last dump a start has named, appended one per line; the dumps' own names stay as logged.
constexpr char kReportedName[] = "Zarvel-Update-crash-reported.txt";

bool AllDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A dump's place in time: its stamp, then its number within the second (the first is 1).
struct DumpOrder {
    std::string stamp;
    unsigned long number = 1;
    bool operator<(const DumpOrder& other) const {
        return std::tie(stamp, number) < std::tie(other.stamp, other.number);
    }
};

// Only names the program itself gives; anything else in the folder is left alone.
bool ParseDumpName(std::string_view name, DumpOrder& order) {
    if (name.size() < kPrefix.size() + kStampChars + kEnding.size() || name.substr(0, kPrefix.size()) != kPrefix ||
        name.substr(name.size() - kEnding.size()) != kEnding)
        return false;
    const std::string_view stamp = name.substr(kPrefix.size(), kStampChars);
    std::string_view rest = name.substr(kPrefix.size() + kStampChars);
    rest.remove_suffix(kEnding.size());
    if (stamp[8] != '-' || !AllDigits(stamp.substr(0, 8)) || !AllDigits(stamp.substr(9))) return false;
    order.stamp = std::string(stamp);
    if (rest.empty()) return true;
    if (rest[0] != '-') return false;
    rest.remove_prefix(1);
    if (rest.empty() || rest.size() > kMostNumberDigits || !AllDigits(rest)) return false;
    order.number = std::stoul(std::string(rest));
    return order.number > 1;
}

// The file name's UTF-8 bytes, as the log and the reported list hold them.
std::string Utf8FileName(const std::filesystem::path& path) {
    const std::u8string name = path.filename().u8string();
    return std::string(name.begin(), name.end());
}

std::string LastReported(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string last;
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) last = line.back() == '\r' ? line.substr(0, line.size() - 1) : line;
    return last;
}

void ReviewUnguarded(const std::filesystem::path& folder) {
    std::vector<std::pair<DumpOrder, std::filesystem::path>> dumps;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        DumpOrder order;
        if (ParseDumpName(Utf8FileName(it->path()), order)) dumps.emplace_back(order, it->path());
    }
    std::sort(dumps.begin(), dumps.end(), [](const auto& a, const auto& b) { return b.first < a.first; });
    for (size_t i = kKeptCrashDumps; i < dumps.size(); ++i) std::filesystem::remove(dumps[i].second, error);
    if (dumps.empty()) return;
    const std::string newest = Utf8FileName(dumps.front().second);
    const std::filesystem::path reported = folder / kReportedName;
    if (LastReported(reported) == newest) return;
    WriteLog("A crash dump of an earlier run is in " + newest);
    std::ofstream out;
    if (OpenLogFile(out, reported, std::ios::out | std::ios::app | std::ios::binary)) out << newest << "\r\n";
}

} // namespace

char* PutDigits(char* at, unsigned long value, unsigned base, int width) {
    char digits[32];
    int count = 0;
    do {
        digits[count++] = "0123456789ABCDEF"[value % base];
        value /= base;
    } while (value != 0 || count < width);
    while (count > 0) *at++ = digits[--count];
    return at;
}

void FormatCrashDumpName(const LogTime& time, int nth, char (&name)[kCrashDumpNameChars]) {
    char* at = std::copy(kPrefix.begin(), kPrefix.end(), name);
    at = PutDigits(at, static_cast<unsigned long>(time.year * 10000 + time.month * 100 + time.day), 10, 8);
    *at++ = '-';
    at = PutDigits(at, static_cast<unsigned long>(time.hour * 10000 + time.minute * 100 + time.second), 10, 6);
    if (nth > 1) {
        *at++ = '-';
        at = PutDigits(at, static_cast<unsigned long>(nth), 10, 1);
    }
    *std::copy(kEnding.begin(), kEnding.end(), at) = '\0';
}

void ReviewCrashDumps(const std::filesystem::path& folder) {
    try {
        ReviewUnguarded(folder);
    } catch (const std::exception& error) {
        WriteLog(std::string("Earlier crash dumps could not be reviewed: ") + error.what());
    }
}
