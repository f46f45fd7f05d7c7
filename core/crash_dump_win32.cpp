#include <windows.h>

#include <dbghelp.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <exception>
#include <initializer_list>
#include <iterator>
#include <string>

#include "core/crash_dump.h"
#include "core/log.h"
#include "core/log_file_win32.h"
#include "core/program_folder.h"
#include "core/scoped_handle_win32.h"

namespace {

// The crashed thread waits at most this long for its dump, then ends the process anyway.
constexpr DWORD kDumpWaitMs = 30000;
// The crashed thread may hold the log's lock: the line is tried, never waited for.
constexpr int kLogAttempts = 50;
constexpr DWORD kLogAttemptPauseMs = 20;
constexpr int kMostDumpsInOneSecond = 99;
constexpr size_t kLongestPath = 32768;
// 64-bit Windows swallows a fault in a window procedure the system called unless this is off (the
// flag and its two functions are not in the mingw-w64 headers).
constexpr DWORD kProcessCallbackFilterEnabled = 0x1;

using MiniDumpWriteDumpFunction = decltype(&::MiniDumpWriteDump);

// Written by StartCrashDumps before the writer and the handlers exist; read by them. After a fault
// nothing is allocated: the heap's lock may be held by a thread that will never let it go.
struct CrashSetup {
    wchar_t path[kLongestPath] = {}; // the folder with its separator, then the dump's name
    size_t nameAt = 0;
    wchar_t expected[kLongestPath] = {}; // the same through every link and junction: where it must land
    size_t expectedNameAt = 0;
    wchar_t landed[kLongestPath] = {};
    char line[256] = {};
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

// Faults the program's own code never raises on purpose.
constexpr DWORD kFaults[] = {EXCEPTION_ACCESS_VIOLATION,      EXCEPTION_ILLEGAL_INSTRUCTION,
                             EXCEPTION_PRIV_INSTRUCTION,      EXCEPTION_INT_DIVIDE_BY_ZERO,
                             EXCEPTION_STACK_OVERFLOW,        EXCEPTION_IN_PAGE_ERROR,
                             EXCEPTION_ARRAY_BOUNDS_EXCEEDED, EXCEPTION_DATATYPE_MISALIGNMENT};

// The program's own code, from its image's header at start-up.
struct CodeRange {
    const char* begin = nullptr;
    const char* end = nullptr;
};
CodeRange ownCode;

// Seen before any frame's handler: a frame between the fault and the thread's start (the system's
// own, around a window procedure it called, as Wine always has) would swallow it otherwise.
LONG WINAPI OnFaultInOwnCode(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    const auto* address = static_cast<const char*>(record.ExceptionAddress);
    const bool fault = std::find(std::begin(kFaults), std::end(kFaults), record.ExceptionCode) != std::end(kFaults);
    if (fault && address >= ownCode.begin && address < ownCode.end) EndWithDump(pointers);
    return EXCEPTION_CONTINUE_SEARCH;
}

// No exception to hand over: the dump shows the thread where it stands.
[[noreturn]] void EndWithFatalExit() {
    CONTEXT context = {};
    RtlCaptureContext(&context);
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = STATUS_FATAL_APP_EXIT; // the system's own fatal exit of an application
    record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
    EXCEPTION_POINTERS pointers = {&record, &context};
    EndWithDump(&pointers);
}

// Under mingw std::terminate calls abort, whose message box would hold the process.
void OnTerminate() { EndWithFatalExit(); }

void OnAbortSignal(int) { EndWithFatalExit(); }

// The texts and a final 0 into buffer from its index at on, as far as they fit; the index of the 0.
template <typename Char, size_t size>
size_t Put(Char (&buffer)[size], size_t at, std::initializer_list<const char*> texts) {
    for (const char* text : texts)
        while (*text != 0 && at + 1 < size) buffer[at++] = static_cast<Char>(*text++);
    buffer[at] = 0;
    return at;
}

// Never through an existing name, so never through a link; a file that landed elsewhere because
// the folder itself now leads there is taken back, as for the log.
bool LandedInFolder(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info = {};
    const DWORD length = GetFinalPathNameByHandleW(file, setup.landed, kLongestPath,
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) && info.nNumberOfLinks == 1 &&
           length != 0 && length < kLongestPath &&
           CompareStringOrdinal(setup.landed, -1, setup.expected, -1, TRUE) == CSTR_EQUAL;
}

// A new name in the folder, "-2" and on for a second dump within one second.
OwnedHandle CreateDumpFile(const LogTime& now, char (&name)[kCrashDumpNameChars]) {
    if (setup.expectedNameAt == 0) {
        FormatCrashDumpName(now, 1, name);
        SetLastError(ERROR_PATH_NOT_FOUND);
        return OwnedHandle();
    }
    for (int nth = 1; nth <= kMostDumpsInOneSecond; ++nth) {
        FormatCrashDumpName(now, nth, name);
        Put(setup.path, setup.nameAt, {name});
        Put(setup.expected, setup.expectedNameAt, {name});
        OwnedHandle file = OwnFile(
            CreateFileW(setup.path, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file && GetLastError() == ERROR_FILE_EXISTS) continue;
        if (!file || LandedInFolder(file.Get())) return file;
        FILE_DISPOSITION_INFO remove = {TRUE};
        SetFileInformationByHandle(file.Get(), FileDispositionInfo, &remove, sizeof(remove));
        file.Reset();
        SetLastError(ERROR_ACCESS_DENIED);
        return OwnedHandle();
    }
    return OwnedHandle();
}

// Returns 0, or the reason the dump is not there.
DWORD WriteDump(OwnedHandle file) {
    if (!file) return GetLastError();
    MINIDUMP_EXCEPTION_INFORMATION exception = {crash.threadId, crash.pointers, FALSE};
    const auto type = static_cast<MINIDUMP_TYPE>(MiniDumpNormal | MiniDumpWithThreadInfo);
    DWORD error = ERROR_MOD_NOT_FOUND;
    if (setup.writeDump != nullptr)
        error = setup.writeDump(GetCurrentProcess(), GetCurrentProcessId(), file.Get(), type, &exception, nullptr,
                                nullptr)
                    ? 0
                    : GetLastError();
    if (error != 0) {
        // Support would take a cut-off file for a dump.
        FILE_DISPOSITION_INFO remove = {TRUE};
        SetFileInformationByHandle(file.Get(), FileDispositionInfo, &remove, sizeof(remove));
    }
    return error;
}

DWORD WINAPI WriteDumpWhenCrashed(void*) {
    WaitForSingleObject(setup.crashed, INFINITE);
    char name[kCrashDumpNameChars] = {};
    const DWORD error = WriteDump(CreateDumpFile(LogClockNow(), name));
    char code[16] = {}, number[16] = {};
    *PutDigits(code, crash.pointers->ExceptionRecord->ExceptionCode, 16, 8) = 0;
    const size_t at = Put(setup.line, 0, {"Crash: exception 0x", code, "; dump ", name});
    if (error != 0) {
        *PutDigits(number, error, 10, 1) = 0;
        Put(setup.line, at, {" could not be written (Windows error ", number, ")"});
    }
    for (int attempt = 0; attempt < kLogAttempts && !TryWriteLog(setup.line); ++attempt) Sleep(kLogAttemptPauseMs);
    SetEvent(setup.written);
    return 0;
}

// Found by name: older systems have neither function, and then there is no such filter either.
void LetFaultsInWindowProceduresThrough() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    using Get = BOOL(WINAPI*)(DWORD*);
    using Set = BOOL(WINAPI*)(DWORD);
    const auto get = reinterpret_cast<Get>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "GetProcessUserModeExceptionPolicy")));
    const auto set = reinterpret_cast<Set>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetProcessUserModeExceptionPolicy")));
    DWORD flags = 0;
    if (get != nullptr && set != nullptr && get(&flags)) set(flags & ~kProcessCallbackFilterEnabled);
}

} // namespace

