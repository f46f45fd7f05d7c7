#include <windows.h>

#include <dbghelp.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>

#include "core/crash_dump.h"
#include "core/log.h"
#include "core/log_file_win32.h"

namespace {

// What std::terminate and abort end with, as the system's own fatal exit of an application.
constexpr DWORD kFatalExitCode = 0x40000015;
// The crashed thread waits at most this long for its dump, then ends the process anyway.
constexpr DWORD kDumpWaitMs = 60000;
// The crashed thread may hold the log's lock: the line is tried, never waited for.
constexpr int kLogAttempts = 50;
constexpr DWORD kLogAttemptPauseMs = 20;
constexpr int kMostDumpsInOneSecond = 99;

using MiniDumpWriteDumpFunction = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                                PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);

// Written by StartCrashDumps before the writer and the handlers exist; read by them.
struct CrashSetup {
    std::filesystem::path folder;
    MiniDumpWriteDumpFunction writeDump = nullptr;
    HANDLE crashed = nullptr; // set by the first crashing thread
    HANDLE written = nullptr; // set by the writer when the dump and its line are done
};
CrashSetup setup;

// The first crashing thread writes it before it sets crashed; the writer reads it after.
struct Crash {
    DWORD threadId = 0;
    EXCEPTION_POINTERS* pointers = nullptr;
};
Crash crash;
std::atomic<bool> crashing{false};

[[noreturn]] void EndWithDump(EXCEPTION_POINTERS* pointers) {
    if (!crashing.exchange(true)) {
        crash = {.threadId = GetCurrentThreadId(), .pointers = pointers};
        SetEvent(setup.crashed);
        WaitForSingleObject(setup.written, kDumpWaitMs);
        TerminateProcess(GetCurrentProcess(), pointers->ExceptionRecord->ExceptionCode);
    }
    // Another thread crashed first; it ends the process.
    for (;;) Sleep(INFINITE);
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* pointers) { EndWithDump(pointers); }

// No exception to hand over: the dump shows the thread where it stands.
[[noreturn]] void EndWithFatalExit() {
    CONTEXT context = {};
    RtlCaptureContext(&context);
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = kFatalExitCode;
    record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
    EXCEPTION_POINTERS pointers = {&record, &context};
    EndWithDump(&pointers);
}

// Under mingw std::terminate calls abort, whose message box would hold the process.
void OnTerminate() { EndWithFatalExit(); }

void OnAbortSignal(int) { EndWithFatalExit(); }

std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

// A new name in the folder, "-2" and on for a second dump within one second.
HANDLE CreateDumpFile(const LogTime& now, std::string& name) {
    for (int nth = 1; nth <= kMostDumpsInOneSecond; ++nth) {
        name = CrashDumpName(now, nth);
        HANDLE file = CreateNewFileBesideLog(setup.folder / name, GENERIC_WRITE);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    return INVALID_HANDLE_VALUE;
}

// Returns 0, or the reason the dump is not there.
DWORD WriteDump(HANDLE file) {
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    MINIDUMP_EXCEPTION_INFORMATION exception = {crash.threadId, crash.pointers, FALSE};
    const auto type = static_cast<MINIDUMP_TYPE>(MiniDumpNormal | MiniDumpWithThreadInfo);
    DWORD error = ERROR_MOD_NOT_FOUND;
    if (setup.writeDump != nullptr)
        error = setup.writeDump(GetCurrentProcess(), GetCurrentProcessId(), file, type, &exception, nullptr, nullptr)
                    ? 0
                    : GetLastError();
    if (error != 0) {
        // Support would take a cut-off file for a dump.
        FILE_DISPOSITION_INFO remove = {TRUE};
        SetFileInformationByHandle(file, FileDispositionInfo, &remove, sizeof(remove));
    }
    CloseHandle(file);
    return error;
}

DWORD WINAPI WriteDumpWhenCrashed(void*) {
    WaitForSingleObject(setup.crashed, INFINITE);
    std::string name;
    const DWORD error = WriteDump(CreateDumpFile(LogClockNow(), name));
    std::string line = "Crash: exception " + Hex(crash.pointers->ExceptionRecord->ExceptionCode) + "; dump " + name;
    if (error != 0) line += " could not be written (Windows error " + std::to_string(error) + ")";
    for (int attempt = 0; attempt < kLogAttempts && !TryWriteLog(line); ++attempt) Sleep(kLogAttemptPauseMs);
    SetEvent(setup.written);
    return 0;
}

} // namespace

void StartCrashDumps(const std::filesystem::path& folder) {
    setup.folder = folder;
    // Loaded now: when a thread crashes it may hold the loader's lock.
    HMODULE dbghelp = LoadLibraryExW(L"dbghelp.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (dbghelp != nullptr)
        setup.writeDump = reinterpret_cast<MiniDumpWriteDumpFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(dbghelp, "MiniDumpWriteDump")));
    setup.crashed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    setup.written = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // Its own thread: a crash by stack overflow leaves the crashed thread no room to write one.
    HANDLE writer = setup.crashed && setup.written ? CreateThread(nullptr, 0, WriteDumpWhenCrashed, nullptr, 0, nullptr)
                                                   : nullptr;
    if (writer == nullptr) {
        WriteLog("Crash dumps are off: their thread could not be started");
        return;
    }
    CloseHandle(writer);
    SetUnhandledExceptionFilter(OnUnhandledException);
    std::set_terminate(OnTerminate);
    std::signal(SIGABRT, OnAbortSignal);
}
