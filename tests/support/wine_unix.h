#pragma once
// Under Wine only: the Unix side, for what a Windows test cannot make (a symlink, a drive letter's folder).

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/scoped_handle_win32.h"

// The Unix name Wine gives a Windows path, existing or not; empty outside Wine.
inline std::string UnixName(const std::filesystem::path& path) {
    const auto unixName = reinterpret_cast<char*(CDECL*)(LPCWSTR)>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixName != nullptr ? unixName(path.c_str()) : nullptr;
    const std::string unix = name != nullptr ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return unix;
}

// Runs a Unix program (ln, rm) under Wine with these arguments, each quoted, and waits until
// done() holds: Wine may report such a process ended before it has run.
template <typename Done>
void RunUnix(const wchar_t* program, std::initializer_list<std::string> arguments, Done done) {
    std::wstring command = program;
    for (const std::string& argument : arguments) command += L" \"" + std::filesystem::path(argument).wstring() + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(program, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    const OwnedHandle thread(process.hThread), ended(process.hProcess);
    for (int tries = 0; tries < 1000 && !done(); ++tries) Sleep(10);
}