void StartCrashDumps(const std::filesystem::path& folder) {
    LetFaultsInWindowProceduresThrough();
    const std::wstring path = PathInFolder(folder.wstring(), L""), expected = FinalPathOfFolder(folder);
    // Room is left for the longest name; a folder without it, or unknown, gets no dump file.
    if (!folder.empty() && !expected.empty() && expected.size() + 2 * kCrashDumpNameChars < kLongestPath &&
        path.size() + kCrashDumpNameChars < kLongestPath) {
        setup.nameAt = path.copy(setup.path, path.size());
        const std::wstring landing = PathInFolder(expected, L"");
        setup.expectedNameAt = landing.copy(setup.expected, landing.size());
    }
    // Loaded now: when a thread crashes it may hold the loader's lock.
    HMODULE dbghelp = LoadLibraryExW(L"dbghelp.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (dbghelp != nullptr)
        setup.writeDump = reinterpret_cast<MiniDumpWriteDumpFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(dbghelp, "MiniDumpWriteDump")));
    setup.crashed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    setup.written = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // Its own thread: a crash by stack overflow leaves the crashed thread no room to write one.
    const OwnedHandle writer(
        setup.crashed && setup.written ? CreateThread(nullptr, 0, WriteDumpWhenCrashed, nullptr, 0, nullptr) : nullptr);
    if (!writer) {
        WriteLog("Crash dumps are off: their thread could not be started");
        return;
    }
    const auto* image = reinterpret_cast<const char*>(GetModuleHandleW(nullptr));
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        image + reinterpret_cast<const IMAGE_DOS_HEADER*>(image)->e_lfanew);
    ownCode = {.begin = image, .end = image + headers->OptionalHeader.SizeOfImage};
    AddVectoredExceptionHandler(1, OnFaultInOwnCode);
    SetUnhandledExceptionFilter(OnUnhandledException);
    std::set_terminate(OnTerminate);
    std::signal(SIGABRT, OnAbortSignal);
}
