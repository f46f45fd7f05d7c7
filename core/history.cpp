#include "core/history.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <fstream>
#include <mutex>
#include <string_view>
#include <vector>

#include "core/battery.h"
#include "core/log_file.h"

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr char kLineEnd[] = "\r\n";

const char* const kHeaders[] = {"Дата и время",   "COM-порт",        "Дата-станция", "Версия до",
                                "Файл",           "Версия файла",    "CRC-32",       "Блоков",
                                "Аккумулятор, В", "Длительность, с", "Результат",    "Сообщение"};

std::mutex historyMutex;
// Under historyMutex.
std::filesystem::path historyPath;
std::string unwritten; // whole lines, in order, that no append could write yet

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

// Binary: each line already ends in CR LF, which a text-mode stream would double.
bool WriteLines(const std::filesystem::path& path, const std::string& lines) {
    std::ofstream out;
    if (!OpenLogFile(out, path, std::ios::out | std::ios::app | std::ios::binary)) return false;
    out.seekp(0, std::ios::end);
    const std::streamoff size = out.tellp();
    if (size < 0) return false;
    if (size == 0) out << kByteOrderMark << HistoryHeader() << kLineEnd;
    out << lines;
    out.flush();
    if (out) return true;
    // A line cut short by a full disk would run into the next one.
    out.close();
    std::error_code ignored;
    std::filesystem::resize_file(path, static_cast<uintmax_t>(size), ignored);
    return false;
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

void SetHistoryPath(const std::filesystem::path& path) {
    std::lock_guard<std::mutex> lock(historyMutex);
    historyPath = path;
    unwritten.clear();
}

void AppendHistory(const HistoryEntry& entry) noexcept {
    try {
        std::lock_guard<std::mutex> lock(historyMutex);
        if (historyPath.empty()) return;
        // Lines that once failed (the file open in a spreadsheet) go first, in their order.
        unwritten += HistoryLine(entry) + kLineEnd;
        if (WriteLines(historyPath, unwritten)) {
            unwritten.clear();
            return;
        }
    } catch (const std::exception&) {
        // Without memory for the line it is lost; the log still says so.
    }
    WriteLog("Update history cannot be written");
}
