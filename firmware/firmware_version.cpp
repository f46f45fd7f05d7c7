#include "firmware/firmware_version.h"

#include <array>

// GCC 12 under AddressSanitizer reports uninitialised reads inside <regex> that cannot happen.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <regex>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

// Built once and never destroyed: a worker may still read a version while the process exits.
const std::array<std::regex, 2>& VersionPatterns() {
    constexpr auto kSyntax = std::regex::ECMAScript | std::regex::icase;
    static const auto* patterns = new std::array<std::regex, 2>{
        // A version marked by v at the start of the name or after _ or -, e.g. "fw_v1.2.3.bin".
        std::regex(R"((?:^|[_-])v([0-9]+(?:\.[0-9]+)+)(?:[_-]|\.bin$))", kSyntax),
        // An unmarked major.minor right before the ending, e.g. "firmware_1.5.bin".
        std::regex(R"(([0-9]+\.[0-9]+)(?:\.bin$))", kSyntax),
    };
    return *patterns;
}

} // namespace

std::wstring FileNamePart(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

std::string VersionFromFileName(const std::wstring& path) {
    const std::string name = ToFileSystemNarrow(FileNamePart(path));
    for (const std::regex& pattern : VersionPatterns()) {
        std::smatch match;
        if (std::regex_search(name, match, pattern)) return match[1].str();
    }
    return {};
}
