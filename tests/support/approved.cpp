#include "tests/support/approved.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

#ifdef _WIN32
const std::string kRoot = "Z:"; // Wine's drive Z: is the root of the build machine's paths
#else
const std::string kRoot;
#endif

bool Write(const std::filesystem::path& path, const std::string& text) {
    return static_cast<bool>(std::ofstream(path, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size())));
}

// `line 3: approved "…", received "…"`, for the first line where the two part.
std::string FirstDifference(const std::string& approved, const std::string& received) {
    const auto at = std::mismatch(approved.begin(), approved.end(), received.begin(), received.end()).first;
    const size_t start = at == approved.begin() ? 0 : approved.rfind('\n', static_cast<size_t>(at - approved.begin()) - 1) + 1; // npos + 1 is 0
    const auto line = [start](const std::string& text) {
        const size_t end = text.find('\n', start);
        return start >= text.size() ? std::string("(the end)") : '"' + text.substr(start, end - start) + (end == std::string::npos ? "\" without a line end" : "\"");
    };
    return "line " + std::to_string(std::count(approved.begin(), approved.begin() + static_cast<std::ptrdiff_t>(start), '\n') + 1) +
           ": approved " + line(approved) + ", received " + line(received);
}

} // namespace

void ExpectApproved(const std::string& name, const std::string& text) {
    std::string file; // the name with each run of other characters as one '-'
    for (const char c : name)
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_') file += c;
        else if (!file.empty() && file.back() != '-') file += '-';
    while (!file.empty() && file.back() == '-') file.pop_back();
    ASSERT_FALSE(file.empty()) << "an approved text needs a name with a letter or digit, not \"" << name << '"';
    const std::filesystem::path approved = kRoot + ZARVEL_APPROVED_DIR "/" + file + ".txt";
    const std::filesystem::path received = kRoot + ZARVEL_RECEIVED_DIR "/" + file + ".received.txt";
    std::error_code ignored;
    std::filesystem::remove(received, ignored); // one left from an earlier run
    const char* bless = std::getenv("ZARVEL_BLESS");
    if (bless != nullptr && std::string(bless) == "1") {
        EXPECT_TRUE(Write(approved, text)) << "cannot write " << approved.string();
        return;
    }
    std::ifstream in(approved, std::ios::binary);
    const std::string expected(std::istreambuf_iterator<char>(in), {});
    if (in && expected == text) return;
    ADD_FAILURE() << (in ? approved.string() + " differs at " + FirstDifference(expected, text) : "no approved file " + approved.string())
                  << "\n  received: " << (Write(received, text) ? received.string() : "(cannot be written to " + received.string() + ")")
                  << "\n  ZARVEL_BLESS=1 approves it";
}
