#include "tools/station-sim/sim_text.h"

#include <cstdio>

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

std::string EscapeBytes(const std::string& bytes) {
    std::string shown;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') shown += "\\\\";
        else if (c == '\r') shown += "\\r";
        else if (c == '\n') shown += "\\n";
        else if (c == '\t') shown += "\\t";
        else if (byte >= 0x20 && byte < 0x7F) shown += c;
        else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            shown += hex;
        }
    }
    return shown;
}

std::optional<std::string> UnescapeText(const std::string& text) {
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
            continue;
        }
        if (++i == text.size()) return std::nullopt;
        switch (text[i]) {
        case '\\': bytes += '\\'; break;
        case 'r': bytes += '\r'; break;
        case 'n': bytes += '\n'; break;
        case 't': bytes += '\t'; break;
        case 'x': {
            if (i + 2 >= text.size()) return std::nullopt;
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high < 0 || low < 0) return std::nullopt;
            bytes += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default: return std::nullopt;
        }
    }
    return bytes;
}

std::string Abbreviate(const std::string& line, size_t keepHead, size_t keepTail) {
    if (line.size() <= keepHead + keepTail + 3) return line;
    return line.substr(0, keepHead) + "..." + line.substr(line.size() - keepTail) + " [" + std::to_string(line.size()) +
           " chars]";
}

std::optional<uint64_t> ParseDecimal(const std::string& text, uint64_t max) {
    if (text.empty() || text.size() > 20 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
    uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (digit > max || value > (max - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::vector<SplitLine> FeedLines(LineSplitter& splitter, const char* data, size_t size) {
    std::vector<SplitLine> lines;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            lines.push_back({.text = std::move(splitter.partial), .end = i + 1});
            splitter.partial.clear();
        } else if (splitter.partial.size() <= splitter.limit) {
            splitter.partial += data[i];
        }
    }
    return lines;
}
