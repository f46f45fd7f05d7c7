#include "firmware/firmware_version.h"

#include <algorithm>
#include <array>
#include <vector>

// GCC 12 under AddressSanitizer reports uninitialised reads inside <regex> that cannot happen.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <regex>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#include "text/narrow_text.h"

namespace {

// Built once and never destroyed: a worker may still read a version while the process exits.
const std::array<std::regex, 2>& VersionPatterns() {
    constexpr auto kSyntax = std::regex::ECMAScript | std::regex::icase;
    static const auto* patterns = new std::array<std::regex, 2>{
        // A version marked by v at the start of the name or after _ or -, e.g. "fw_v1.2.3.bin".
        std::regex(R"((?:^|[_-])v([0-9]+(?:\.[0-9]+)+)(?:[_-]|\.bin$))", kSyntax),
        // An unmarked version right before the ending, e.g. "firmware_1.5.bin": the leftmost match
        // starts the whole run of dot-joined groups, so "fw_1.2.3.bin" reads "1.2.3", not "2.3".
        std::regex(R"(([0-9]+(?:\.[0-9]+)+)\.bin$)", kSyntax),
    };
    return *patterns;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The numbers of a version of the form digits(.digits)*, each without its leading zeros (zero
// is empty); false for any other text. Kept as digit strings, so that no length overflows.
bool SplitNumbers(const std::string& text, std::vector<std::string>& numbers) {
    size_t start = 0;
    for (;;) {
        const size_t end = std::min(text.find('.', start), text.size());
        size_t first = start;
        for (size_t at = start; at < end; ++at) {
            if (!IsDigit(text[at])) return false;
            if (first == at && text[at] == '0') ++first;
        }
        if (end == start) return false;
        numbers.push_back(text.substr(first, end - first));
        if (end == text.size()) return true;
        start = end + 1;
    }
}

// Negative, zero or positive as the number a is below, equal to or above b.
int CompareNumbers(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

bool NumericallyLower(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        const int order = CompareNumbers(i < a.size() ? a[i] : std::string(), i < b.size() ? b[i] : std::string());
        if (order != 0) return order < 0;
    }
    return false;
}

} // namespace

VersionStanding CompareVersions(const std::string& instrument, const std::string& file) {
    if (file.empty()) return VersionStanding::Other;
    if (instrument == file) return VersionStanding::Same;
    std::vector<std::string> installed, offered;
    if (!SplitNumbers(instrument, installed) || !SplitNumbers(file, offered)) return VersionStanding::Other;
    return NumericallyLower(offered, installed) ? VersionStanding::FileOlder : VersionStanding::Other;
}

std::wstring FileNamePart(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

std::string VersionFromFileName(const std::wstring& path) {
    const std::string name = ToFileSystemNarrowLossy(FileNamePart(path));
    for (const std::regex& pattern : VersionPatterns()) {
        std::smatch match;
        if (std::regex_search(name, match, pattern)) return match[1].str();
    }
    return {};
}
