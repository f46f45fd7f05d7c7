#include "core/history.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "core/battery.h"
#include "core/history_file.h"

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr char kLineEnd[] = "\r\n";

const char* const kHeaders[] = {"Дата и время",   "COM-порт",        "Дата-станция", "Версия до",
                                "Файл",           "Версия файла",    "CRC-32",       "Блоков",
                                "Аккумулятор, В", "Длительность, с", "Результат",    "Сообщение"};

constexpr char kPendingName[] = "Zarvel-Update-history-pending.csv";

std::mutex historyMutex;
// Under historyMutex.
std::filesystem::path historyPath;
std::string unwritten;   // whole lines, in order, that neither the history nor the pending file took
size_t pendingAdded = 0; // bytes of the pending file's lines in the history already: it could not be removed
bool blocked = false;    // a line could not be added and that was told; until the history is written again

std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// A spreadsheet runs a field that begins like a formula: a station's reply must never be one.
std::string Field(std::string text) {
    if (!text.empty() && std::string_view("=+-@").find(text[0]) != std::string_view::npos) text.insert(0, 1, '\'');
    return text.find_first_of(";\"\r\n") == std::string::npos ? text : Quoted(text);
}

// Excel's text formula ="1.10" keeps a version from becoming a date; its string may hold at most
// 255 characters, and a control character would break the line, so such a version stays plain.
std::string VersionField(const std::string& version) {
    constexpr size_t kLongestFormulaText = 200;
    const bool control = std::any_of(version.begin(), version.end(),
                                     [](char c) { return static_cast<unsigned char>(c) < ' ' || c == '\x7F'; });
    if (version.empty() || version.size() > kLongestFormulaText || control) return Field(version);
    const std::string formula = "=" + Quoted(version);
    return formula.find(';') == std::string::npos ? formula : Quoted(formula);
}

std::string Joined(const std::vector<std::string>& fields) {
    std::string line;
    for (const std::string& field : fields) line += (line.empty() ? "" : ";") + field;
    return line;
}

std::string DateAndTime(const LogTime& at) {
    char text[96];
    std::snprintf(text, sizeof(text), "%04d-%02d-%02d %02d:%02d:%02d", at.year, at.month, at.day, at.hour, at.minute,
                  at.second);
    return text;
}

std::string Crc32Text(uint32_t crc32) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(crc32));
    return text;
}

std::string ResultText(OperationResult result) {
    if (result == Succeeded) return "успешно";
    return result == Cancelled ? "отменено" : "ошибка";
}

std::string DecimalComma(std::string number) {
    number.replace(number.find('.'), 1, ",");
    return number;
}

std::string Head() { return kByteOrderMark + HistoryHeader() + kLineEnd; }

std::filesystem::path PendingPath() { return historyPath.parent_path() / kPendingName; }

// Under historyMutex: the waiting lines, in their order, then lines, into the history. 0 when it
// took them, and the pending file is then removed; a crash before that may repeat them, never lose them.
uint32_t WriteWaitingAnd(const std::string& lines, HistoryFileRead& pending) {
    const HistoryFileHooks& files = CurrentHistoryFileHooks();
    std::string waiting;
    pending = files.read(PendingPath(), Head(), &waiting);
    waiting = pending == HistoryFileRead::Ours ? waiting.substr(std::min(pendingAdded, waiting.size())) : std::string();
    waiting += unwritten;
    if (waiting.empty() && lines.empty()) return 0;
    if (const uint32_t error = files.append(historyPath, Head(), waiting + lines)) return error;
    if (pending == HistoryFileRead::Ours)
        pendingAdded = files.remove(PendingPath()) ? 0 : pendingAdded + waiting.size() - unwritten.size();
    unwritten.clear();
    blocked = false;
    const auto count = std::count(waiting.begin(), waiting.end(), '\n');
    if (count > 0) WriteLog("Update history written: " + std::to_string(count) + " waiting lines added");
    return 0;
}

// Under historyMutex: the lines held in memory, then lines, wait in the pending file when it takes
// them, else in memory.
bool MakeWait(const std::string& lines, HistoryFileRead pending) {
    const std::string all = unwritten + lines;
    const bool kept = pending != HistoryFileRead::Refused &&
                      CurrentHistoryFileHooks().append(PendingPath(), Head(), all) == 0;
    unwritten = kept ? std::string() : all;
    return kept;
}

std::string Cause(uint32_t error) {
    return IsHistoryInUse(error) ? "the file is in use" : "Windows error " + std::to_string(error);
}

} // namespace

std::string HistoryHeader() { return Joined(std::vector<std::string>(std::begin(kHeaders), std::end(kHeaders))); }

std::string HistoryLine(const HistoryEntry& entry) {
    return Joined({
        DateAndTime(entry.handled),
        entry.comPort > 0 ? "COM" + std::to_string(entry.comPort) : std::string(),
        Field(entry.station),
        VersionField(entry.versionBefore),
        Field(entry.fileName),
        VersionField(entry.fileVersion),
        Crc32Text(entry.crc32),
        std::to_string(entry.blocks),
        DecimalComma(VoltsToHundredths(entry.batteryVolts)),
        std::to_string(entry.seconds),
        ResultText(entry.result),
        Field(entry.message),
    });
}

bool IsHistoryInUse(uint32_t error) { return error == kSharingViolation || error == kLockViolation; }

void SetHistoryPath(const std::filesystem::path& path) {
    std::lock_guard<std::mutex> lock(historyMutex);
    historyPath = path;
    unwritten.clear();
    pendingAdded = 0;
    blocked = false;
}

HistoryBlockage AppendHistory(const HistoryEntry& entry) noexcept {
    try {
        std::lock_guard<std::mutex> lock(historyMutex);
        if (historyPath.empty()) return {};
        const std::string line = HistoryLine(entry) + kLineEnd;
        HistoryFileRead pending = HistoryFileRead::Absent;
        const uint32_t error = WriteWaitingAnd(line, pending);
        if (error == 0) return {};
        const bool kept = MakeWait(line, pending);
        if (std::exchange(blocked, true)) return {.linesWait = true, .error = error};
        WriteLog(kept ? "Update history cannot be written (" + Cause(error) + "); the line waits in " + kPendingName
                      : std::string("Update history cannot be written"));
        return {.told = true, .linesWait = true, .error = error};
    } catch (const std::exception&) {
        // Without memory for the line it is lost; the log still says so.
    }
    WriteLog("Update history cannot be written");
    return {};
}

bool FlushHistory() noexcept {
    try {
        std::lock_guard<std::mutex> lock(historyMutex);
        if (historyPath.empty()) return false;
        HistoryFileRead pending = HistoryFileRead::Absent;
        if (WriteWaitingAnd(std::string(), pending) == 0) return false;
        // Lines held in memory go to the pending file as soon as it takes them: the program may end.
        if (!unwritten.empty()) MakeWait(std::string(), pending);
        return true;
    } catch (const std::exception&) {
        return true;
    }
}
