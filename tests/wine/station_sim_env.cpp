#include "tests/wine/station_sim_env.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

constexpr char kEventPrefix[] = "event ";
constexpr DWORD kPollMs = 20;

// "/a/b" as the Wine drive path "Z:\a\b".
std::filesystem::path WineDrivePath(const std::string& unixPath) {
    std::wstring path = L"Z:";
    for (char c : unixPath) path.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return std::filesystem::path(path);
}

} // namespace

int SimComPort() {
    const char* value = std::getenv("ZARVEL_SIM_PORT");
    return value ? std::atoi(value) : 0;
}

std::filesystem::path SimFile(const std::string& name) {
    const char* directory = std::getenv("ZARVEL_SIM_DIR");
    return WineDrivePath(std::string(directory ? directory : "/nonexistent") + "/" + name);
}

std::string ReadWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> SimEvents() {
    std::istringstream out(ReadWholeFile(SimFile("sim.out")));
    std::vector<std::string> events;
    std::string line;
    while (std::getline(out, line)) {
        if (line.rfind(kEventPrefix, 0) == 0) events.push_back(line.substr(sizeof(kEventPrefix) - 1));
    }
    return events;
}

bool WaitForSimEvent(const std::string& event, uint32_t timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const std::vector<std::string> events = SimEvents();
        if (std::find(events.begin(), events.end(), event) != events.end()) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(kPollMs);
    }
}
